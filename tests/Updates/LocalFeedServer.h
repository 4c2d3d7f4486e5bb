#pragma once

#include <QByteArray>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

// A tiny HTTP server on 127.0.0.1 inside the test process: each path answers with a fixed
// status, headers and body, or not at all ("stall").
class LocalFeedServer : public QObject {
public:
    struct Answer {
        Answer(int s = 200, QByteArray b = {}, QByteArray h = {}, bool st = false, bool omit = false)
            : status(s), body(std::move(b)), extraHeaders(std::move(h)), stall(st), omitLength(omit)
        {
        }
        int status = 200;
        QByteArray body;
        QByteArray extraHeaders; // "Name: value\r\n" lines
        bool stall = false;      // headers are sent, the body never comes
        bool omitLength = false; // no Content-Length: the body ends when the connection does
    };

    explicit LocalFeedServer(quint16 port = 0)
    {
        m_server.listen(QHostAddress::LocalHost, port);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            }
        });
    }

    bool isListening() const { return m_server.isListening(); }
    void answer(const QByteArray& path, Answer a) { m_answers[path] = std::move(a); }
    QByteArray url(const QByteArray& path) const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + path;
    }
    int requests(const QByteArray& path) const { return m_requestCounts.value(path); }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QByteArray path = buffer.split(' ').value(1);
        buffer.clear();
        m_requestCounts[path] += 1;
        const Answer a = m_answers.value(path, Answer{404, "not found", {}, false, false});
        QByteArray head = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nConnection: close\r\n" + a.extraHeaders;
        if (a.stall) {
            socket->write(head + "Content-Length: 100\r\n\r\n{");
            return;
        }
        if (!a.omitLength)
            head += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
        socket->write(head + "\r\n" + a.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QByteArray, Answer> m_answers;
    QMap<QTcpSocket*, QByteArray> m_buffers;
    QMap<QByteArray, int> m_requestCounts;
};
