#include "Settings/SettingsViewPresenter.h"

#include "Infrastructure/ZentharionSettings.h"
#include "Platform/DesktopServices.h"
#include "Settings/ZentharionSupport.h"
#include "Shared/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace zen {

namespace {

DiagnosticLogStatus failure(const QString& message)
{
    return {message, QStringLiteral("exclamationmark.triangle.fill"), SettingsTint::red};
}

DiagnosticLogStatus done(const QString& message)
{
    return {message, QStringLiteral("checkmark.circle"), SettingsTint::green};
}

} // namespace

SettingsBundleInfo SettingsBundleInfo::live()
{
    const auto nonEmpty = [](const QString& text) { return text.isEmpty() ? std::nullopt : std::optional(text); };
    return {nonEmpty(QGuiApplication::applicationDisplayName()), nonEmpty(QCoreApplication::applicationName()),
            nonEmpty(QCoreApplication::applicationVersion())};
}

SettingsViewPresenter::SettingsViewPresenter(std::shared_ptr<LaunchAtLoginController> launchAtLoginController,
                                             std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                                             std::shared_ptr<DiagnosticLogController> diagnosticLogController,
                                             std::shared_ptr<SettingsNavigationController> settingsNavigationController,
                                             std::shared_ptr<AppUpdateController> updateController,
                                             Environment environment, QObject* parent)
    : QObject(parent)
    , m_launchAtLogin(std::move(launchAtLoginController))
    , m_permissions(std::move(permissionCoordinator))
    , m_diagnosticLog(std::move(diagnosticLogController))
    , m_navigation(std::move(settingsNavigationController))
    , m_updates(std::move(updateController))
    , m_env(std::move(environment))
{
    if (!m_env.defaults)
        m_env.defaults = &UserDefaults::standard();
    if (!m_env.bundleInfo)
        m_env.bundleInfo = &SettingsBundleInfo::live;
    if (!m_env.openURL)
        m_env.openURL = [](const QUrl& url) { return desktopServices().openUri(url); };
    if (!m_env.supportAddress)
        m_env.supportAddress = ZentharionSupport::emailAddress();

    connect(m_launchAtLogin.get(), &LaunchAtLoginController::stateChanged, this, &SettingsViewPresenter::changed);
    connect(m_permissions.get(), &PermissionCoordinator::authorizationStateChanged, this,
            &SettingsViewPresenter::changed);
    connect(m_updates.get(), &AppUpdateController::canCheckForUpdatesChanged, this, &SettingsViewPresenter::changed);
    connect(m_updates.get(), &AppUpdateController::automaticallyChecksForUpdatesChanged, this,
            &SettingsViewPresenter::changed);
    // The words come and go with the file (a lock another program lets go of, a retry that
    // writes), not with anything done in this window.
    m_env.defaults->onNotSavedChanged(this, [this] { Q_EMIT changed(); });
    connect(m_navigation.get(), &SettingsNavigationController::selectedTabChanged, this, [this](SettingsTab tab) {
        if (tab == SettingsTab::diagnostics) {
            m_diagnosticLogStatus.reset();
            refreshDiagnosticLogAvailability();
        }
        Q_EMIT changed();
    });
}

void SettingsViewPresenter::contentAppeared()
{
    m_launchAtLogin->refreshStatus();
    m_permissions->refreshTrust(PermissionCoordinator::RefreshTrigger::manualCheckAgain);
    refreshDiagnosticLogAvailability();
    Q_EMIT changed();
}

QString SettingsViewPresenter::launchAtLoginStatusIcon() const
{
    const LaunchAtLoginState& state = launchAtLoginState();
    return state.isError && !state.requiresApproval ? QStringLiteral("exclamationmark.triangle.fill")
                                                    : QStringLiteral("info.circle");
}

SettingsTint SettingsViewPresenter::launchAtLoginStatusTint() const
{
    const LaunchAtLoginState& state = launchAtLoginState();
    if (state.isError && !state.requiresApproval)
        return SettingsTint::red;
    if (state.requiresApproval)
        return SettingsTint::orange;
    return SettingsTint::secondary;
}

std::optional<QString> SettingsViewPresenter::settingsNotSavedReason() const
{
    return m_env.defaults->notSavedReason();
}

bool SettingsViewPresenter::suggestRestoreOnDisplayChange() const
{
    // The registered default answers until the user stores a value.
    const auto stored = m_env.defaults->object(ZentharionSettings::suggestRestoreOnDisplayChangeKey);
    return stored ? m_env.defaults->boolForKey(ZentharionSettings::suggestRestoreOnDisplayChangeKey) : true;
}

void SettingsViewPresenter::setSuggestRestoreOnDisplayChange(bool value)
{
    m_env.defaults->setBool(ZentharionSettings::suggestRestoreOnDisplayChangeKey, value);
    Q_EMIT changed();
}

bool SettingsViewPresenter::showsAccessibilitySection() const
{
    return m_permissions->authorizationState() == AccessibilityAuthorizationState::unauthorized;
}

void SettingsViewPresenter::refreshDiagnosticLogAvailability()
{
    m_hasDiagnosticLog = m_diagnosticLog && m_diagnosticLog->hasLog();
}

void SettingsViewPresenter::revealDiagnosticLog()
{
    if (!m_diagnosticLog)
        return;
    // An earlier outcome ("Diagnostic log exported.") no longer describes what was last done.
    if (m_diagnosticLog->revealInFinder())
        m_diagnosticLogStatus.reset();
    else
        // Where it is, so that the user can open it some other way.
        m_diagnosticLogStatus = failure(
            QStringLiteral("The diagnostic log could not be shown: no file manager could be opened. It is at %1.")
                .arg(QDir::toNativeSeparators(m_diagnosticLog->hasLog()
                                                  ? m_diagnosticLog->eventsLogURL()
                                                  : QFileInfo(m_diagnosticLog->eventsLogURL()).absolutePath())));
    refreshDiagnosticLogAvailability();
    Q_EMIT changed();
}

QString SettingsViewPresenter::updatesUnavailableText()
{
    return QStringLiteral("Update checks are not available in this build.");
}

void SettingsViewPresenter::exportDiagnosticLog()
{
    if (!m_diagnosticLog)
        return;
    const auto outcome = m_diagnosticLog->exportLog();
    if (!outcome) {
        m_diagnosticLogStatus =
            failure(QStringLiteral("Diagnostic log could not be exported: ") + userFacingDescription(outcome.error()));
    } else {
        switch (outcome->kind) {
        case DiagnosticLogExportResult::Kind::exported:
            m_diagnosticLogStatus = done(QStringLiteral("Diagnostic log exported."));
            break;
        case DiagnosticLogExportResult::Kind::cancelled:
            break; // the previous status stays
        case DiagnosticLogExportResult::Kind::noLog:
            m_diagnosticLogStatus = DiagnosticLogStatus{QStringLiteral("No diagnostic log is available to export."),
                                                        QStringLiteral("info.circle"), SettingsTint::secondary};
            break;
        }
    }
    refreshDiagnosticLogAvailability();
    Q_EMIT changed();
}

void SettingsViewPresenter::deleteDiagnosticLog()
{
    if (!m_diagnosticLog)
        return;
    if (const auto cleared = m_diagnosticLog->clear(); cleared)
        m_diagnosticLogStatus = done(QStringLiteral("Diagnostic log deleted."));
    else
        m_diagnosticLogStatus =
            failure(QStringLiteral("Diagnostic log could not be deleted: ") + userFacingDescription(cleared.error()));
    refreshDiagnosticLogAvailability();
    Q_EMIT changed();
}

QString SettingsViewPresenter::appName() const
{
    const SettingsBundleInfo info = m_env.bundleInfo();
    if (info.displayName)
        return *info.displayName;
    if (info.name)
        return *info.name;
    return QStringLiteral("Zentharion");
}

std::optional<QString> SettingsViewPresenter::versionNumber() const
{
    return m_env.bundleInfo().shortVersion;
}

QString SettingsViewPresenter::supportUnavailableText()
{
    return QStringLiteral("Contact Support is not available in this build.");
}

void SettingsViewPresenter::openSupportEmail()
{
    if (!canContactSupport())
        return;
    const QString& address = *m_env.supportAddress;
    const QString subject = ZentharionSupport::subject(versionNumber());
    bool handedOver = m_diagnosticLog
        && m_diagnosticLog->composeSupportEmail(address, subject, ZentharionSupport::supportEmailBody);
    if (!handedOver)
        if (const auto url = ZentharionSupport::mailtoURL(subject, ZentharionSupport::supportEmailBody, address))
            handedOver = m_env.openURL(*url);
    if (handedOver)
        m_supportStatus.reset();
    else
        // The address in plain words, so the user can still write from wherever they mail.
        m_supportStatus = failure(QStringLiteral("No mail program could be opened. Write to %1.").arg(address));
    Q_EMIT changed();
}

} // namespace zen
