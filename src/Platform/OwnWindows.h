#pragma once

#include <QMargins>
#include <QRect>
#include <qwindowdefs.h>

#include <chrono>
#include <optional>

namespace zen {

// How the window manager sees one of the program's own windows now.
struct OwnWindowState {
    bool minimized = false;
    // The window that holds the keyboard, as the window manager says; 0 for none.
    WId activeWindow = 0;
};

// The window manager's side of the program's own windows, read from the display server itself:
// the toolkit hears of what the window manager did (a minimize, another window activated) only
// once it has worked through the events before, which on a busy machine is a while later.
class OwnWindows {
public:
    virtual ~OwnWindows() = default;
    // Absent when the window or the server cannot be read.
    virtual std::optional<OwnWindowState> state(WId window) = 0;
    // As state(), once the window manager has worked through what it was sent before: it
    // handles requests in turn, some while after they reach the server, so a minimize the
    // person asked for a moment ago may not show yet in state(). Waits `atMost` for a window
    // manager that does not answer (stopped, or none), then reads what stands.
    virtual std::optional<OwnWindowState> stateAfterPendingRequests(WId window, std::chrono::milliseconds /*atMost*/)
    {
        return state(window);
    }
    // The window's frame as the window manager has put it on screen, in the toolkit's
    // coordinates; absent until the window manager has framed it.
    virtual std::optional<QRect> frame(WId window) = 0;
    // The decoration the window manager will put around the window, asked of it before the
    // window is mapped; absent when it does not answer within a moment.
    virtual std::optional<QMargins> frameExtents(WId window) = 0;
};

} // namespace zen
