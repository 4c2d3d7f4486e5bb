#pragma once

#include "Permissions/StatusNoticePresenting.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace zen {

class PermissionCoordinator;

// What the user asked for; the routing does not depend on it.
enum class PrivilegedActionKind { saveLayout, restoreLayout };

// Where the request came from, which decides what the user is shown when access is missing.
enum class PrivilegedActionSource { dashboard, displayChange, menuBar, hotkey, settings };

enum class DashboardWindowVisibility { visibleOnActiveSpace, notVisible };

// Visible only when shown, not minimized and on the current desktop.
DashboardWindowVisibility dashboardWindowVisibilityFrom(bool isVisible, bool isMiniaturized, bool isOnActiveSpace);

struct PassivePermissionNotice {
    QString message;
    double duration = 0;

    friend bool operator==(const PassivePermissionNotice&, const PassivePermissionNotice&) = default;
};

// Asked just before a save or restore whether it may go ahead. When access is missing it
// decides what the user sees, by where the request came from: the dashboard's education panel,
// nothing (the menu opens onboarding itself), a passive notice for hotkeys and display changes
// (no window of ours is in view), or the access help for the settings window. Main thread only.
class PermissionInterventionRouter : public QObject {
    Q_OBJECT

public:
    // The notice for hotkey and display-change requests without access.
    static PassivePermissionNotice passivePermissionNotice();

    // The coordinator is held strongly; the presenter weakly (a released presenter only means
    // that no notice appears).
    PermissionInterventionRouter(std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                                 std::weak_ptr<StatusNoticePresenting> statusNoticePresenter, QObject* parent = nullptr);

    // True when the action may go ahead. Refreshes the coordinator first.
    bool requestAuthorization(PrivilegedActionKind kind, PrivilegedActionSource source);

    bool showsDashboardPermissionEducation() const { return m_showsDashboardPermissionEducation; }
    DashboardWindowVisibility dashboardWindowVisibility() const { return m_dashboardWindowVisibility; }
    const std::optional<PassivePermissionNotice>& lastPassivePermissionNotice() const
    {
        return m_lastPassivePermissionNotice;
    }
    const std::shared_ptr<PermissionCoordinator>& permissionCoordinator() const { return m_permissionCoordinator; }

    // Written by the dashboard: it reports its window's visibility each time that changes and
    // hides its education panel itself.
    void setShowsDashboardPermissionEducation(bool shows);
    void setDashboardWindowVisibility(DashboardWindowVisibility visibility);

    // The passive-notice steps, also taken by start-up's hotkey and display-change paths.
    void showPassivePermissionNoticeIfNeeded();
    void clearPassivePermissionNotice();

Q_SIGNALS:
    void showsDashboardPermissionEducationChanged(bool shows);
    void dashboardWindowVisibilityChanged(zen::DashboardWindowVisibility visibility);
    void lastPassivePermissionNoticeChanged();

private:
    void setLastPassivePermissionNotice(std::optional<PassivePermissionNotice> notice);

    bool m_showsDashboardPermissionEducation = false;
    DashboardWindowVisibility m_dashboardWindowVisibility = DashboardWindowVisibility::notVisible;
    std::optional<PassivePermissionNotice> m_lastPassivePermissionNotice;
    std::shared_ptr<PermissionCoordinator> m_permissionCoordinator;
    std::weak_ptr<StatusNoticePresenting> m_statusNoticePresenter;
};

} // namespace zen
