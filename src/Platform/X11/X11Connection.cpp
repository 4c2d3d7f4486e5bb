#include "Platform/X11/X11Connection.h"

#include <xcb/randr.h>
#include <xcb/res.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zen {

namespace {

const char* const atomNames[] = {
    "UTF8_STRING", "WM_STATE", "WM_CHANGE_STATE", "EDID",
    "_NET_SUPPORTED", "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST",
    "_NET_ACTIVE_WINDOW", "_NET_CURRENT_DESKTOP", "_NET_MOVERESIZE_WINDOW", "_NET_RESTACK_WINDOW",
    "_NET_WM_NAME", "_NET_WM_PID", "_NET_WM_DESKTOP", "_NET_FRAME_EXTENTS", "_GTK_FRAME_EXTENTS",
    "_GTK_APPLICATION_ID", "_NET_WM_STRUT", "_NET_WM_STRUT_PARTIAL",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_SPLASH", "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND",
    "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN", "_NET_WM_STATE_MODAL",
    "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_USER_TIME", "_NET_REQUEST_FRAME_EXTENTS",
};

} // namespace

std::span<const std::uint32_t> cardinals(const xcb_get_property_reply_t* r, xcb_atom_t type)
{
    if (!r || r->format != 32 || (type != XCB_ATOM_ANY && r->type != type))
        return {};
    const int len = xcb_get_property_value_length(r);
    return {static_cast<const std::uint32_t*>(xcb_get_property_value(r)), std::size_t(len / 4)};
}

bool containsAtom(std::span<const std::uint32_t> list, xcb_atom_t atom)
{
    return atom != XCB_ATOM_NONE && std::find(list.begin(), list.end(), atom) != list.end();
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

std::optional<xcb_timestamp_t> propertyChangeBefore(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                                    std::chrono::steady_clock::time_point deadline)
{
    while (xcb_generic_event_t* event = nextEventBefore(c, deadline)) {
        const auto notify = *reinterpret_cast<xcb_property_notify_event_t*>(event);
        std::free(event);
        if ((notify.response_type & 0x7F) == XCB_PROPERTY_NOTIFY && notify.window == window && notify.atom == property)
            return notify.time;
    }
    return std::nullopt;
}

void dropArrivedEvents(xcb_connection_t* c)
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(c))
        std::free(event);
}

std::shared_ptr<X11Connection> X11Connection::open(const char* displayName)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return nullptr;
    }
    std::shared_ptr<X11Connection> conn(new X11Connection);
    conn->m_connection = c;

    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return nullptr;
    conn->m_root = it.data->root;

    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : atomNames)
        cookies.push_back(xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name));
    xcb_randr_query_version_cookie_t randrCookie = xcb_randr_query_version(c, 1, 5);
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    xcb_res_query_version_cookie_t resCookie {};
    if (res && res->present)
        resCookie = xcb_res_query_version(c, 1, 2);

    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (const auto r = replyOf(xcb_intern_atom_reply, c, cookies[i]))
            conn->m_atoms[std::string(atomNames[i])] = r->atom;
    }
    if (const auto r = replyOf(xcb_randr_query_version_reply, c, randrCookie))
        conn->m_randrMonitors = r->major_version > 1 || (r->major_version == 1 && r->minor_version >= 5);
    if (res && res->present) {
        if (const auto r = replyOf(xcb_res_query_version_reply, c, resCookie))
            conn->m_xres = r->server_major > 1 || (r->server_major == 1 && r->server_minor >= 2);
    }
    conn->countRoundTrip();
    return conn;
}

X11Connection::~X11Connection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t X11Connection::atom(const char* name) const
{
    auto it = m_atoms.find(std::string_view(name));
    return it == m_atoms.end() ? xcb_atom_t(XCB_ATOM_NONE) : it->second;
}

void X11Connection::sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1, std::uint32_t d2,
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
    xcb_send_event(m_connection, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
}

} // namespace zen
