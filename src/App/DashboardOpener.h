#pragma once

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

    explicit DashboardOpener(MakeWindow makeWindow);
    ~DashboardOpener();
    DashboardOpener(const DashboardOpener&) = delete;
    DashboardOpener& operator=(const DashboardOpener&) = delete;

    Outcome open();
    // The window, on screen or kept hidden; null before the first open or once it was deleted.
    DashboardView* window() const { return m_window.data(); }

private:
    MakeWindow m_makeWindow;
    QPointer<DashboardView> m_window;
};

} // namespace zen
