#include "Permissions/PermissionCoordinator.h"

#include "Infrastructure/AppLogger.h"
#include "Platform/DesktopServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace zen {

namespace {

constexpr char helpPageName[] = "access.html";

AccessibilityAuthorizationState stateFor(bool trusted)
{
    return trusted ? AccessibilityAuthorizationState::authorized : AccessibilityAuthorizationState::unauthorized;
}

} // namespace

PermissionCoordinator::PermissionCoordinator(AccessibilityTrustChecker trustChecker,
                                             std::function<void()> accessibilitySettingsOpener, QObject* parent)
    : QObject(parent)
    , m_trustChecker(std::move(trustChecker))
    , m_accessibilitySettingsOpener(std::move(accessibilitySettingsOpener))
{
    // The first answer is the starting value, not a change: nobody is told about it.
    m_authorizationState = stateFor(m_trustChecker.isTrusted());

    // Without a GUI application (command-line tools, some tests) there is no activation to
    // observe; explicit refreshes still work.
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application)
        return;
    // `this` as the context drops the connection, and a refresh still queued, when the
    // coordinator goes; the refresh is queued so that it never runs inside the platform's own
    // state-change handling.
    connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            QMetaObject::invokeMethod(
                this, [this] { refreshTrust(RefreshTrigger::appDidBecomeActive); }, Qt::QueuedConnection);
    });
}

AccessibilityAuthorizationState PermissionCoordinator::refreshTrust(RefreshTrigger)
{
    const AccessibilityAuthorizationState state = stateFor(m_trustChecker.isTrusted());
    if (state != m_authorizationState) {
        m_authorizationState = state;
        Q_EMIT authorizationStateChanged(m_authorizationState);
    }
    return m_authorizationState;
}

void PermissionCoordinator::openAccessibilitySettings() const
{
    if (m_accessibilitySettingsOpener)
        m_accessibilitySettingsOpener();
}

QStringList PermissionCoordinator::accessHelpPageCandidates(const QString& applicationDirPath)
{
    QStringList candidates;
    if (!applicationDirPath.isEmpty()) {
        const QDir dir(applicationDirPath);
        candidates << QDir::cleanPath(dir.filePath(QStringLiteral("../share/zentharion/doc/%1").arg(QLatin1String(helpPageName))))
                   << QDir::cleanPath(dir.filePath(QStringLiteral("docs/%1").arg(QLatin1String(helpPageName))));
    }
    return candidates;
}

QString PermissionCoordinator::accessHelpPagePath(const QString& applicationDirPath)
{
    for (const QString& candidate : accessHelpPageCandidates(applicationDirPath)) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable())
            return info.absoluteFilePath();
    }
    return {};
}

std::optional<QString> PermissionCoordinator::openAccessHelpPage(const QString& applicationDirPath,
                                                                const std::function<bool(const QUrl&)>& open)
{
    const QString page = accessHelpPagePath(applicationDirPath);
    if (page.isEmpty()) {
        qCWarning(AppLogger::permissions()) << "The help page on window-management access was not found; looked in"
                                            << accessHelpPageCandidates(applicationDirPath);
        return QStringLiteral("The help page on window-management access is not installed.");
    }
    if (open && open(QUrl::fromLocalFile(page)))
        return std::nullopt;
    return QStringLiteral("The help page could not be opened: no program is set up to show web pages. Open %1 in a web browser.")
        .arg(page);
}

void PermissionCoordinator::openSystemAccessibilitySettings()
{
    // There is no settings page that grants this access: what it takes is an X11 session with
    // a capable window manager, which our help page explains.
    const auto failure = openAccessHelpPage(QCoreApplication::applicationDirPath(),
                                            [](const QUrl& url) {
                                                return desktopServices().openWithDefaultApplication(
                                                    url.toLocalFile(), QStringLiteral("text/html"));
                                            });
    if (failure)
        qCWarning(AppLogger::permissions(), "%s", qUtf8Printable(*failure));
}

} // namespace zen
