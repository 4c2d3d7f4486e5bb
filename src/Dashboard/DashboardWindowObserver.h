#pragma once

#include "MenuBar/OperationScheduler.h"
#include "Permissions/PermissionInterventionRouter.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace zen {

class UserDefaults;

// Watches the dashboard window for the permission router and the frame store: tells the
// router whether the dashboard is in view (shown, not minimized, on the current desktop) each
// time that changes, and saves the window's frame once a move or resize has ended (a moment
// after the last one), when it is hidden or closes, and when the program quits. The first
// report comes one event-loop turn after the observer is attached.
class DashboardWindowObserver : public QObject {
    Q_OBJECT
public:
    using VisibilityChange = std::function<void(DashboardWindowVisibility)>;

    // How long after the last move or resize the frame is saved.
    static constexpr std::chrono::milliseconds frameSaveDelay {1000};

    DashboardWindowObserver(QWidget& window, std::shared_ptr<PermissionInterventionRouter> router,
                            UserDefaults& frameStore, std::shared_ptr<OperationScheduler> scheduler = {});
    ~DashboardWindowObserver() override;

    // The visibility as the window's state gives it now.
    DashboardWindowVisibility currentVisibility() const;
    // Reports `currentVisibility()`; the router is written only when its value differs.
    void updateVisibility();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report(DashboardWindowVisibility visibility);
    void saveFrame();
    void saveFrameLater();
    void savePendingFrame();
    void watchWindowHandle();

    QPointer<QWidget> m_window;
    std::shared_ptr<PermissionInterventionRouter> m_router;
    UserDefaults& m_frameStore;
    std::shared_ptr<OperationScheduler> m_scheduler;
    std::unique_ptr<OperationScheduler::Handle> m_pendingSave;
    bool m_closed = false;
};

} // namespace zen
