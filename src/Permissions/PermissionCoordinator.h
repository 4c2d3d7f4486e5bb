#pragma once

#include "Permissions/AccessibilityTrustChecker.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace zen {

// The one place that knows whether we may currently drive other programs' windows. Views
// observe `authorizationStateChanged`; the state is re-read whenever the application becomes
// active, so an access problem fixed outside the program shows up without user action.
// Main thread only.
class PermissionCoordinator : public QObject {
    Q_OBJECT

public:
    // Why a caller refreshes; every trigger refreshes the same way.
    enum class RefreshTrigger { launch, manualCheckAgain, appDidBecomeActive, privilegedAction };

    // The default opener shows our help page on what access needs on this desktop (there is
    // no system settings page that could grant it).
    explicit PermissionCoordinator(AccessibilityTrustChecker trustChecker = AccessibilityTrustChecker(),
                                   std::function<void()> accessibilitySettingsOpener = openSystemAccessibilitySettings,
                                   QObject* parent = nullptr);

    AccessibilityAuthorizationState authorizationState() const { return m_authorizationState; }

    // Re-reads the trust state, tells observers when it changed, returns the current state.
    AccessibilityAuthorizationState refreshTrust(RefreshTrigger trigger);

    // Run on the main thread by the router, the menu, the dashboard and onboarding. Never
    // changes the state: that arrives with the next activation or refresh.
    const std::function<void()>& accessibilitySettingsOpener() const { return m_accessibilitySettingsOpener; }
    void openAccessibilitySettings() const;

    // Where the access help page may be, most specific first: where an installed program keeps
    // it, then next to the program in its build folder (the build puts a copy there).
    static QStringList accessHelpPageCandidates(const QString& applicationDirPath);
    // The first candidate that is a regular file; empty when there is none.
    static QString accessHelpPagePath(const QString& applicationDirPath);
    // Shows the help page with `open`; the message for the user when it is missing or
    // nothing could show it.
    static std::optional<QString> openAccessHelpPage(const QString& applicationDirPath,
                                                     const std::function<bool(const QUrl&)>& open);

Q_SIGNALS:
    void authorizationStateChanged(zen::AccessibilityAuthorizationState state);

private:
    static void openSystemAccessibilitySettings();

    AccessibilityAuthorizationState m_authorizationState = AccessibilityAuthorizationState::unauthorized;
    AccessibilityTrustChecker m_trustChecker;
    std::function<void()> m_accessibilitySettingsOpener;
};

} // namespace zen
