#include "Dashboard/DashboardWindowObserver.h"

#include "Dashboard/DashboardWindowSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace zen {

DashboardWindowObserver::DashboardWindowObserver(QWidget& window, std::shared_ptr<PermissionInterventionRouter> router,
                                                 UserDefaults& frameStore)
    : QObject(&window)
    , m_window(&window)
    , m_router(std::move(router))
    , m_frameStore(frameStore)
{
    window.installEventFilter(this);
    watchWindowHandle();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_window && !m_closed)
            saveFrame();
    });
    QTimer::singleShot(0, this, [this] { updateVisibility(); });
}

DashboardWindowObserver::~DashboardWindowObserver()
{
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
    if (m_window)
        DashboardWindowSupport::saveFrame(*m_window, m_frameStore);
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
                saveFrame();
            break;
        case QEvent::Close:
            saveFrame();
            m_closed = true;
            report(DashboardWindowVisibility::notVisible);
            break;
        case QEvent::Hide:
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
