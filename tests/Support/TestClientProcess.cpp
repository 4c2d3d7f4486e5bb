#include "Support/TestClientProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace zen::testsupport {

QString TestClientProcess::clientPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zentharion_test_client");
}

TestClientProcess::TestClientProcess(const QStringList& arguments)
    : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(clientPath(), arguments);
}

TestClientProcess::~TestClientProcess()
{
    terminate();
}

void TestClientProcess::terminate()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(2000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

std::vector<std::uint32_t> TestClientProcess::waitUntilReady(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (m_process->state() == QProcess::NotRunning || deadline.hasExpired())
            return {};
        // Short waits with the event loop run in between: what GLib reports in the main
        // context (installed applications changing) must not wait for the client.
        if (!m_process->canReadLine() && !m_process->waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 50)))) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            continue;
        }
        line = m_process->readLine();
    }
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.value(0) != "ready")
        return {};
    std::vector<std::uint32_t> ids;
    for (qsizetype i = 1; i < parts.size(); ++i)
        ids.push_back(parts[i].toUInt());
    return ids;
}

void pumpEventsFor(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(std::max<qint64>(deadline.remainingTime(), 1)));
        if (!deadline.hasExpired())
            QThread::msleep(std::min<qint64>(deadline.remainingTime(), 5));
    } while (!deadline.hasExpired());
}

void writeDesktopEntry(const QString& id, const QString& name, const QString& startupWMClass)
{
    const QString dir = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + id + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QByteArray text = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=" + TestClientProcess::clientPath().toUtf8() + "\n";
    if (!startupWMClass.isEmpty())
        text += "StartupWMClass=" + startupWMClass.toUtf8() + "\n";
    file.write(text);
}

} // namespace zen::testsupport
