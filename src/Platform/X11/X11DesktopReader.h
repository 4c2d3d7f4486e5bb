#pragma once

#include "Shared/Geometry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

class X11Connection;

// One managed client window as read in one pass.
struct X11ClientWindow {
    std::uint32_t id = 0;
    std::optional<std::int32_t> pid;
    QByteArray wmInstance;
    QByteArray wmClass;
    std::optional<QString> gtkApplicationId;
    std::optional<QString> title;
    // The outer frame in the global space; absent when the geometry could not be read.
    std::optional<CGRect> frame;
    // What the window manager adds around the client (left, right, top, bottom).
    std::uint32_t extents[4] = {0, 0, 0, 0};
    bool extentsAreClientSideShadow = false;
    // The window's own gravity (WM_NORMAL_HINTS), by which a window manager reads the place of
    // a plain configure request; north-west when the window sets none.
    std::uint32_t gravity = 1;
    QString role;
    std::optional<QString> subrole;
    std::int64_t layer = 0;
    bool viewable = false;
    bool minimized = false;
    bool fullscreen = false;
    bool maximized = false;
    bool skipTaskbar = false;
    bool normalType = false;
    bool dockOrDesktop = false;
    bool onCurrentDesktop = true;
    bool isOnScreen = false;
};

struct X11Monitor {
    QByteArray name;
    CGRect frame;         // in the global space
    CGRect visibleFrame;  // less the docks' struts
    bool primary = false;
    QByteArray edid;      // empty when the monitor's output has none
};

// The desktop as one consistent reading: clients front-most first, monitors, and the root
// offset that turns root coordinates into the global space.
// How many client windows one reading takes at most: far above any real desktop, and low
// enough that a client filling the list with invented ids can't hold the connection for
// seconds. A longer list counts only the windows the window manager manages (mapped or
// minimized) toward it, so neither invented ids nor windows a client never maps can push the
// real ones out; beyond it the front-most are read and the reading says it was cut.
inline constexpr std::uint32_t maximumClientWindowsPerReading = 4096;
// How many ids of a longer list are read: thirty-two times the cap, half a megabyte of ids;
// managed windows beyond it are taken in the server's stacking order.
inline constexpr std::uint32_t maximumClientListLength = 32 * maximumClientWindowsPerReading;

struct X11DesktopState {
    std::vector<X11ClientWindow> windowsFrontFirst;
    // The window manager listed more clients than maximumClientWindowsPerReading.
    bool windowListTruncated = false;
    std::vector<X11Monitor> monitors;
    std::uint32_t activeWindow = 0;
    CGPoint rootOrigin; // root coordinates of the global origin (the primary's top-left)
    // The name the window manager gives itself (_NET_WM_NAME of its check window); empty when
    // it gives none.
    QString windowManagerName;
    bool valid = false;
};

// Reads the whole desktop with pipelined requests: the root's properties first, then every
// request for every window, then the replies; a window that vanishes half-way is left out.
X11DesktopState readX11Desktop(X11Connection& connection);

// Texts of window properties: invalid UTF-8 becomes replacement characters, and titles
// longer than the read limit are cut at a character boundary.
QString decodeUtf8Property(const QByteArray& bytes);

} // namespace zen
