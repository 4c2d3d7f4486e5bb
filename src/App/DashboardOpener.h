#pragma once

#include "Dashboard/DashboardWindowSupport.h"

#include <QPointer>

#include <functional>

namespace zen {

class DashboardView;

// "Open Dashboard": brings the dashboard on screen forward, shows again the one the person
// closed, or makes the first one. A closed dashboard is kept, hidden, rather than destroyed:
// opening it again is then a matter of showing it, refreshed, not of building a window of
// some hundred widgets while the person waits. Nothing is made before the first open, so a
// program sitting in the tray pays nothing for it. Main thread only.
class DashboardOpener {
public:
    using MakeWindow = std::function<DashboardView*()>;

    enum class Outcome {
        broughtForward, // it was on screen already
        shownAgain,     // the kept window, closed earlier
        made,           // a new window
    };

    // `bringForward` (may be null) asks the window manager for a window that is on screen already.
    explicit DashboardOpener(MakeWindow makeWindow, DashboardWindowSupport::BringForward bringForward = {});
    ~DashboardOpener();
    DashboardOpener(const DashboardOpener&) = delete;
    DashboardOpener& operator=(const DashboardOpener&) = delete;

    Outcome open();
    // The window, on screen or kept hidden; null before the first open or once it was deleted.
    DashboardView* window() const { return m_window.data(); }

private:
    MakeWindow m_makeWindow;
    DashboardWindowSupport::BringForward m_bringForward;
    QPointer<DashboardView> m_window;
};

} // namespace zen
