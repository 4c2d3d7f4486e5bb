#include "Platform/X11/X11OwnWindows.h"

#include "Platform/X11/X11Connection.h"

#include <chrono>
#include <cstdlib>
#include <mutex>

namespace zen {

namespace {

constexpr std::uint32_t iconicState = 3; // ICCCM WM_STATE

// A window manager answers an estimate at once; a busy one may take a moment, and one that does
// not answer at all must not hold up the window that waits to be shown.
constexpr std::chrono::milliseconds extentsWait {400};

} // namespace

bool X11OwnWindows::connected()
{
    if (!m_x)
        m_x = X11Connection::open();
    return m_x != nullptr;
}

std::optional<OwnWindowState> X11OwnWindows::state(WId id)
{
    if (!connected())
        return std::nullopt;
    std::lock_guard lock(m_x->mutex());
    xcb_connection_t* c = m_x->connection();
    const auto window = xcb_window_t(id);
    const xcb_atom_t wmState = m_x->atom("WM_STATE");
    const auto wmStateCookie = xcb_get_property(c, 0, window, wmState, wmState, 0, 2);
    const auto netStateCookie = xcb_get_property(c, 0, window, m_x->atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 32);
    const auto activeCookie = xcb_get_property(c, 0, m_x->root(), m_x->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1);
    const auto wm = replyOf(xcb_get_property_reply, c, wmStateCookie);
    const auto net = replyOf(xcb_get_property_reply, c, netStateCookie);
    const auto active = replyOf(xcb_get_property_reply, c, activeCookie);
    m_x->countRoundTrip();
    if (!wm)
        return std::nullopt; // the window is gone, or the connection
    OwnWindowState state;
    const auto wmValues = cardinals(wm.get());
    state.minimized = (!wmValues.empty() && wmValues.front() == iconicState)
        || containsAtom(cardinals(net.get()), m_x->atom("_NET_WM_STATE_HIDDEN"));
    const auto activeValues = cardinals(active.get());
    state.activeWindow = activeValues.empty() ? 0 : WId(activeValues.front());
    return state;
}

bool X11OwnWindows::windowManagerCaughtUp(std::chrono::steady_clock::time_point deadline)
{
    xcb_connection_t* c = m_x->connection();
    // A window manager sees every configure request for a window at the root's top level, its
    // own or not, in the order the server took them, among the other events it handles in turn
    // (the messages that minimize or activate a window). One that is not a window it manages it
    // carries out as asked, and the server reports the move to whoever watches the window. A
    // position of its own in each request tells its answer from the answer to any earlier one,
    // whoever sent that; without a window manager the server moves the window at once.
    if (!m_probe) {
        m_probe = xcb_generate_id(c);
        const std::uint32_t watch = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_probe, m_x->root(), -100, -100, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &watch);
    }
    m_probeMoves = (m_probeMoves + 1) % 10000;
    const auto x = std::int16_t(-200 - std::int32_t(m_probeMoves));
    const std::uint32_t position = std::uint32_t(std::int32_t(x));
    xcb_configure_window(c, m_probe, XCB_CONFIG_WINDOW_X, &position);
    xcb_flush(c);
    while (xcb_generic_event_t* event = nextEventBefore(c, deadline)) {
        const auto notify = *reinterpret_cast<xcb_configure_notify_event_t*>(event);
        std::free(event);
        if ((notify.response_type & 0x7F) == XCB_CONFIGURE_NOTIFY && notify.window == m_probe && notify.x == x)
            return true;
    }
    return false;
}

std::optional<OwnWindowState> X11OwnWindows::stateAfterPendingRequests(WId id, std::chrono::milliseconds atMost)
{
    if (!connected())
        return std::nullopt;
    {
        std::lock_guard lock(m_x->mutex());
        windowManagerCaughtUp(std::chrono::steady_clock::now() + atMost);
        m_x->countRoundTrip();
        dropArrivedEvents(m_x->connection());
    }
    return state(id);
}

std::optional<QRect> X11OwnWindows::frame(WId id)
{
    if (!connected())
        return std::nullopt;
    std::lock_guard lock(m_x->mutex());
    xcb_connection_t* c = m_x->connection();
    const auto window = xcb_window_t(id);
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto originCookie = xcb_translate_coordinates(c, window, m_x->root(), 0, 0);
    const auto extentsCookie = xcb_get_property(c, 0, window, m_x->atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4);
    const auto attributes = replyOf(xcb_get_window_attributes_reply, c, attributesCookie);
    const auto geometry = replyOf(xcb_get_geometry_reply, c, geometryCookie);
    const auto origin = replyOf(xcb_translate_coordinates_reply, c, originCookie);
    const auto extentsReply = replyOf(xcb_get_property_reply, c, extentsCookie);
    m_x->countRoundTrip();
    const auto extents = cardinals(extentsReply.get());
    if (!attributes || !geometry || !origin || attributes->map_state != XCB_MAP_STATE_VIEWABLE || extents.size() != 4)
        return std::nullopt;
    // The toolkit's coordinates are the root's (one X screen, scale 1).
    const QRect client(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    return client.marginsAdded(QMargins(int(extents[0]), int(extents[2]), int(extents[1]), int(extents[3])));
}

bool X11OwnWindows::windowManagerEstimatesExtents()
{
    // Asked once: a window manager replaced meanwhile is rare, and one that stopped answering
    // costs a wait per window, no more.
    if (!m_estimatesExtents) {
        xcb_connection_t* c = m_x->connection();
        const auto cookie = xcb_get_property(c, 0, m_x->root(), m_x->atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 1024);
        const auto supported = replyOf(xcb_get_property_reply, c, cookie);
        m_estimatesExtents = containsAtom(cardinals(supported.get()), m_x->atom("_NET_REQUEST_FRAME_EXTENTS"));
    }
    return *m_estimatesExtents;
}

std::optional<QMargins> X11OwnWindows::frameExtents(WId id)
{
    if (!connected())
        return std::nullopt;
    std::lock_guard lock(m_x->mutex());
    if (!windowManagerEstimatesExtents())
        return std::nullopt;
    xcb_connection_t* c = m_x->connection();
    const auto window = xcb_window_t(id);
    const xcb_atom_t extentsAtom = m_x->atom("_NET_FRAME_EXTENTS");
    // This connection's own interest in the window's properties; the toolkit's is its own.
    const std::uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &watch);
    m_x->sendToRoot(window, m_x->atom("_NET_REQUEST_FRAME_EXTENTS"), 0);
    xcb_flush(c);
    const auto deadline = std::chrono::steady_clock::now() + extentsWait;
    const bool answered = propertyChangeBefore(c, window, extentsAtom, deadline).has_value();
    const std::uint32_t none = 0;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &none);
    const auto cookie = xcb_get_property(c, 0, window, extentsAtom, XCB_ATOM_CARDINAL, 0, 4);
    const auto reply = replyOf(xcb_get_property_reply, c, cookie);
    m_x->countRoundTrip();
    dropArrivedEvents(c);
    const auto values = cardinals(reply.get());
    if (!answered || values.size() != 4)
        return std::nullopt;
    // left, right, top, bottom
    return QMargins(int(values[0]), int(values[2]), int(values[1]), int(values[3]));
}

} // namespace zen
