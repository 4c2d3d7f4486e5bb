#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <optional>

namespace zen {

// How a second launch reaches the copy already running on the same X display: the running
// copy owns a session-bus name of its own that carries the display, and a later launch asks it
// to bring its dashboard forward instead of failing. A tray may be missing on this desktop, and
// then launching again is the only way back to the program's window. The bus drops the name of
// a copy that dies, however it dies, so a killed copy never blocks the next start.
//
// The method takes one flag, a launch at login. Anyone on the session bus may call it, as
// often and with as much data as they like: the bus library refuses a call of any other
// signature before decoding its arguments, and calls that come while one is still waiting to
// be answered are folded into it, so that the window is brought forward once however many
// calls arrive.
class SessionBusActivation : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zentharion.Zentharion.Instance")
public:
    static inline const QString objectPath = QStringLiteral("/com/zentharion/Zentharion");
    static inline const QString interfaceName = QStringLiteral("com.zentharion.Zentharion.Instance");
    // How long a later launch waits for the running copy to answer; the running copy answers
    // once its start-up is done, which a loaded machine may take seconds for.
    static constexpr int answerTimeoutMs = 10000;

    // What a later launch asks for.
    struct Request {
        // Started by the autostart entry at login rather than by the user.
        bool atLogin = false;
    };

    enum class Claim {
        ours,        // this copy owns the name: it is the running copy from now on
        heldByOther, // another copy owns it
        failed,      // the bus refused; the caller goes on without it
    };

    // The request this process's own command line stands for.
    static Request requestFrom(const QStringList& arguments);
    // The bus name for an X display, ":0" and ":0.1" alike.
    static QString serviceName(const QString& displayName);
    // Whether the environment names a session bus: $DBUS_SESSION_BUS_ADDRESS, or the user's bus
    // socket in $XDG_RUNTIME_DIR, as the bus library looks for them. Without either, the library
    // would start a bus daemon of its own through X11, one that nobody ends.
    static bool environmentNamesSessionBus(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    // The session bus when the environment names one and it answers; absent otherwise, and the
    // lock file alone decides.
    static std::optional<QDBusConnection> sessionBus();

    SessionBusActivation(QDBusConnection bus, const QString& displayName, QObject* parent = nullptr);
    ~SessionBusActivation() override;

    Claim claim();

    enum class NameOwner {
        current, // whoever owns the name now, if anyone
        awaited, // also one that takes it before the time is up
    };
    // Asks the copy that owns the name; with `awaited`, waits for one to take it if nobody has
    // yet (the copy holding the lock may still be starting). False when none answered in
    // time, or the owner left without answering. Runs the event loop while it waits, so that
    // a copy in this same process can answer.
    bool askRunningCopy(const Request& request, int timeoutMs = answerTimeoutMs,
                        NameOwner owner = NameOwner::awaited) const;

    // What this copy does when asked. Requests that came before there was a handler run when
    // it is set.
    void setHandler(std::function<void(const Request&)> handler);

public slots:
    // The bus method: another launch asks this copy to show itself. Answered at once; the
    // handler runs as a task of its own, so that the later launch never waits for the window.
    Q_SCRIPTABLE void Activate(bool atLogin);

private:
    void runPending();

    QDBusConnection m_bus;
    QString m_serviceName;
    bool m_registered = false;
    bool m_ownsName = false;
    std::function<void(const Request&)> m_handler;
    // At most one request waits; later ones are folded into it.
    std::optional<Request> m_pending;
    bool m_runQueued = false;
};

} // namespace zen
