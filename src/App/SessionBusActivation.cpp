#include "App/SessionBusActivation.h"

#include "App/SingleInstanceLock.h"
#include "Infrastructure/AppLogger.h"
#include "Platform/Linux/MainAppLaunchAtLoginService.h"

#include <QCryptographicHash>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace zen {

namespace {

bool isSocket(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A bus address value: bytes outside the few that may stand as they are go as %XX.
QString escapedAddressValue(const QString& value)
{
    QString escaped;
    for (const char byte : value.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
                           || c == '_' || c == '/' || c == '.' || c == '\\' || c == '*';
        if (plain)
            escaped += QLatin1Char(char(c));
        else
            escaped += QStringLiteral("%%%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return escaped;
}

std::optional<QDBusConnection> connected(const QString& address)
{
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("zentharion-session ") + address);
    if (bus.isConnected())
        return bus;
    QDBusConnection::disconnectFromBus(bus.name());
    return std::nullopt;
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

std::optional<QDBusConnection> SessionBusActivation::environmentSessionBus(const QProcessEnvironment& environment)
{
    if (const QString address = environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); !address.isEmpty())
        return connected(address);
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (runtime.isEmpty() || !QFileInfo(runtime).isAbsolute())
        return std::nullopt;
    const QString socket = QDir(runtime).filePath(QStringLiteral("bus"));
    if (!isSocket(socket))
        return std::nullopt;
    return connected(QStringLiteral("unix:path=") + escapedAddressValue(socket));
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

bool SessionBusActivation::askRunningCopy(const Request& request, int timeoutMs) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_serviceName, objectPath, interfaceName,
                                                       QStringLiteral("Activate"));
    QVariantMap platformData;
    if (request.atLogin)
        platformData.insert(QStringLiteral("autostart"), true);
    call << platformData;
    const QDBusMessage reply = m_bus.call(call, QDBus::BlockWithGui, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    qCWarning(AppLogger::app, "The running Zentharion did not answer on the session bus: %s",
              qUtf8Printable(reply.errorMessage()));
    return false;
}

void SessionBusActivation::setHandler(std::function<void(const Request&)> handler)
{
    m_handler = std::move(handler);
    if (!m_handler)
        return;
    for (const Request& request : std::exchange(m_pending, {}))
        m_handler(request);
}

void SessionBusActivation::Activate(const QVariantMap& platformData)
{
    Request request;
    request.atLogin = platformData.value(QStringLiteral("autostart")).toBool();
    // Answered at once; the window comes up as a task of its own, so the later launch never
    // waits for it.
    QMetaObject::invokeMethod(
        this,
        [this, request] {
            if (m_handler)
                m_handler(request);
            else
                m_pending.push_back(request);
        },
        Qt::QueuedConnection);
}

} // namespace zen
