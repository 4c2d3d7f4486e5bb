#pragma once

#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace zen::testsupport {

// A running instance of the test client (built next to the test binaries). Started with its
// arguments; `waitUntilReady` returns its window ids once every window is mapped. Ends the
// client when destroyed.
class TestClientProcess {
public:
    explicit TestClientProcess(const QStringList& arguments);
    ~TestClientProcess();

    // Empty when the client failed or did not report within the time.
    std::vector<std::uint32_t> waitUntilReady(int timeoutMs = 30000);
    qint64 processId() const { return m_process->processId(); }
    void terminate();

    static QString clientPath();

private:
    std::unique_ptr<QProcess> m_process;
};

// Waits between the polls of a live test with the event loop running, so that what GLib and
// Qt deliver there (GIO noticing new desktop entries) arrives while the test waits.
void pumpEventsFor(int milliseconds);

// Writes a desktop entry into $XDG_DATA_HOME/applications.
void writeDesktopEntry(const QString& id, const QString& name, const QString& startupWMClass);

} // namespace zen::testsupport
