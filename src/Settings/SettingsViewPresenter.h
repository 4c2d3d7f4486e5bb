#pragma once

#include "Infrastructure/DiagnosticLogController.h"
#include "LaunchAtLogin/LaunchAtLoginController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Settings/DiagnosticLogStatus.h"
#include "Settings/SettingsNavigationController.h"
#include "Updates/AppUpdateController.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace zen {

class UserDefaults;

// The program's name and version as the desktop entry and the build give them.
struct SettingsBundleInfo {
    std::optional<QString> displayName;
    std::optional<QString> name;
    std::optional<QString> shortVersion;

    // The application's display name, name and version (absent when empty).
    static SettingsBundleInfo live();
};

// Where the settings window reads preferences and the program's name, and how it opens links.
struct SettingsViewEnvironment {
    UserDefaults* defaults = nullptr;                // null: the standard preferences
    std::function<SettingsBundleInfo()> bundleInfo;  // empty: SettingsBundleInfo::live
    std::function<bool(const QUrl&)> openURL;        // empty: the desktop's handler
    std::optional<QString> supportAddress;           // absent: the build's (ZentharionSupport)
};

// What the settings window shows and does, without a screen: every row reads and drives a
// controller that outlives the window; the window itself keeps only the diagnostic log's
// presence and the last log action's outcome. Main thread only.
class SettingsViewPresenter : public QObject {
    Q_OBJECT
public:
    using Environment = SettingsViewEnvironment;

    SettingsViewPresenter(std::shared_ptr<LaunchAtLoginController> launchAtLoginController,
                          std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                          std::shared_ptr<DiagnosticLogController> diagnosticLogController,
                          std::shared_ptr<SettingsNavigationController> settingsNavigationController,
                          std::shared_ptr<AppUpdateController> updateController, Environment environment = {},
                          QObject* parent = nullptr);

    // Each time the window comes on screen.
    void contentAppeared();

    SettingsTab selectedTab() const { return m_navigation->selectedTab(); }
    void selectTab(SettingsTab tab) { m_navigation->setSelectedTab(tab); }

    // General
    const LaunchAtLoginState& launchAtLoginState() const { return m_launchAtLogin->state(); }
    void setLaunchAtLogin(bool enabled) { m_launchAtLogin->setEnabled(enabled); }
    void openLoginItemsSettings() { m_launchAtLogin->openLoginItemsSettings(); }
    QString launchAtLoginStatusIcon() const;
    SettingsTint launchAtLoginStatusTint() const;
    bool automaticallyChecksForUpdates() const { return m_updates->automaticallyChecksForUpdates(); }
    // The switch follows the rule of "Check for Updates": a build without a feed has neither.
    bool canChangeAutomaticUpdateChecks() const { return canCheckForUpdates(); }
    static QString updatesUnavailableText();
    void setAutomaticallyChecksForUpdates(bool value) { m_updates->setAutomaticallyChecksForUpdates(value); }
    bool suggestRestoreOnDisplayChange() const;
    void setSuggestRestoreOnDisplayChange(bool value);
    bool showsAccessibilitySection() const;
    void openAccessibilitySettings() { m_permissions->openAccessibilitySettings(); }

    // Diagnostics
    bool hasDiagnosticLogController() const { return m_diagnosticLog != nullptr; }
    bool hasDiagnosticLog() const { return m_hasDiagnosticLog; }
    const std::optional<DiagnosticLogStatus>& diagnosticLogStatus() const { return m_diagnosticLogStatus; }
    void revealDiagnosticLog();
    void exportDiagnosticLog();
    void deleteDiagnosticLog();
    // Why changes to the settings are not in their file (kept for this session only, or not
    // saved yet), in the store's words; absent once they are. Shown in General and Diagnostics.
    std::optional<QString> settingsNotSavedReason() const;

    // About
    QString appName() const;
    std::optional<QString> versionNumber() const;
    bool canCheckForUpdates() const { return m_updates->canCheckForUpdates(); }
    void checkForUpdates() { m_updates->checkForUpdates(); }
    // A build given no support address offers no Contact Support.
    bool canContactSupport() const { return !m_env.supportAddress->trimmed().isEmpty(); }
    static QString supportUnavailableText();
    void openSupportEmail();
    // What went wrong the last time the support mail was asked for; empty once it worked.
    const std::optional<DiagnosticLogStatus>& supportStatus() const { return m_supportStatus; }

Q_SIGNALS:
    // Anything shown may have changed.
    void changed();

private:
    void refreshDiagnosticLogAvailability();

    std::shared_ptr<LaunchAtLoginController> m_launchAtLogin;
    std::shared_ptr<PermissionCoordinator> m_permissions;
    std::shared_ptr<DiagnosticLogController> m_diagnosticLog;
    std::shared_ptr<SettingsNavigationController> m_navigation;
    std::shared_ptr<AppUpdateController> m_updates;
    Environment m_env;
    std::optional<DiagnosticLogStatus> m_diagnosticLogStatus;
    std::optional<DiagnosticLogStatus> m_supportStatus;
    bool m_hasDiagnosticLog = false;
};

} // namespace zen
