#include "Platform/X11/X11Connection.h"

#include <xcb/randr.h>
#include <xcb/res.h>

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
    "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_USER_TIME",
};

} // namespace

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
        xcb_generic_error_t* e = nullptr;
        if (auto* r = xcb_intern_atom_reply(c, cookies[i], &e)) {
            conn->m_atoms[std::string(atomNames[i])] = r->atom;
            std::free(r);
        }
        std::free(e);
    }
    xcb_generic_error_t* e = nullptr;
    if (auto* r = xcb_randr_query_version_reply(c, randrCookie, &e)) {
        conn->m_randrMonitors = r->major_version > 1 || (r->major_version == 1 && r->minor_version >= 5);
        std::free(r);
    }
    std::free(e);
    if (res && res->present) {
        e = nullptr;
        if (auto* r = xcb_res_query_version_reply(c, resCookie, &e)) {
            conn->m_xres = r->server_major > 1 || (r->server_major == 1 && r->server_minor >= 2);
            std::free(r);
        }
        std::free(e);
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

} // namespace zen
