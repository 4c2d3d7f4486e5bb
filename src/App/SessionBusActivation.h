#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

namespace zen {

// How a second launch reaches the copy already running on the same X display: the running
// copy owns a session-bus name of its own that carries the display, and a later launch asks it
// to bring its dashboard forward instead of failing. A tray may be missing on this desktop, and
// then launching again is the only way back to the program's window. The bus drops the name of
// a copy that dies, however it dies, so a killed copy never blocks the next start.
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
    // The session bus the environment names: $DBUS_SESSION_BUS_ADDRESS, else the user's bus
    // socket in $XDG_RUNTIME_DIR. Without either, the bus library would start a bus daemon of
    // its own through X11, one that nobody ends; absent then, and the lock file alone decides.
    static std::optional<QDBusConnection> environmentSessionBus(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    SessionBusActivation(QDBusConnection bus, const QString& displayName, QObject* parent = nullptr);
    ~SessionBusActivation() override;

    Claim claim();
    // Asks the copy that owns the name; false when it did not answer in time (or is gone).
    // Runs the event loop while it waits, so that a copy in this same process can answer.
    bool askRunningCopy(const Request& request, int timeoutMs = answerTimeoutMs) const;

    // What this copy does when asked. Requests that came before there was a handler run when
    // it is set.
    void setHandler(std::function<void(const Request&)> handler);

public Q_SLOTS:
    // Shaped like the freedesktop application interface's method: platform data as a map,
    // with "autostart" (bool) for a launch at login. Unknown keys are ignored.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

private:
    QDBusConnection m_bus;
    QString m_serviceName;
    bool m_registered = false;
    bool m_ownsName = false;
    std::function<void(const Request&)> m_handler;
    std::vector<Request> m_pending;
};

} // namespace zen
