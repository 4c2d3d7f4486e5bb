#include "App/SessionBusActivation.h"

#include "App/SingleInstanceLock.h"
#include "Infrastructure/AppLogger.h"
#include "Platform/Linux/MainAppLaunchAtLoginService.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusError>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// The user's bus socket as the bus library takes it: the socket itself, no link to one, and
// this user's.
bool isOwnSocket(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode)
           && info.st_uid == ::getuid();
}

// The call's answer, with the event loop running meanwhile (the tray icon may be up). The
// library's own way of calling with events running can miss an answer that comes back at once
// and then wait for good; a watcher is told of the answer however soon it came. Past the
// deadline, the answer is that none came.
QDBusMessage callWithEventsRunning(const QDBusConnection& bus, const QDBusMessage& call, const QDeadlineTimer& deadline)
{
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, int(std::max<qint64>(deadline.remainingTime(), 1))));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::max<qint64>(deadline.remainingTime(), 0), &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return watcher.isFinished() ? watcher.reply()
                                : QDBusMessage::createError(QDBusError::NoReply, QStringLiteral("No answer in time"));
}

} // namespace

SessionBusActivation::Request SessionBusActivation::requestFrom(const QStringList& arguments)
{
    // Marked by the autostart entry this program writes.
    return Request{.atLogin = arguments.mid(1).contains(MainAppLaunchAtLoginService::autostartArgument)};
}

QString SessionBusActivation::serviceName(const QString& displayName)
{
    // A bus name element holds letters, digits and "_" and may not start with a digit; any other
    // byte is written as "_" and its hex code, so that no two displays share a name.
    QString element = QStringLiteral("Display_");
    for (const char byte : SingleInstanceLock::normalizedDisplay(displayName).toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            element += QLatin1Char(char(c));
        else
            element += QStringLiteral("_%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    // Bus names end at 255 characters; a display name that long is kept apart by its digest.
    if (element.size() > 128)
        element = QStringLiteral("Display_")
                  + QString::fromLatin1(QCryptographicHash::hash(element.toUtf8(), QCryptographicHash::Sha256).toHex());
    return QStringLiteral("com.zentharion.Zentharion.") + element;
}

bool SessionBusActivation::environmentNamesSessionBus(const QProcessEnvironment& environment)
{
    if (!environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")).isEmpty())
        return true;
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    return !runtime.isEmpty() && isOwnSocket(runtime + QStringLiteral("/bus"));
}

std::optional<QDBusConnection> SessionBusActivation::sessionBus()
{
    if (!environmentNamesSessionBus())
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() ? std::optional(bus) : std::nullopt;
}

SessionBusActivation::SessionBusActivation(QDBusConnection bus, const QString& displayName, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_serviceName(serviceName(displayName))
{
}

SessionBusActivation::~SessionBusActivation()
{
    if (m_ownsName)
        m_bus.unregisterService(m_serviceName);
    if (m_registered)
        m_bus.unregisterObject(objectPath);
}

SessionBusActivation::Claim SessionBusActivation::claim()
{
    if (m_ownsName)
        return Claim::ours;
    // The object first: a later launch may ask the moment the name is ours.
    if (!m_registered) {
        m_registered = m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
        if (!m_registered) {
            qCWarning(AppLogger::app, "Could not offer %s on the session bus: %s", qUtf8Printable(objectPath),
                      qUtf8Printable(m_bus.lastError().message()));
            return Claim::failed;
        }
    }
    QDBusConnectionInterface* busInterface = m_bus.interface();
    if (!busInterface)
        return Claim::failed;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = busInterface->registerService(
        m_serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCWarning(AppLogger::app, "Could not take the name %s on the session bus: %s", qUtf8Printable(m_serviceName),
                  qUtf8Printable(reply.error().message()));
        return Claim::failed;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_ownsName = true;
        return Claim::ours;
    }
    return Claim::heldByOther;
}

bool SessionBusActivation::askRunningCopy(const Request& request, int timeoutMs, NameOwner owner) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_serviceName, objectPath, interfaceName,
                                                       QStringLiteral("Activate"));
    call << request.atLogin;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QDBusMessage reply = callWithEventsRunning(m_bus, call, deadline);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        const QString error = reply.errorName();
        const bool nobodyYet = error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
                               || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
        if (!nobodyYet || owner == NameOwner::current || deadline.hasExpired()) {
            // Asking whoever holds the name now is asked again and again while it leaves.
            if (owner == NameOwner::awaited)
                qCWarning(AppLogger::app, "The running Zentharion did not answer on the session bus: %s",
                          qUtf8Printable(reply.errorMessage()));
            return false;
        }
        // The copy holding the lock takes the name once it has the lock: looked for again
        // shortly, with the event loop running meanwhile.
        QEventLoop loop;
        QTimer::singleShot(std::clamp<qint64>(deadline.remainingTime(), 0, 50), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void SessionBusActivation::setHandler(std::function<void(const Request&)> handler)
{
    m_handler = std::move(handler);
    runPending();
}

void SessionBusActivation::Activate(bool atLogin)
{
    // A launch by the user wins over launches at login folded with it.
    m_pending = Request{.atLogin = atLogin && (!m_pending || m_pending->atLogin)};
    if (m_runQueued)
        return;
    m_runQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_runQueued = false;
        runPending();
    }, Qt::QueuedConnection);
}

void SessionBusActivation::runPending()
{
    if (!m_handler || !m_pending)
        return;
    const Request request = *std::exchange(m_pending, std::nullopt);
    m_handler(request);
}

} // namespace zen
