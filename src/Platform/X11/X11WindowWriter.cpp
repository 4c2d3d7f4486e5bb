#include "Platform/X11/X11WindowWriter.h"

#include "Platform/X11/X11Connection.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <set>

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
    ~DrainOnExit() { dropArrivedEvents(m_connection); }
    DrainOnExit(const DrainOnExit&) = delete;
    DrainOnExit& operator=(const DrainOnExit&) = delete;

private:
    xcb_connection_t* m_connection;
};

} // namespace

// How many of the first raises of a batch (back-most first) can be left out with the same
// outcome: raising the rest must leave the left-out windows, front-most first, right behind
// them at the top of the stack. Docks and desktops keep their own layers and don't count.
std::size_t raisesLeavingOrderAsItIs(const X11DesktopState& state, const std::vector<xcb_window_t>& raises)
{
    std::vector<xcb_window_t> stack;
    for (const auto& w : state.windowsFrontFirst) {
        if (!w.dockOrDesktop)
            stack.push_back(w.id);
    }
    const std::set<xcb_window_t> batch(raises.begin(), raises.end());
    if (batch.size() != raises.size())
        return 0;
    for (std::size_t skip = raises.size(); skip > 0; --skip) {
        const std::set<xcb_window_t> sent(raises.begin() + std::ptrdiff_t(skip), raises.end());
        std::size_t matched = 0;
        for (xcb_window_t id : stack) {
            if (sent.contains(id))
                continue;
            if (matched == skip || id != raises[skip - 1 - matched])
                break;
            ++matched;
        }
        if (matched == skip)
            return skip;
    }
    return 0;
}

X11WindowWriter::~X11WindowWriter()
{
    if (m_timeWindow && m_x.connection()) {
        xcb_destroy_window(m_x.connection(), m_timeWindow);
        xcb_flush(m_x.connection());
    }
}

std::vector<bool> X11WindowWriter::stillExist(const std::vector<xcb_window_t>& windows)
{
    xcb_connection_t* c = m_x.connection();
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back(xcb_get_window_attributes(c, w));
    xcb_flush(c);
    std::vector<bool> exist;
    exist.reserve(windows.size());
    for (const auto& cookie : cookies)
        exist.push_back(replyOf(xcb_get_window_attributes_reply, c, cookie) != nullptr);
    if (!windows.empty())
        m_x.countRoundTrip();
    return exist;
}

std::map<xcb_window_t, X11WindowWriter::Extents>
X11WindowWriter::leaveFullScreenAndMaximized(const std::vector<const X11ClientWindow*>& windows)
{
    xcb_connection_t* c = m_x.connection();
    const xcb_atom_t stateAtom = m_x.atom("_NET_WM_STATE");
    const xcb_atom_t extentsAtom = m_x.atom("_NET_FRAME_EXTENTS");
    const xcb_atom_t fullscreen = m_x.atom("_NET_WM_STATE_FULLSCREEN");
    const xcb_atom_t maxVert = m_x.atom("_NET_WM_STATE_MAXIMIZED_VERT");
    const xcb_atom_t maxHorz = m_x.atom("_NET_WM_STATE_MAXIMIZED_HORZ");

    struct Pending {
        Extents extents;
        bool normal = false;
        bool extentsChanged = false;
        std::optional<std::chrono::steady_clock::time_point> normalSince;
    };
    std::map<xcb_window_t, Pending> pending;
    // Watched before asking, so that no change can slip past unseen.
    const std::uint32_t watch = XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (const X11ClientWindow* w : windows) {
        pending[w->id].extents = {w->extents[0], w->extents[1], w->extents[2], w->extents[3]};
        xcb_change_window_attributes(c, w->id, XCB_CW_EVENT_MASK, &watch);
        m_x.sendToRoot(w->id, stateAtom, stateRemove, fullscreen, 0, sourcePager);
        m_x.sendToRoot(w->id, stateAtom, stateRemove, maxVert, maxHorz, sourcePager);
    }

    // Reads the state and extents of the windows named; a window that has gone counts as done.
    auto readBack = [&](const std::vector<xcb_window_t>& ids) {
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
        for (xcb_window_t id : ids)
            cookies.emplace_back(xcb_get_property(c, 0, id, stateAtom, XCB_ATOM_ATOM, 0, 32),
                                 xcb_get_property(c, 0, id, extentsAtom, XCB_ATOM_CARDINAL, 0, 4));
        xcb_flush(c);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            Pending& p = pending[ids[i]];
            const auto state = replyOf(xcb_get_property_reply, c, cookies[i].first);
            const auto extents = replyOf(xcb_get_property_reply, c, cookies[i].second);
            const auto atoms = cardinals(state.get());
            const bool normal =
                !containsAtom(atoms, fullscreen) && !containsAtom(atoms, maxVert) && !containsAtom(atoms, maxHorz);
            if (const auto values = cardinals(extents.get()); values.size() >= 4)
                std::copy_n(values.begin(), 4, p.extents.begin());
            if (!state)
                p.extentsChanged = true; // gone: nothing to wait for
            if (normal && !p.normalSince)
                p.normalSince = std::chrono::steady_clock::now();
            p.normal = normal;
        }
        m_x.countRoundTrip();
    };
    // The window manager announces the new state before it sets the new extents; a window
    // whose extents do not change gets no second notice, so the extents are waited for only
    // a moment after the state.
    constexpr auto extentsGrace = std::chrono::milliseconds(100);
    constexpr auto stateWait = std::chrono::milliseconds(1000);
    const auto deadline = std::chrono::steady_clock::now() + stateWait;
    auto done = [&](const Pending& p, std::chrono::steady_clock::time_point now) {
        return p.normal && (p.extentsChanged || (p.normalSince && now - *p.normalSince >= extentsGrace));
    };

    std::vector<xcb_window_t> all;
    for (const auto& [id, p] : pending)
        all.push_back(id);
    readBack(all);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        auto wakeAt = deadline;
        bool allDone = true;
        for (const auto& [id, p] : pending) {
            if (done(p, now))
                continue;
            allDone = false;
            if (p.normalSince)
                wakeAt = std::min(wakeAt, *p.normalSince + extentsGrace);
        }
        if (allDone || now >= deadline)
            break;
        std::vector<xcb_window_t> changed;
        xcb_generic_event_t* event = nextEventBefore(c, wakeAt);
        while (event) {
            if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* n = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (auto it = pending.find(n->window); it != pending.end() && (n->atom == stateAtom || n->atom == extentsAtom)) {
                    if (n->atom == extentsAtom)
                        it->second.extentsChanged = true;
                    if (std::find(changed.begin(), changed.end(), n->window) == changed.end())
                        changed.push_back(n->window);
                }
            }
            std::free(event);
            event = xcb_poll_for_event(c);
        }
        if (!changed.empty())
            readBack(changed);
    }
    const std::uint32_t none = 0;
    std::map<xcb_window_t, Extents> extents;
    for (const auto& [id, p] : pending) {
        xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &none);
        extents[id] = p.extents;
    }
    return extents;
}

bool X11WindowWriter::appliesConfigureRequestsExactly(const QString& windowManagerName)
{
    // Openbox reads a plain request's place by the window's gravity and carries it out as it
    // does the message (the writer's live tests place windows of several gravities under it).
    // Window managers differ here, some ignoring a client's place once it is mapped, so any
    // other gets the message, which EWMH defines for exactly this.
    return windowManagerName == QLatin1String("Openbox");
}

namespace {

constexpr std::uint32_t northWestWinGravity = 1;
constexpr std::uint32_t staticWinGravity = 10;

// Where a plain configure request puts the client for a frame corner at (x, y), by the
// window's own gravity; none where that takes arithmetic the window manager might round
// differently, or where the request would look like a known fault of old clients.
std::optional<std::pair<std::int32_t, std::int32_t>> plainRequestPlace(const X11ClientWindow& w, CGPoint rootOrigin,
                                                                      std::int32_t x, std::int32_t y, std::uint32_t width,
                                                                      std::uint32_t height)
{
    // A client drawing its own shadow has no frame to place.
    if (w.extentsAreClientSideShadow || !w.frame || !w.frame->isFinite())
        return std::nullopt;
    const auto l = std::int32_t(w.extents[0]), t = std::int32_t(w.extents[2]);
    std::int32_t px = x, py = y;
    if (w.gravity == staticWinGravity) {
        // The client's own corner stays where it is asked to be: the frame's corner inside
        // the decorations.
        px += l;
        py += t;
    } else if (w.gravity != northWestWinGravity) {
        return std::nullopt;
    }
    // Old clients asked to stay put by sending their client corner with north-west gravity,
    // which would move them by their decorations; window managers ignore a request that
    // names the client's current corner and keeps its size. A placement that happens to ask
    // exactly that goes as the message.
    const CGRect& f = *w.frame;
    const auto clientX = std::int32_t(std::lround(f.x() + rootOrigin.x)) + l;
    const auto clientY = std::int32_t(std::lround(f.y() + rootOrigin.y)) + t;
    const auto clientWidth = std::int64_t(std::lround(f.width())) - l - std::int64_t(w.extents[1]);
    const auto clientHeight = std::int64_t(std::lround(f.height())) - t - std::int64_t(w.extents[3]);
    if (px == clientX && py == clientY && std::int64_t(width) == clientWidth && std::int64_t(height) == clientHeight)
        return std::nullopt;
    if (px < -32768 || px > 32767 || py < -32768 || py > 32767)
        return std::nullopt;
    return std::pair(px, py);
}

} // namespace

void X11WindowWriter::sendMoveResize(const X11ClientWindow& w, const Extents& extents, CGPoint rootOrigin, const CGPoint* position,
                                     const CGSize* size, bool plainRequests)
{
    const double l = extents[0], r = extents[1], t = extents[2], b = extents[3];
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
    if (plainRequests && position && size) {
        if (const auto place = plainRequestPlace(w, rootOrigin, std::int32_t(x), std::int32_t(y), width, height)) {
            const std::uint32_t values[] = {std::uint32_t(place->first), std::uint32_t(place->second), width, height};
            xcb_configure_window(m_x.connection(), w.id,
                                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                 values);
            return;
        }
    }
    m_x.sendToRoot(w.id, m_x.atom("_NET_MOVERESIZE_WINDOW"), flags, x, y, width, height);
}

namespace {

// The request carries 16-bit coordinates: a place beyond them (a layout file may hold any
// number) would land somewhere else entirely, so it is refused, not clamped.
bool isSendable(CGPoint rootOrigin, const CGPoint* position, const CGSize* size)
{
    if (position && !(isX11Coordinate(position->x + rootOrigin.x) && isX11Coordinate(position->y + rootOrigin.y)))
        return false;
    return !size || (isX11Coordinate(size->width) && isX11Coordinate(size->height));
}

} // namespace

bool X11WindowWriter::moveResize(const X11ClientWindow& w, CGPoint rootOrigin, const CGPoint* position, const CGSize* size,
                                 bool plainRequests)
{
    if (!isSendable(rootOrigin, position, size))
        return false;
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    Extents extents {w.extents[0], w.extents[1], w.extents[2], w.extents[3]};
    // A maximized or full-screen window ignores geometry requests; it goes back to a normal
    // window first.
    // Only a window that stays as it was read may take the plain request: where it goes is
    // worked out from the frame and decorations of the reading.
    const bool leaving = w.fullscreen || w.maximized;
    if (leaving)
        extents = leaveFullScreenAndMaximized({&w})[w.id];
    sendMoveResize(w, extents, rootOrigin, position, size, plainRequests && !leaving);
    return stillExist({w.id}).front();
}

std::vector<bool> X11WindowWriter::place(const std::vector<Placement>& placements, CGPoint rootOrigin, bool plainRequests)
{
    std::vector<bool> results(placements.size(), false);
    std::vector<std::size_t> sendable;
    std::vector<const X11ClientWindow*> leaving;
    for (std::size_t i = 0; i < placements.size(); ++i) {
        const Placement& p = placements[i];
        if (!isSendable(rootOrigin, &p.frame.origin, &p.frame.size))
            continue;
        sendable.push_back(i);
        if (p.window.fullscreen || p.window.maximized)
            leaving.push_back(&p.window);
    }
    if (sendable.empty())
        return results;
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    const auto normalExtents = leaving.empty() ? std::map<xcb_window_t, Extents> {} : leaveFullScreenAndMaximized(leaving);
    std::vector<xcb_window_t> sent;
    sent.reserve(sendable.size());
    for (std::size_t i : sendable) {
        const Placement& p = placements[i];
        const X11ClientWindow& w = p.window;
        // Mapping an iconic window is how ICCCM asks for it back; position and size follow in
        // one request.
        if (p.unminimize)
            xcb_map_window(m_x.connection(), w.id);
        const auto found = normalExtents.find(w.id);
        const Extents extents = found != normalExtents.end() ? found->second : Extents {w.extents[0], w.extents[1], w.extents[2], w.extents[3]};
        sendMoveResize(w, extents, rootOrigin, &p.frame.origin, &p.frame.size,
                       plainRequests && !p.unminimize && found == normalExtents.end());
        sent.push_back(w.id);
    }
    const std::vector<bool> exist = stillExist(sent);
    for (std::size_t k = 0; k < sendable.size(); ++k)
        results[sendable[k]] = exist[k];
    return results;
}

bool X11WindowWriter::setMinimized(xcb_window_t window, bool minimized)
{
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    if (minimized) {
        constexpr std::uint32_t iconicState = 3;
        m_x.sendToRoot(window, m_x.atom("WM_CHANGE_STATE"), iconicState);
    } else {
        // Mapping an iconic window is how ICCCM asks for it back.
        xcb_map_window(m_x.connection(), window);
    }
    return stillExist({window}).front();
}

bool X11WindowWriter::raise(xcb_window_t window)
{
    return raiseAll({window}).front();
}

std::vector<bool> X11WindowWriter::raiseAll(const std::vector<xcb_window_t>& windows, std::size_t unchanged)
{
    if (windows.empty())
        return {};
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    constexpr std::uint32_t above = 0;
    for (std::size_t i = unchanged; i < windows.size(); ++i)
        m_x.sendToRoot(windows[i], m_x.atom("_NET_RESTACK_WINDOW"), sourcePager, XCB_NONE, above);
    return stillExist(windows);
}

bool X11WindowWriter::activate(xcb_window_t window)
{
    std::lock_guard lock(m_x.mutex());
    DrainOnExit drain(m_x.connection());
    xcb_connection_t* c = m_x.connection();
    // Asked before the time, so its answer is in by the time the time is: one wait for both.
    const auto cookie = xcb_get_window_attributes(c, window);
    const xcb_timestamp_t time = serverTime();
    if (!replyOf(xcb_get_window_attributes_reply, c, cookie))
        return false;
    m_x.sendToRoot(window, m_x.atom("_NET_ACTIVE_WINDOW"), sourcePager, time, XCB_NONE);
    xcb_flush(c);
    return true;
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
    const auto time = propertyChangeBefore(c, m_timeWindow, property, deadline);
    m_x.countRoundTrip();
    return time.value_or(XCB_CURRENT_TIME);
}

} // namespace zen
