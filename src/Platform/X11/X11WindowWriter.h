#pragma once

#include "Platform/X11/X11DesktopReader.h"

#include <xcb/xcb.h>

#include <array>
#include <map>
#include <vector>

namespace zen {

class X11Connection;

// Asks the window manager to move, resize, (un)minimize, raise and activate client windows,
// the way a pager does (EWMH source indication 2). Each request fails only when the window
// has gone; whether the window manager obliges shows in the next reading.
// How many of the first raises of a batch (back-most first) can be left out with the same
// stacking as the outcome, judged on a reading of the desktop.
std::size_t raisesLeavingOrderAsItIs(const X11DesktopState& state, const std::vector<xcb_window_t>& raises);

class X11WindowWriter {
public:
    explicit X11WindowWriter(X11Connection& connection) : m_x(connection) {}
    ~X11WindowWriter();

    // One window of a batch: the window as last read (its states and frame extents), the
    // outer frame to give it in the global space, and whether to un-minimize it first.
    struct Placement {
        X11ClientWindow window;
        CGRect frame;
        bool unminimize = false;
    };

    // Whether the window manager of this name (as a desktop reading gives it) places a window
    // from a plain ConfigureWindow of the client exactly as from _NET_MOVERESIZE_WINDOW, the
    // place read by the window's own gravity. Only then may the writer send the plain request,
    // which that window manager carries out no slower (measured by the restore benchmark).
    static bool appliesConfigureRequestsExactly(const QString& windowManagerName);

    // Either argument may be null; the frame is the outer frame in the global space.
    // `plainRequests`: see appliesConfigureRequestsExactly.
    bool moveResize(const X11ClientWindow& window, CGPoint rootOrigin, const CGPoint* position, const CGSize* size,
                    bool plainRequests = false);
    // Sends every placement before reading any answer, then learns which windows have gone
    // from one query for all of them: one round trip for the batch (plus a short wait for
    // the window manager when a window has to leave the maximized or full-screen state).
    // False for a window that has gone or a place beyond the protocol's 16-bit coordinates.
    std::vector<bool> place(const std::vector<Placement>& placements, CGPoint rootOrigin, bool plainRequests = false);
    bool setMinimized(xcb_window_t window, bool minimized);
    bool raise(xcb_window_t window);
    // Restacks the windows in order, the last ending in front; one round trip for all. The
    // first `unchanged` windows are known to be in place already: they are only checked.
    std::vector<bool> raiseAll(const std::vector<xcb_window_t>& windows, std::size_t unchanged = 0);
    bool activate(xcb_window_t window);

private:
    using Extents = std::array<std::uint32_t, 4>;

    // Whether each window still exists, asked after the requests sent so far: one round trip.
    std::vector<bool> stillExist(const std::vector<xcb_window_t>& windows);
    // Takes the windows out of the full-screen and maximized states and waits until the
    // window manager has done so: a maximized window's frame extents lack the side borders
    // it gets back, and a size worked out from them comes out too large.
    std::map<xcb_window_t, Extents> leaveFullScreenAndMaximized(const std::vector<const X11ClientWindow*>& windows);
    // Sends a plain configure request where `plainRequests` allows it and it lands exactly
    // where the window manager's message would; the message otherwise.
    void sendMoveResize(const X11ClientWindow& window, const Extents& extents, CGPoint rootOrigin, const CGPoint* position,
                        const CGSize* size, bool plainRequests);
    // The server's current time: focus requests with a real timestamp are not refused as
    // stale by focus-stealing prevention. XCB_CURRENT_TIME when the server does not answer
    // within a moment.
    xcb_timestamp_t serverTime();

    X11Connection& m_x;
    xcb_window_t m_timeWindow = 0;
};

} // namespace zen
