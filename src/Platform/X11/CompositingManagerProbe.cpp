#include "Platform/X11/CompositingManagerProbe.h"

#include "Platform/X11/X11Connection.h"

#include <QByteArray>
#include <QGuiApplication>

#include <algorithm>

namespace zen {

bool compositingManagerRunning()
{
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = application ? application->connection() : nullptr;
    if (!connection)
        return false;
    // The screen number of DISPLAY (":1.2" → 2); 0 when it names none.
    char* host = nullptr;
    int display = 0, screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen))
        std::free(host);
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(std::max(screen, 0));
    const auto atom = replyOf(xcb_intern_atom_reply, connection, xcb_intern_atom(connection, 1, name.size(), name.constData()));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const auto owner = replyOf(xcb_get_selection_owner_reply, connection, xcb_get_selection_owner(connection, atom->atom));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace zen
