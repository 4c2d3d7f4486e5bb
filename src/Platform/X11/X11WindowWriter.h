#pragma once

#include "Platform/X11/X11DesktopReader.h"

#include <xcb/xcb.h>

#include <functional>

namespace zen {

class X11Connection;

// Asks the window manager to move, resize, (un)minimize, raise and activate client windows,
// the way a pager does (EWMH source indication 2). Each request fails only when the window
// has gone; whether the window manager obliges shows in the next reading.
class X11WindowWriter {
public:
    explicit X11WindowWriter(X11Connection& connection) : m_x(connection) {}
    ~X11WindowWriter();

    // Either argument may be null; the frame is the outer frame in the global space.
    bool moveResize(const X11ClientWindow& window, CGPoint rootOrigin, const CGPoint* position, const CGSize* size);
    bool setMinimized(xcb_window_t window, bool minimized);
    bool raise(xcb_window_t window);
    bool activate(xcb_window_t window);

private:
    bool exists(xcb_window_t window);
    // Holding the connection, makes `request` and sends it when the window still exists;
    // false when it has gone.
    bool requestIfExists(xcb_window_t window, const std::function<void()>& request);
    void sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1 = 0, std::uint32_t d2 = 0,
                    std::uint32_t d3 = 0, std::uint32_t d4 = 0);
    // The server's current time: focus requests with a real timestamp are not refused as
    // stale by focus-stealing prevention. XCB_CURRENT_TIME when the server does not answer
    // within a moment.
    xcb_timestamp_t serverTime();

    X11Connection& m_x;
    xcb_window_t m_timeWindow = 0;
};

} // namespace zen
