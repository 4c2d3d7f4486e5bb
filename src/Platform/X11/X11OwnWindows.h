#pragma once

#include "Platform/OwnWindows.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace zen {

class X11Connection;

// OwnWindows on an xcb connection of its own (the toolkit's is busy with its own events): the
// window's WM_STATE and _NET_WM_STATE, the root's _NET_ACTIVE_WINDOW, and the frame extents the
// window manager announces in answer to _NET_REQUEST_FRAME_EXTENTS. A window manager is known
// to have handled what came before once it has carried out a configure request of this
// connection's (see windowManagerCaughtUp). The connection is opened on first use: a program
// sitting in the tray never needs it. Main thread.
class X11OwnWindows final : public OwnWindows {
public:
    std::optional<OwnWindowState> state(WId window) override;
    std::optional<OwnWindowState> stateAfterPendingRequests(WId window, std::chrono::milliseconds atMost) override;
    std::optional<QRect> frame(WId window) override;
    std::optional<QMargins> frameExtents(WId window) override;

private:
    // False when no X server can be reached.
    bool connected();
    bool windowManagerEstimatesExtents();
    bool windowManagerCaughtUp(std::chrono::steady_clock::time_point deadline);

    std::shared_ptr<X11Connection> m_x;
    std::optional<bool> m_estimatesExtents;
    // A window of this connection's, never mapped, that the window manager is asked to move.
    std::uint32_t m_probe = 0;
    std::uint32_t m_probeMoves = 0;
};

} // namespace zen
