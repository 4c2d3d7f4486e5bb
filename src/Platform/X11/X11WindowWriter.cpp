#include "Platform/X11/X11WindowWriter.h"

#include "Platform/X11/X11Connection.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace zen {

namespace {

constexpr std::uint32_t sourcePager = 2;
constexpr std::uint32_t northWestGravity = 1;
constexpr std::uint32_t stateRemove = 0;

// Frames laid into a display from saved ratios come out a hair off whole pixels (115 as
// 114.99999999999999): they go to the nearest pixel, never down.
std::uint32_t clampToCard16(double v)
{
    if (!std::isfinite(v) || v < 1)
        return 1;
    return std::uint32_t(std::lround(std::min(v, 32767.0)));
}

std::uint32_t asInt16(double v)
{
    if (!std::isfinite(v))
        v = 0;
    return std::uint32_t(std::int32_t(std::lround(std::clamp(v, -32768.0, 32767.0))));
}

bool isX11Coordinate(double v)
{
    return std::isfinite(v) && v >= -32767.0 && v <= 32767.0;
}

// Long enough for a busy server to answer, short enough that a missing answer costs little:
// the request then goes out with no timestamp instead.
constexpr std::chrono::milliseconds serverTimeWait {250};

// Nothing on this connection waits for events, and errors of unchecked requests (a window
// that vanished between the check and the request) arrive as events too: left alone they
// would pile up for as long as the program runs. Freed when a batch of requests ends, while
// the connection is still held.
class DrainOnExit {
public:
    explicit DrainOnExit(xcb_connection_t* connection) : m_connection(connection) {}
    ~DrainOnExit()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            std::free(event);
    }
    DrainOnExit(const DrainOnExit&) = delete;
    DrainOnExit& operator=(const DrainOnExit&) = delete;

private:
    xcb_connection_t* m_connection;
};

// The next event or error, or null once the deadline has passed or the connection broke.
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

X11WindowWriter::~X11WindowWriter()
{
    if (m_timeWindow && m_x.connection()) {
        xcb_destroy_window(m_x.connection(), m_timeWindow);
        xcb_flush(m_x.connection());
    }
}

bool X11WindowWriter::exists(xcb_window_t window)
{
    xcb_connection_t* c = m_x.connection();
    xcb_generic_error_t* e = nullptr;
    auto* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &e);
    m_x.countRoundTrip();
    const bool ok = r && !e;
    std::free(r);
    std::free(e);
    return ok;
}

bool X11WindowWriter::requestIfExists(xcb_window_t window, const std::function<void()>& request)
{
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    if (!exists(window))
        return false;
    request();
    xcb_flush(m_x.connection());
    return true;
}

void X11WindowWriter::sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1, std::uint32_t d2,
                                 std::uint32_t d3, std::uint32_t d4)
{
    xcb_client_message_event_t ev {};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = type;
    ev.data.data32[0] = d0;
    ev.data.data32[1] = d1;
    ev.data.data32[2] = d2;
    ev.data.data32[3] = d3;
    ev.data.data32[4] = d4;
    xcb_send_event(m_x.connection(), 0, m_x.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY, reinterpret_cast<const char*>(&ev));
}

bool X11WindowWriter::moveResize(const X11ClientWindow& w, CGPoint rootOrigin, const CGPoint* position, const CGSize* size)
{
    // The request carries 16-bit coordinates: a place beyond them (a layout file may hold any
    // number) would land somewhere else entirely, so it is refused, not clamped.
    if (position && !(isX11Coordinate(position->x + rootOrigin.x) && isX11Coordinate(position->y + rootOrigin.y)))
        return false;
    if (size && !(isX11Coordinate(size->width) && isX11Coordinate(size->height)))
        return false;
    return requestIfExists(w.id, [&] {
        // A maximized or full-screen window ignores geometry requests; it goes back to a normal
        // window first.
        if (w.fullscreen || w.maximized) {
            const xcb_atom_t state = m_x.atom("_NET_WM_STATE");
            sendToRoot(w.id, state, stateRemove, m_x.atom("_NET_WM_STATE_FULLSCREEN"), 0, sourcePager);
            sendToRoot(w.id, state, stateRemove, m_x.atom("_NET_WM_STATE_MAXIMIZED_VERT"), m_x.atom("_NET_WM_STATE_MAXIMIZED_HORZ"),
                       sourcePager);
        }
        const double l = w.extents[0], r = w.extents[1], t = w.extents[2], b = w.extents[3];
        std::uint32_t flags = northWestGravity | (sourcePager << 12);
        std::uint32_t x = 0, y = 0, width = 0, height = 0;
        if (position) {
            // With north-west gravity the window manager puts its frame's corner at (x, y); a
            // client drawing its own shadow has no frame, so its corner lies outside the shadow.
            const double dx = w.extentsAreClientSideShadow ? -l : 0, dy = w.extentsAreClientSideShadow ? -t : 0;
            x = asInt16(position->x + rootOrigin.x + dx);
            y = asInt16(position->y + rootOrigin.y + dy);
            flags |= (1u << 8) | (1u << 9);
        }
        if (size) {
            const double sign = w.extentsAreClientSideShadow ? 1 : -1;
            width = clampToCard16(size->width + sign * (l + r));
            height = clampToCard16(size->height + sign * (t + b));
            flags |= (1u << 10) | (1u << 11);
        }
        sendToRoot(w.id, m_x.atom("_NET_MOVERESIZE_WINDOW"), flags, x, y, width, height);
    });
}

bool X11WindowWriter::setMinimized(xcb_window_t window, bool minimized)
{
    return requestIfExists(window, [&] {
        if (minimized) {
            constexpr std::uint32_t iconicState = 3;
            sendToRoot(window, m_x.atom("WM_CHANGE_STATE"), iconicState);
        } else {
            // Mapping an iconic window is how ICCCM asks for it back.
            xcb_map_window(m_x.connection(), window);
        }
    });
}

bool X11WindowWriter::raise(xcb_window_t window)
{
    return requestIfExists(window, [&] {
        constexpr std::uint32_t above = 0;
        sendToRoot(window, m_x.atom("_NET_RESTACK_WINDOW"), sourcePager, XCB_NONE, above);
    });
}

bool X11WindowWriter::activate(xcb_window_t window)
{
    return requestIfExists(window, [&] {
        sendToRoot(window, m_x.atom("_NET_ACTIVE_WINDOW"), sourcePager, serverTime(), XCB_NONE);
    });
}

xcb_timestamp_t X11WindowWriter::serverTime()
{
    xcb_connection_t* c = m_x.connection();
    if (!m_timeWindow) {
        m_timeWindow = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_timeWindow, m_x.root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    }
    // Appending nothing to a property still makes the server report the change, stamped
    // with its current time.
    const xcb_atom_t property = m_x.atom("_NET_WM_USER_TIME");
    xcb_change_property(c, XCB_PROP_MODE_APPEND, m_timeWindow, property, XCB_ATOM_CARDINAL, 32, 0, nullptr);
    xcb_flush(c);
    // The connection is held while waiting: a notification that never comes must not keep
    // every other user of it waiting too.
    const auto deadline = std::chrono::steady_clock::now() + serverTimeWait;
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    while (xcb_generic_event_t* event = nextEventBefore(c, deadline)) {
        const bool found = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY
            && reinterpret_cast<xcb_property_notify_event_t*>(event)->window == m_timeWindow;
        if (found)
            time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
        std::free(event);
        if (found)
            break;
    }
    m_x.countRoundTrip();
    return time;
}

} // namespace zen
