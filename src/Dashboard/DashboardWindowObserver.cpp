#include "Dashboard/DashboardWindowObserver.h"

#include "Dashboard/DashboardWindowSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace zen {

DashboardWindowObserver::DashboardWindowObserver(QWidget& window, std::shared_ptr<PermissionInterventionRouter> router,
                                                 UserDefaults& frameStore,
                                                 std::shared_ptr<OperationScheduler> scheduler)
    : QObject(&window)
    , m_window(&window)
    , m_router(std::move(router))
    , m_frameStore(frameStore)
    , m_scheduler(scheduler ? std::move(scheduler) : std::make_shared<QtOperationScheduler>())
{
    window.installEventFilter(this);
    watchWindowHandle();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_window && !m_closed)
            saveFrame();
    });
    QTimer::singleShot(0, this, [this] { updateVisibility(); });
    // The toolkit hears of a monitor unplugged a moment after the server made the change: a
    // dashboard opened in between was placed by the monitors as they were, and one open on that
    // monitor is left where nobody sees it. Judged once the toolkit has moved its windows off the
    // monitor that went.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (m_window && m_window->isVisible() && !m_window->isMinimized())
                DashboardWindowSupport::keepOnMonitors(*m_window);
        });
    });
}

DashboardWindowObserver::~DashboardWindowObserver()
{
    if (m_pendingSave)
        m_pendingSave->cancel();
    // A window that goes away without a close event (deleted outright) is no longer in view.
    if (!m_closed)
        report(DashboardWindowVisibility::notVisible);
}

DashboardWindowVisibility DashboardWindowObserver::currentVisibility() const
{
    if (!m_window || m_closed)
        return DashboardWindowVisibility::notVisible;
    // A window on another desktop is unmapped by the window manager: it is not exposed.
    const QWindow* handle = m_window->windowHandle();
    return dashboardWindowVisibilityFrom(m_window->isVisible(), m_window->isMinimized(),
                                         handle != nullptr && handle->isExposed());
}

void DashboardWindowObserver::updateVisibility()
{
    report(currentVisibility());
}

void DashboardWindowObserver::report(DashboardWindowVisibility visibility)
{
    if (m_router && m_router->dashboardWindowVisibility() != visibility)
        m_router->setDashboardWindowVisibility(visibility);
}

void DashboardWindowObserver::saveFrame()
{
    if (m_pendingSave) {
        m_pendingSave->cancel();
        m_pendingSave.reset();
    }
    if (m_window)
        DashboardWindowSupport::saveFrame(*m_window, m_frameStore);
}

void DashboardWindowObserver::saveFrameLater()
{
    // A drag moves the window some tens of times a second, and each save replaces the settings
    // file (written and synced to disk, on this thread): the frame is saved once it has settled.
    if (m_pendingSave)
        m_pendingSave->cancel();
    m_pendingSave = m_scheduler->runAfter(frameSaveDelay, [this] {
        m_pendingSave.reset();
        saveFrame();
    });
}

void DashboardWindowObserver::savePendingFrame()
{
    if (m_pendingSave)
        saveFrame();
}

void DashboardWindowObserver::watchWindowHandle()
{
    if (m_window && m_window->windowHandle())
        m_window->windowHandle()->installEventFilter(this);
}

bool DashboardWindowObserver::eventFilter(QObject* watched, QEvent* event)
{
    if (m_window && watched == m_window.data()) {
        switch (event->type()) {
        case QEvent::WinIdChange:
        case QEvent::Show:
            m_closed = false;
            watchWindowHandle();
            QTimer::singleShot(0, this, [this] { updateVisibility(); });
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (m_window->isVisible())
                saveFrameLater();
            break;
        case QEvent::Close:
            saveFrame();
            m_closed = true;
            report(DashboardWindowVisibility::notVisible);
            break;
        case QEvent::Hide:
            savePendingFrame();
            updateVisibility();
            break;
        case QEvent::WindowStateChange:
        case QEvent::ActivationChange:
            updateVisibility();
            break;
        default:
            break;
        }
    } else if (event->type() == QEvent::Expose) {
        // Exposure changes after the event is handled; look once it has been.
        QTimer::singleShot(0, this, [this] { updateVisibility(); });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zen
