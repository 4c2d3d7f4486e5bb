#include "App/DashboardOpener.h"

#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardWindowSupport.h"

namespace zen {

DashboardOpener::DashboardOpener(MakeWindow makeWindow, DashboardWindowSupport::BringForward bringForward)
    : m_makeWindow(std::move(makeWindow))
    , m_bringForward(std::move(bringForward))
{
}

DashboardOpener::~DashboardOpener()
{
    delete m_window.data();
}

DashboardOpener::Outcome DashboardOpener::open()
{
    if (DashboardWindowSupport::focusExistingWindow(m_bringForward))
        return Outcome::broughtForward;
    Outcome outcome = Outcome::shownAgain;
    if (!m_window) {
        m_window = m_makeWindow();
        if (!m_window)
            return Outcome::made;
        // Closing hides it rather than deleting it; while hidden it drops its preview and
        // lists, which it makes again when it is next shown.
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        outcome = Outcome::made;
    }
    m_window->show();
    m_window->raise();
    // The toolkit would ask for the keyboard when the window is mapped, whatever the person
    // did meanwhile: a window minimized the moment it appeared would come back. The window
    // manager gives a new window the keyboard itself, and a launch asks for it once the window
    // is on screen, if nothing happened since (see ZentharionApp::bringDashboardForward).
    if (!m_bringForward)
        m_window->activateWindow();
    return outcome;
}

} // namespace zen
