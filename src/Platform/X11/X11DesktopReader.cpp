#include "Platform/X11/X11DesktopReader.h"

#include "Platform/AXAttributeValue.h"
#include "Platform/X11/X11Connection.h"
#include "Shared/StringExtensions.h"

#include <xcb/randr.h>
#include <xcb/res.h>

#include <QList>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <span>

namespace zen {

namespace {

// Titles are cut to maximumWindowTitleLength characters anyway: 4 KiB holds that many even
// when each takes the four bytes UTF-8 allows.
constexpr std::uint32_t titleLimitLongs = std::uint32_t(maximumWindowTitleLength);

XcbReply<xcb_get_property_reply_t> propertyReply(xcb_connection_t* c, xcb_get_property_cookie_t cookie)
{
    return replyOf(xcb_get_property_reply, c, cookie);
}

QByteArray bytes(const xcb_get_property_reply_t* r)
{
    if (!r || r->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
}

xcb_get_property_cookie_t getProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                                      std::uint32_t longs)
{
    return xcb_get_property(c, 0, w, property, type, 0, longs);
}

struct WindowCookies {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t translate;
    xcb_get_property_cookie_t pid, wmClass, netName, wmName, type, state, wmState, transient, frameExtents,
        gtkExtents, desktop, gtkAppId, strutPartial, strut, normalHints;
};

struct Strut {
    std::uint32_t left = 0, right = 0, top = 0, bottom = 0;
    std::uint32_t leftStart = 0, leftEnd = 0, rightStart = 0, rightEnd = 0;
    std::uint32_t topStart = 0, topEnd = 0, bottomStart = 0, bottomEnd = 0;
};

void describeType(X11ClientWindow& w, X11Connection& x, std::span<const std::uint32_t> types, bool modal, bool transient)
{
    // The first type we know wins, as EWMH orders them by preference.
    for (std::uint32_t t : types) {
        auto is = [&](const char* n) { return t == x.atom(n); };
        if (is("_NET_WM_WINDOW_TYPE_NORMAL"))
            break;
        if (is("_NET_WM_WINDOW_TYPE_DIALOG")) {
            w.role = AXRoleName::window;
            w.subrole = AXRoleName::dialog;
            if (modal && transient) {
                w.role = AXRoleName::sheet;
                w.subrole.reset();
            }
            return;
        }
        if (is("_NET_WM_WINDOW_TYPE_UTILITY") || is("_NET_WM_WINDOW_TYPE_TOOLBAR") || is("_NET_WM_WINDOW_TYPE_MENU")) {
            w.role = AXRoleName::window;
            w.subrole = AXRoleName::floatingWindow;
            return;
        }
        if (is("_NET_WM_WINDOW_TYPE_SPLASH") || is("_NET_WM_WINDOW_TYPE_NOTIFICATION")) {
            w.role = AXRoleName::window;
            w.subrole = AXRoleName::systemDialog;
            w.layer = is("_NET_WM_WINDOW_TYPE_SPLASH") ? 25 : 23;
            return;
        }
        if (is("_NET_WM_WINDOW_TYPE_DOCK") || is("_NET_WM_WINDOW_TYPE_DESKTOP")) {
            w.role = AXRoleName::window;
            w.layer = is("_NET_WM_WINDOW_TYPE_DOCK") ? 20 : -20;
            w.dockOrDesktop = true;
            return;
        }
        if (is("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU") || is("_NET_WM_WINDOW_TYPE_POPUP_MENU")
            || is("_NET_WM_WINDOW_TYPE_TOOLTIP") || is("_NET_WM_WINDOW_TYPE_COMBO") || is("_NET_WM_WINDOW_TYPE_DND")) {
            w.role = QStringLiteral("AXMenu");
            w.layer = 101;
            return;
        }
    }
    // Normal, or untyped: EWMH treats an untyped transient window as a dialog.
    if (types.empty() && transient) {
        w.role = modal ? AXRoleName::sheet : AXRoleName::window;
        if (!modal)
            w.subrole = AXRoleName::dialog;
        return;
    }
    w.role = AXRoleName::window;
    w.subrole = AXRoleName::standardWindow;
    w.normalType = true;
}

// The client windows the window manager manages, bottom to top as the server stacks them:
// those that carry the WM_STATE a window manager puts on each client it manages, normal or
// iconic. A reparenting window manager keeps each client inside a frame (a wrapper or two
// deep in some), so each top-level window is searched a few levels down, one round trip per
// level. What this costs is bounded by the windows that exist, which cost their makers
// server memory, not by ids anyone can write into a list.
std::vector<xcb_window_t> managedClientsBottomToTop(X11Connection& x)
{
    constexpr int searchDepth = 3;
    constexpr std::size_t windowsPerLevel = 8 * maximumClientWindowsPerReading;
    constexpr std::uint32_t normalState = 1, iconicState = 3;
    xcb_connection_t* c = x.connection();
    const xcb_atom_t wmState = x.atom("WM_STATE");
    auto rootTree = replyOf(xcb_query_tree_reply, c, xcb_query_tree(c, x.root()));
    x.countRoundTrip();
    if (!rootTree || wmState == XCB_ATOM_NONE)
        return {};
    const xcb_window_t* topLevels = xcb_query_tree_children(rootTree.get());
    const int topLevelCount = xcb_query_tree_children_length(rootTree.get());

    // Each window to look at, with the top-level window it lies in.
    struct Candidate {
        xcb_window_t window;
        int topLevel;
    };
    std::vector<Candidate> level;
    // The front-most top-levels when there are more than a level takes.
    for (int i = std::max(0, topLevelCount - int(windowsPerLevel)); i < topLevelCount; ++i)
        level.push_back({topLevels[i], i});
    std::vector<xcb_window_t> clientOf(std::size_t(topLevelCount), XCB_NONE);
    for (int depth = 0; depth < searchDepth && !level.empty(); ++depth) {
        const bool last = depth + 1 == searchDepth;
        std::vector<xcb_get_property_cookie_t> stateCookies;
        std::vector<xcb_query_tree_cookie_t> treeCookies;
        for (const Candidate& candidate : level) {
            stateCookies.push_back(getProperty(c, candidate.window, wmState, wmState, 1));
            if (!last)
                treeCookies.push_back(xcb_query_tree(c, candidate.window));
        }
        std::vector<Candidate> next;
        for (std::size_t i = 0; i < level.size(); ++i) {
            const auto stateReply = propertyReply(c, stateCookies[i]);
            const auto state = cardinals(stateReply.get(), wmState);
            const bool managed = !state.empty() && (state[0] == normalState || state[0] == iconicState);
            Candidate& candidate = level[i];
            if (managed && clientOf[std::size_t(candidate.topLevel)] == XCB_NONE)
                clientOf[std::size_t(candidate.topLevel)] = candidate.window;
            if (last)
                continue;
            auto tree = replyOf(xcb_query_tree_reply, c, treeCookies[i]);
            if (managed || !tree || clientOf[std::size_t(candidate.topLevel)] != XCB_NONE)
                continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int k = 0; k < xcb_query_tree_children_length(tree.get()) && next.size() < windowsPerLevel; ++k)
                next.push_back({children[k], candidate.topLevel});
        }
        x.countRoundTrip();
        level = std::move(next);
    }
    std::vector<xcb_window_t> clients;
    for (const xcb_window_t client : clientOf)
        if (client != XCB_NONE)
            clients.push_back(client);
    return clients;
}

// A list longer than the cap, bottom to top, as the clients it names that the window manager
// really manages, at most `maximumClientWindowsPerReading` of the front-most. Ids that name no
// window, or a window nobody manages (one a client made and never mapped), are left out before
// the cap applies: otherwise a client writing such ids in front of the real ones would hide
// every real window. When the list was cut at `maximumClientListLength`, managed clients it
// did not reach are kept too, below the rest in the server's stacking order.
std::vector<xcb_window_t> managedWindowsOfList(X11Connection& x, std::span<const std::uint32_t> bottomToTop,
                                               bool listWasCut)
{
    const std::vector<xcb_window_t> managed = managedClientsBottomToTop(x);
    std::set<xcb_window_t> remaining(managed.begin(), managed.end());
    std::vector<xcb_window_t> frontFirst;
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend() && frontFirst.size() < maximumClientWindowsPerReading; ++it)
        if (remaining.erase(*it) > 0)
            frontFirst.push_back(*it);
    if (listWasCut)
        for (auto it = managed.rbegin(); it != managed.rend() && frontFirst.size() < maximumClientWindowsPerReading; ++it)
            if (remaining.count(*it) > 0)
                frontFirst.push_back(*it);
    return {frontFirst.rbegin(), frontFirst.rend()};
}

} // namespace

QString decodeUtf8Property(const QByteArray& data)
{
    QByteArray b = data;
    // A cut-off title may end inside a multi-byte character; drop the incomplete tail.
    int i = int(b.size()) - 1, back = 0;
    while (i >= 0 && back < 4 && (static_cast<unsigned char>(b[i]) & 0xC0) == 0x80) {
        --i;
        ++back;
    }
    if (i >= 0) {
        const unsigned char lead = static_cast<unsigned char>(b[i]);
        const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead >= 0xC0 && back < need)
            b.truncate(i);
    }
    // Embedded NULs separate list items in some clients; the first item is the title.
    if (const qsizetype nul = b.indexOf('\0'); nul >= 0)
        b.truncate(nul);
    return QString::fromUtf8(b);
}

X11DesktopState readX11Desktop(X11Connection& x)
{
    X11DesktopState state;
    xcb_connection_t* c = x.connection();
    if (!c || xcb_connection_has_error(c))
        return state;
    const xcb_window_t root = x.root();

    // Batch 1: the root.
    const xcb_atom_t stackingAtom = x.atom("_NET_CLIENT_LIST_STACKING");
    auto stackingCookie = getProperty(c, root, stackingAtom, XCB_ATOM_WINDOW, maximumClientWindowsPerReading);
    auto currentDesktopCookie = getProperty(c, root, x.atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL, 1);
    auto activeCookie = getProperty(c, root, x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 1);
    auto checkCookie = getProperty(c, root, x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 1);
    auto rootGeometryCookie = xcb_get_geometry(c, root);
    xcb_randr_get_monitors_cookie_t monitorsCookie {};
    if (x.hasRandrMonitors())
        monitorsCookie = xcb_randr_get_monitors(c, root, 1);

    auto stackingReply = propertyReply(c, stackingCookie);
    auto currentDesktopReply = propertyReply(c, currentDesktopCookie);
    auto activeReply = propertyReply(c, activeCookie);
    auto checkReply = propertyReply(c, checkCookie);
    auto rootGeometry = replyOf(xcb_get_geometry_reply, c, rootGeometryCookie);
    XcbReply<xcb_randr_get_monitors_reply_t> monitorsReply;
    if (x.hasRandrMonitors())
        monitorsReply = replyOf(xcb_randr_get_monitors_reply, c, monitorsCookie);
    x.countRoundTrip();
    if (xcb_connection_has_error(c))
        return state;

    // EWMH lists bottom to top. A list longer than the cap is read whole (up to a bound of
    // its own) and only the windows the window manager manages count toward the cap.
    std::vector<xcb_window_t> listed; // bottom to top
    if (stackingReply && stackingReply->format == 32 && stackingReply->bytes_after > 0) {
        state.windowListTruncated = true;
        const std::uint32_t totalLongs = std::uint32_t(xcb_get_property_value_length(stackingReply.get()) / 4)
            + stackingReply->bytes_after / 4;
        const std::uint32_t longs = std::min(totalLongs, maximumClientListLength);
        stackingReply = propertyReply(
            c, xcb_get_property(c, 0, root, stackingAtom, XCB_ATOM_WINDOW, totalLongs - longs, longs));
        x.countRoundTrip();
        listed = managedWindowsOfList(x, cardinals(stackingReply.get(), XCB_ATOM_WINDOW), longs < totalLongs);
    } else {
        auto stacking = cardinals(stackingReply.get(), XCB_ATOM_WINDOW);
        if (stacking.size() > maximumClientWindowsPerReading) {
            state.windowListTruncated = true;
            listed = managedWindowsOfList(x, stacking, false);
        } else {
            listed.assign(stacking.begin(), stacking.end());
        }
    }
    std::optional<std::uint32_t> currentDesktop;
    if (auto d = cardinals(currentDesktopReply.get(), XCB_ATOM_CARDINAL); !d.empty())
        currentDesktop = d[0];
    if (auto a = cardinals(activeReply.get(), XCB_ATOM_WINDOW); !a.empty())
        state.activeWindow = a[0];
    const double rootWidth = rootGeometry ? rootGeometry->width : 0;
    const double rootHeight = rootGeometry ? rootGeometry->height : 0;

    // Batch 2: every window's requests, plus the monitors' names and EDID blocks and the
    // window manager's name.
    std::optional<xcb_get_property_cookie_t> wmNameCookie;
    if (auto check = cardinals(checkReply.get(), XCB_ATOM_WINDOW); !check.empty() && check[0] != 0)
        wmNameCookie = getProperty(c, check[0], x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"), 64);
    std::vector<xcb_window_t> windows(listed.rbegin(), listed.rend());
    std::vector<WindowCookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows) {
        WindowCookies k;
        k.attributes = xcb_get_window_attributes(c, w);
        k.geometry = xcb_get_geometry(c, w);
        k.translate = xcb_translate_coordinates(c, w, root, 0, 0);
        k.pid = getProperty(c, w, x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 1);
        k.wmClass = getProperty(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256);
        k.netName = getProperty(c, w, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"), titleLimitLongs);
        k.wmName = getProperty(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, titleLimitLongs);
        k.type = getProperty(c, w, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32);
        k.state = getProperty(c, w, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32);
        k.wmState = getProperty(c, w, x.atom("WM_STATE"), x.atom("WM_STATE"), 2);
        k.transient = getProperty(c, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1);
        k.frameExtents = getProperty(c, w, x.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
        k.gtkExtents = getProperty(c, w, x.atom("_GTK_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
        k.desktop = getProperty(c, w, x.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 1);
        k.gtkAppId = getProperty(c, w, x.atom("_GTK_APPLICATION_ID"), x.atom("UTF8_STRING"), 256);
        k.strutPartial = getProperty(c, w, x.atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 12);
        k.strut = getProperty(c, w, x.atom("_NET_WM_STRUT"), XCB_ATOM_CARDINAL, 4);
        k.normalHints = getProperty(c, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 18);
        cookies.push_back(k);
    }
    struct MonitorCookies {
        xcb_randr_monitor_info_t info;
        xcb_get_atom_name_cookie_t name;
        std::optional<xcb_randr_get_output_property_cookie_t> edid;
    };
    std::vector<MonitorCookies> monitorCookies;
    if (monitorsReply) {
        auto it = xcb_randr_get_monitors_monitors_iterator(monitorsReply.get());
        for (; it.rem; xcb_randr_monitor_info_next(&it)) {
            MonitorCookies m {*it.data, xcb_get_atom_name(c, it.data->name), std::nullopt};
            if (xcb_randr_monitor_info_outputs_length(it.data) > 0 && x.atom("EDID") != XCB_ATOM_NONE) {
                const xcb_randr_output_t output = xcb_randr_monitor_info_outputs(it.data)[0];
                m.edid = xcb_randr_get_output_property(c, output, x.atom("EDID"), XCB_ATOM_ANY, 0, 128, 0, 0);
            }
            monitorCookies.push_back(m);
        }
    }

    std::vector<Strut> struts;
    std::vector<X11ClientWindow> clients;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WindowCookies& k = cookies[i];
        X11ClientWindow w;
        w.id = windows[i];
        auto attributes = replyOf(xcb_get_window_attributes_reply, c, k.attributes);
        auto geometry = replyOf(xcb_get_geometry_reply, c, k.geometry);
        auto translated = replyOf(xcb_translate_coordinates_reply, c, k.translate);
        auto pid = propertyReply(c, k.pid);
        auto wmClass = propertyReply(c, k.wmClass);
        auto netName = propertyReply(c, k.netName);
        auto wmName = propertyReply(c, k.wmName);
        auto type = propertyReply(c, k.type);
        auto netState = propertyReply(c, k.state);
        auto wmState = propertyReply(c, k.wmState);
        auto transient = propertyReply(c, k.transient);
        auto frameExtents = propertyReply(c, k.frameExtents);
        auto gtkExtents = propertyReply(c, k.gtkExtents);
        auto desktop = propertyReply(c, k.desktop);
        auto gtkAppId = propertyReply(c, k.gtkAppId);
        auto strutPartial = propertyReply(c, k.strutPartial);
        auto strut = propertyReply(c, k.strut);
        auto normalHints = propertyReply(c, k.normalHints);
        // A window that has gone since the client list was read answers with errors only.
        if (!attributes)
            continue;

        w.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        if (auto p = cardinals(pid.get(), XCB_ATOM_CARDINAL); !p.empty() && p[0] > 0 && p[0] <= 0x7FFFFFFF)
            w.pid = std::int32_t(p[0]);
        const QByteArray cls = bytes(wmClass.get());
        const QList<QByteArray> parts = cls.split('\0');
        if (!parts.isEmpty())
            w.wmInstance = parts.value(0);
        w.wmClass = parts.value(1);
        if (netName && netName->format == 8 && netName->type == x.atom("UTF8_STRING"))
            w.title = decodeUtf8Property(bytes(netName.get()));
        else if (wmName && wmName->format == 8 && wmName->type != XCB_ATOM_NONE) {
            const QByteArray raw = bytes(wmName.get());
            w.title = wmName->type == x.atom("UTF8_STRING") ? decodeUtf8Property(raw)
                                                            : QString::fromLatin1(raw.left(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0')));
        }
        if (w.title)
            w.title = cappedWindowTitle(*w.title);
        if (const QByteArray id = bytes(gtkAppId.get()); !id.isEmpty())
            w.gtkApplicationId = decodeUtf8Property(id);

        const auto states = cardinals(netState.get(), XCB_ATOM_ATOM);
        const auto wmStateValues = cardinals(wmState.get(), x.atom("WM_STATE"));
        constexpr std::uint32_t iconicState = 3;
        w.minimized = containsAtom(states, x.atom("_NET_WM_STATE_HIDDEN")) || (!wmStateValues.empty() && wmStateValues[0] == iconicState);
        w.fullscreen = containsAtom(states, x.atom("_NET_WM_STATE_FULLSCREEN"));
        w.maximized = containsAtom(states, x.atom("_NET_WM_STATE_MAXIMIZED_VERT")) || containsAtom(states, x.atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
        w.skipTaskbar = containsAtom(states, x.atom("_NET_WM_STATE_SKIP_TASKBAR"));
        const bool sticky = containsAtom(states, x.atom("_NET_WM_STATE_STICKY"));
        const bool isTransient = !cardinals(transient.get(), XCB_ATOM_WINDOW).empty() && cardinals(transient.get(), XCB_ATOM_WINDOW)[0] != 0;
        describeType(w, x, cardinals(type.get(), XCB_ATOM_ATOM), containsAtom(states, x.atom("_NET_WM_STATE_MODAL")), isTransient);

        if (auto d = cardinals(desktop.get(), XCB_ATOM_CARDINAL); !d.empty() && currentDesktop)
            w.onCurrentDesktop = d[0] == 0xFFFFFFFF || d[0] == *currentDesktop || sticky;

        if (auto ext = cardinals(frameExtents.get(), XCB_ATOM_CARDINAL); ext.size() >= 4) {
            std::copy_n(ext.begin(), 4, w.extents);
        } else if (auto gtk = cardinals(gtkExtents.get(), XCB_ATOM_CARDINAL); gtk.size() >= 4) {
            std::copy_n(gtk.begin(), 4, w.extents);
            w.extentsAreClientSideShadow = true;
        }
        if (geometry && translated) {
            const double l = w.extents[0], r = w.extents[1], t = w.extents[2], b = w.extents[3];
            const double cx = translated->dst_x, cy = translated->dst_y;
            const double cw = geometry->width, ch = geometry->height;
            // Decorations drawn by the window manager lie outside the client window; the
            // shadow a client draws itself lies inside it and is not part of the window.
            w.frame = w.extentsAreClientSideShadow
                ? CGRect(cx + l, cy + t, std::max(0.0, cw - l - r), std::max(0.0, ch - t - b))
                : CGRect(cx - l, cy - t, cw + l + r, ch + t + b);
        }
        w.isOnScreen = w.viewable && w.onCurrentDesktop && !w.minimized;
        // The gravity counts only when the hints say it is set (PWinGravity); ICCCM's
        // gravities run from 1 to 10.
        constexpr std::uint32_t winGravityFlag = 1u << 9;
        if (auto hints = cardinals(normalHints.get(), XCB_ATOM_WM_SIZE_HINTS);
            hints.size() >= 18 && (hints[0] & winGravityFlag) && hints[17] >= 1 && hints[17] <= 10)
            w.gravity = hints[17];

        Strut s;
        if (auto p = cardinals(strutPartial.get(), XCB_ATOM_CARDINAL); p.size() >= 12) {
            s = {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11]};
            struts.push_back(s);
        } else if (auto p4 = cardinals(strut.get(), XCB_ATOM_CARDINAL); p4.size() >= 4) {
            const auto full = std::uint32_t(std::max(rootWidth, rootHeight));
            s = {p4[0], p4[1], p4[2], p4[3], 0, full, 0, full, 0, full, 0, full};
            struts.push_back(s);
        }
        clients.push_back(std::move(w));
    }
    if (wmNameCookie) {
        if (auto name = propertyReply(c, *wmNameCookie); name && name->format == 8)
            state.windowManagerName = decodeUtf8Property(bytes(name.get()));
    }
    for (MonitorCookies& m : monitorCookies) {
        X11Monitor mon;
        if (auto name = replyOf(xcb_get_atom_name_reply, c, m.name))
            mon.name = QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
        if (m.edid) {
            if (auto p = replyOf(xcb_randr_get_output_property_reply, c, *m.edid); p && p->format == 8)
                mon.edid = QByteArray(reinterpret_cast<const char*>(xcb_randr_get_output_property_data(p.get())),
                                      xcb_randr_get_output_property_data_length(p.get()));
        }
        mon.frame = CGRect(m.info.x, m.info.y, m.info.width, m.info.height);
        mon.primary = m.info.primary;
        state.monitors.push_back(mon);
    }
    x.countRoundTrip();

    // Batch 3: which process holds each client's connection, asked of the server once for
    // all clients. A window's _NET_WM_PID is only what the client claims: a made-up number
    // would hide its windows, and clients in another pid namespace claim numbers that mean
    // nothing here (two of them may claim the same one). The claim is used only where the
    // server cannot tell (no XRes, or a client connected over the network).
    if (!clients.empty() && x.hasXRes()) {
        const std::uint32_t idMask = xcb_get_setup(c)->resource_id_mask;
        auto clientBase = [idMask](std::uint32_t window) { return window & ~idMask & 0x1FFFFFFFu; };
        std::set<std::uint32_t> bases;
        std::vector<xcb_res_client_id_spec_t> specs;
        for (const X11ClientWindow& w : clients) {
            if (const std::uint32_t base = clientBase(w.id); base != 0 && bases.insert(base).second)
                specs.push_back({base, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
        }
        std::map<std::uint32_t, std::int32_t> pidByClient;
        if (!specs.empty()) {
            // One value per client connection, named by the connection's resource base.
            auto r = replyOf(xcb_res_query_client_ids_reply, c,
                             xcb_res_query_client_ids(c, std::uint32_t(specs.size()), specs.data()));
            x.countRoundTrip();
            for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); r && it.rem; xcb_res_client_id_value_next(&it)) {
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)
                    && xcb_res_client_id_value_value_length(it.data) >= 1) {
                    const std::uint32_t value = xcb_res_client_id_value_value(it.data)[0];
                    if (value > 0 && value <= 0x7FFFFFFF)
                        pidByClient[clientBase(it.data->spec.client)] = std::int32_t(value);
                }
            }
        }
        for (X11ClientWindow& w : clients) {
            if (auto found = pidByClient.find(clientBase(w.id)); found != pidByClient.end())
                w.pid = found->second;
        }
    }

    // Without monitors the whole root is one.
    if (state.monitors.empty() && rootWidth > 0 && rootHeight > 0)
        state.monitors.push_back({QByteArray("default"), CGRect(0, 0, rootWidth, rootHeight), {}, true, {}});
    // The monitor RandR calls primary, else the one at the root's corner, else the first.
    auto primary = std::ranges::find_if(state.monitors, &X11Monitor::primary);
    if (primary == state.monitors.end())
        primary = std::ranges::find_if(state.monitors,
                                       [](const X11Monitor& m) { return m.frame.minX() == 0 && m.frame.minY() == 0; });
    if (primary == state.monitors.end())
        primary = state.monitors.begin();
    if (primary != state.monitors.end())
        state.rootOrigin = primary->frame.origin;
    for (auto& m : state.monitors) {
        m.primary = &m == &*primary;
        CGRect v = m.frame;
        double minX = v.minX(), minY = v.minY(), maxX = v.maxX(), maxY = v.maxY();
        auto spans = [](double a0, double a1, double b0, double b1) { return a0 < b1 && b0 < a1; };
        for (const Strut& s : struts) {
            if (s.left && spans(s.leftStart, double(s.leftEnd) + 1, m.frame.minY(), m.frame.maxY()) && s.left > minX)
                minX = std::min<double>(s.left, maxX);
            if (s.right && spans(s.rightStart, double(s.rightEnd) + 1, m.frame.minY(), m.frame.maxY()) && rootWidth - s.right < maxX)
                maxX = std::max(rootWidth - s.right, minX);
            if (s.top && spans(s.topStart, double(s.topEnd) + 1, m.frame.minX(), m.frame.maxX()) && s.top > minY)
                minY = std::min<double>(s.top, maxY);
            if (s.bottom && spans(s.bottomStart, double(s.bottomEnd) + 1, m.frame.minX(), m.frame.maxX()) && rootHeight - s.bottom < maxY)
                maxY = std::max(rootHeight - s.bottom, minY);
        }
        m.visibleFrame = CGRect(minX, minY, maxX - minX, maxY - minY);
    }
    const double ox = state.rootOrigin.x, oy = state.rootOrigin.y;
    for (auto& m : state.monitors) {
        m.frame = CGRect(m.frame.minX() - ox, m.frame.minY() - oy, m.frame.width(), m.frame.height());
        m.visibleFrame = CGRect(m.visibleFrame.minX() - ox, m.visibleFrame.minY() - oy, m.visibleFrame.width(), m.visibleFrame.height());
    }
    for (auto& w : clients) {
        if (w.frame)
            w.frame = CGRect(w.frame->minX() - ox, w.frame->minY() - oy, w.frame->width(), w.frame->height());
    }
    state.windowsFrontFirst = std::move(clients);
    state.valid = true;
    return state;
}

} // namespace zen
