#include "Platform/X11/X11OwnWindows.h"

#include "Platform/X11/X11Connection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace zen {

namespace {

constexpr std::uint32_t iconicState = 3; // ICCCM WM_STATE

// A window manager answers an estimate at once; a busy one may take a moment, and one that does
// not answer at all must not hold up the window that waits to be shown.
constexpr std::chrono::milliseconds extentsWait {400};

template <typename Reply>
struct Freed {
    Reply* reply = nullptr;
    ~Freed() { std::free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

std::vector<std::uint32_t> cardinals(xcb_get_property_reply_t* reply)
{
    if (!reply || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return {values, values + xcb_get_property_value_length(reply) / 4};
}

xcb_generic_event_t* nextEventBefore(xcb_connection_t* c, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(c))
            return event;
        if (xcb_connection_has_error(c))
            return nullptr;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return nullptr;
        pollfd descriptor {xcb_get_file_descriptor(c), POLLIN, 0};
        if (::poll(&descriptor, 1, int(left.count())) < 0 && errno != EINTR)
            return nullptr;
    }
}

} // namespace

X11OwnWindows::X11OwnWindows() = default;

bool X11OwnWindows::connected()
{
    if (!m_x) {
        m_x = X11Connection::open();
        if (!m_x)
            return false;
        static constexpr char name[] = "_NET_REQUEST_FRAME_EXTENTS";
        xcb_connection_t* c = m_x->connection();
        Freed<xcb_intern_atom_reply_t> atom {
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr)};
        if (atom)
            m_requestExtents = atom->atom;
    }
    return true;
}

X11OwnWindows::~X11OwnWindows() = default;

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
    Freed<xcb_get_property_reply_t> wm {xcb_get_property_reply(c, wmStateCookie, nullptr)};
    Freed<xcb_get_property_reply_t> net {xcb_get_property_reply(c, netStateCookie, nullptr)};
    Freed<xcb_get_property_reply_t> active {xcb_get_property_reply(c, activeCookie, nullptr)};
    m_x->countRoundTrip();
    if (!wm)
        return std::nullopt; // the window is gone, or the connection
    OwnWindowState state;
    const auto wmValues = cardinals(wm.reply);
    const auto netValues = cardinals(net.reply);
    state.minimized = (!wmValues.empty() && wmValues.front() == iconicState)
        || std::find(netValues.begin(), netValues.end(), m_x->atom("_NET_WM_STATE_HIDDEN")) != netValues.end();
    const auto activeValues = cardinals(active.reply);
    state.activeWindow = activeValues.empty() ? 0 : WId(activeValues.front());
    return state;
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
    Freed<xcb_get_window_attributes_reply_t> attributes {xcb_get_window_attributes_reply(c, attributesCookie, nullptr)};
    Freed<xcb_get_geometry_reply_t> geometry {xcb_get_geometry_reply(c, geometryCookie, nullptr)};
    Freed<xcb_translate_coordinates_reply_t> origin {xcb_translate_coordinates_reply(c, originCookie, nullptr)};
    Freed<xcb_get_property_reply_t> extentsReply {xcb_get_property_reply(c, extentsCookie, nullptr)};
    m_x->countRoundTrip();
    const auto extents = cardinals(extentsReply.reply);
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
        Freed<xcb_get_property_reply_t> supported {xcb_get_property_reply(c, cookie, nullptr)};
        const auto atoms = cardinals(supported.reply);
        m_estimatesExtents = m_requestExtents != XCB_ATOM_NONE
            && std::find(atoms.begin(), atoms.end(), m_requestExtents) != atoms.end();
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
    xcb_client_message_event_t request {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = m_requestExtents;
    xcb_send_event(c, 0, m_x->root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(c);
    const auto deadline = std::chrono::steady_clock::now() + extentsWait;
    bool answered = false;
    while (xcb_generic_event_t* event = nextEventBefore(c, deadline)) {
        const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        answered = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY && notify->window == window
            && notify->atom == extentsAtom;
        std::free(event);
        if (answered)
            break;
    }
    const std::uint32_t none = 0;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &none);
    const auto cookie = xcb_get_property(c, 0, window, extentsAtom, XCB_ATOM_CARDINAL, 0, 4);
    Freed<xcb_get_property_reply_t> reply {xcb_get_property_reply(c, cookie, nullptr)};
    m_x->countRoundTrip();
    while (xcb_generic_event_t* event = xcb_poll_for_event(c))
        std::free(event);
    const auto values = cardinals(reply.reply);
    if (!answered || values.size() != 4)
        return std::nullopt;
    // left, right, top, bottom
    return QMargins(int(values[0]), int(values[2]), int(values[1]), int(values[3]));
}

} // namespace zen
