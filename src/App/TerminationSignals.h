#pragma once

#include <QObject>

#include <functional>

class QCoreApplication;
class QSocketNotifier;
class QTimer;

namespace zen {

// Ends the program through its event loop on SIGTERM (the session ends, a service manager
// stops it), SIGINT (Ctrl+C) and SIGHUP (its terminal closed), as Quit does: the loop ends and
// everything the program holds is let go on the way out, its lock, its bus name and its files
// among them. The handler only writes the signal's number to a socket pair; the notifier of the
// other end asks for the ending on the application's thread. A signal that comes while the
// program is still starting, before its loop runs, is asked again until the loop has ended.
// A second signal of the same kind ends the program the default way at once, even while its
// main thread is stuck and the loop never reads the first. A signal ignored when the program
// started (nohup) stays ignored. One object at a time; the handlers go with it, and each
// signal does again what it did before.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // The handlers for the life of `app`, ending its loop with QCoreApplication::quit().
    static void install(QCoreApplication& app);

    // `quit` is called on this object's thread when a signal has come; default QCoreApplication::quit.
    explicit TerminationSignals(std::function<void()> quit = {}, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Whether the handlers are in place (a socket pair could be made).
    bool isInstalled() const { return m_notifier != nullptr; }

    static constexpr int repeatIntervalMs = 100;

private:
    void received();

    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_repeat = nullptr;
};

} // namespace zen
