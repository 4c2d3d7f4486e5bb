#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <qwindowdefs.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace zen {

class OwnWindows;

class UserDefaults;

// The dashboard window's constants and the one way to bring it up: an open dashboard window,
// found by its identifier, is brought forward; otherwise a new one is opened.
class DashboardWindowSupport {
public:
    DashboardWindowSupport() = delete;

    static QString sceneID() { return QStringLiteral("dashboard"); }
    // Carried as the window's object name, which is how it is found again.
    static QString identifier() { return QStringLiteral("ZentharionDashboardWindow"); }
    // The preference key under which the window's frame is kept.
    static QString frameAutosaveName() { return QStringLiteral("ZentharionDashboard"); }
    static QSize defaultSize() { return {940, 640}; }

    // Tags the window with the identifier and restores the frame saved under the name; false
    // when there was none (or it is unreadable), leaving the window where it was. A frame
    // mostly outside every monitor attached now, saved or kept, keeps its size, centred on the
    // primary monitor.
    static bool configure(QWidget& window, UserDefaults& defaults, const QString& name = frameAutosaveName());
    // Puts a window whose frame lies mostly outside every monitor the toolkit knows centred on
    // the primary monitor, keeping its size.
    static void keepOnMonitors(QWidget& window);
    // Whether more than half of the frame lies on the monitors.
    static bool mostlyOnMonitors(const QRect& frame, const std::vector<QRect>& monitors);
    static void saveFrame(const QWidget& window, UserDefaults& defaults,
                          const QString& name = frameAutosaveName());

    // Asks the window manager directly, as a pager does, to show a window of ours and give it
    // the keyboard (un-minimizing it and its own dialogs).
    using BringForward = std::function<void(WId)>;

    // The first shown top-level window carrying the identifier; null when there is none.
    static QWidget* existingWindow();
    // The modal dialog that holds the window's keyboard (a confirmation of its own, or an
    // application-modal prompt over it); null when there is none.
    static QWidget* blockingDialog(const QWidget& window);
    // Brings that window to the front (un-minimizing it, on a monitor still there) and gives
    // the keyboard to it, or to the dialog that blocks it; false when there is none. With
    // `bringForward`, the window manager is asked directly too.
    static bool focusExistingWindow(const BringForward& bringForward = {});
    // Focuses the open dashboard, else calls `openWindow` to make one.
    static void openOrFocusDashboard(const std::function<void()>& openWindow);

    // Where a window of `frameSize` goes: centred over `over` when given, else centred in
    // `available`; moved inside `available` as far as it fits.
    static QRect centredFrame(QSize frameSize, std::optional<QRect> over, const QRect& available);
    // Places a window the program opens on its own (the guide, Settings) when it is next shown:
    // centred over the visible dashboard, else on the monitor under the pointer, inside that
    // monitor's free area. Placed once, before it is mapped, frame included.
    static void placeCentred(QWidget& window);
    // Makes `dialog` a confirmation of its parent window: a dialog the window manager keeps
    // above that window, with a close button but no minimize or maximize, centred over that
    // window, frame included, each time it is shown.
    static void makeConfirmation(QWidget& dialog);
    // Where placing asks the window manager what frame a window will get; without it, the
    // frame of the program's other windows is taken.
    static void useOwnWindows(const std::shared_ptr<OwnWindows>& windows);
};

} // namespace zen
