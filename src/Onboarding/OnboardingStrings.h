#pragma once

#include "Shared/DesktopWords.h"

#include <QString>
#include <QStringList>

namespace zen {

// The onboarding window and the permission education share these words, so both explain
// access the same way.
struct OnboardingStrings {
    static QString welcomeTitle() { return QStringLiteral("Zentharion"); }
    // `programMenu`: where the program's menu is on this desktop (DesktopWords::programMenu).
    static QString welcomeBody(const QString& programMenu = DesktopWords::trayMenu)
    {
        return QStringLiteral("Save your window layout. Restore it anytime from the %1 or with a keyboard shortcut.")
            .arg(programMenu);
    }
    static QString permissionTitle() { return DesktopWords::windowAccess + QStringLiteral(" Required"); }
    static QString permissionBody() { return QStringLiteral("Allow access to save and restore window positions."); }
    static QString waitingBody() { return QStringLiteral("When you return, access will be checked automatically."); }
    static QString successTitle() { return DesktopWords::windowAccess + QStringLiteral(" Enabled"); }
    static QString successBody() { return QStringLiteral("You can now save and restore layouts."); }
    static QString readyTitle() { return QStringLiteral("You're ready to save your first layout."); }
    static QString readyBody()
    {
        return QStringLiteral(
            "Arrange your windows the way you want, then save the current layout from the dashboard.");
    }
    static QString authorizedReadyBody(const QString& programMenu = DesktopWords::trayMenu)
    {
        return QStringLiteral("Zentharion is ready. Save your window layout and restore it anytime from the %1 or "
                              "with a keyboard shortcut.")
            .arg(programMenu);
    }

    // No settings pane grants window access on this desktop; where the user would go to grant
    // it, we send them to the help page we ship on what access needs. Every text that names
    // that place takes it from here.
    static QString accessSettingsPlace() { return DesktopWords::accessHelp; }

    static QString openAccessSettingsTitle() { return QStringLiteral("Open ") + accessSettingsPlace(); }
    static QString checkAgainTitle() { return DesktopWords::checkAgainStep; }
    static QString dismissTitle() { return QStringLiteral("Dismiss"); }

    // The steps a person takes here to give the program window access, as shown along the
    // path; the help page walks through the same steps under the same titles.
    static QStringList permissionPathTitles() { return DesktopWords::accessPathSteps; }
    // The path as one sentence for screen readers.
    static QString permissionPathAccessibilityLabel() { return permissionPathTitles().join(QStringLiteral(", ")); }
};

} // namespace zen
