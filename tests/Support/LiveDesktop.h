#pragma once

// What the live tests need of a real X server and desktop: waiting with the event loop
// running, real pointer and key input through XTEST, where windows are on the root window,
// the program's tray icon and floating panels, screenshots, and the tray and window manager
// processes to start.
#include "Platform/PlatformServices.h"
#include "Snapshots/Snapshot.h"
#include "Support/ImageChecks.h"
#include "WindowDiscovery/DiscoveredApplication.h"

#include <QImage>
#include <QObject>
#include <QProcessEnvironment>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace zen {
class X11Platform;
}

namespace zen::testsupport {

// Polls `done` with the event loop running until it holds or the time is up.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 15000, int stepMs = 20);

// Waits until `process` has ended. After a program of the sanitized build has ended (its
// windows gone at once), the kernel still has to take down its memory before the process is
// over and lets go of its lock and bus name: on a loaded machine that took up to 13 s.
bool waitUntilEnded(QProcess& process, int timeoutMs = 30000);

// Waits until `area` is not empty and holds still over several polls (a tray lays its icons
// out after taking them in); empty when it never did.
QRect waitUntilSettled(const std::function<QRect()>& area, int timeoutMs = 15000);

// Runs `act` once `find` yields a widget that is on screen, polling from the event loop, so that it also
// works while a modal dialog or a popup menu runs its own loop. The poll ends when the returned
// handle goes, so a widget that never came cannot act on a test that has moved on.
[[nodiscard]] std::unique_ptr<QObject> whenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> act);

// Evdev keycodes of the keymap Xvfb loads.
namespace keycode {
constexpr xcb_keycode_t returnKey = 36, controlLeft = 37, altLeft = 64, l = 46, n = 57;
}

// A connection of its own to the X server, for input and for reading window state as other
// programs see it.
class XSession {
public:
    // The display named like ":1", or the one $DISPLAY names.
    explicit XSession(const QString& display = {});
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool isOpen() const { return m_connection && !xcb_connection_has_error(m_connection); }
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    void movePointer(QPoint global);
    // Moves there, lets the toolkit see the motion, then presses and releases `count` times.
    void click(QPoint global, std::uint8_t button = 1, int count = 1);
    void click(QWidget* widget, QPoint local, std::uint8_t button = 1, int count = 1);
    void click(QWidget* widget);
    void button(std::uint8_t type, std::uint8_t button = 1);
    // Presses the keys in order and releases them in reverse, as a chord.
    void pressChord(std::initializer_list<xcb_keycode_t> keys);
    void key(xcb_keycode_t code, bool withControl = false);

    xcb_atom_t atom(const char* name);
    // The property's bytes; empty when the window has none of that type.
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    // Where the X server has the window (an embedded tray icon is no top-level to Qt).
    QPoint rootPosition(xcb_window_t window);
    QPoint rootPosition(QWidget* widget);
    QRect rootGeometry(xcb_window_t window);
    bool isEmbedded(QWidget* widget);
    // The title the X server holds for the window, as other programs read it.
    QString title(xcb_window_t window);
    bool ownsSelection(const char* selection);

    // Whether the window has the program's WM_CLASS.
    bool isProgramWindow(xcb_window_t window);
    // The program's icon inside a tray: a window of its class that some window other than the
    // root took in, and not one of its own windows in a window manager's frame.
    std::optional<xcb_window_t> programTrayIcon();
    int embeddedProgramWindows();
    // The program's windows that the window manager does not manage (its floating panels and
    // menus) and that are on screen now.
    std::vector<xcb_window_t> programPopups();
    std::vector<QRect> programPanels();

    // What the monitors show in that area of the root, as the X server holds it; null when it
    // could not be read.
    QImage grab(const QRect& rootArea);
    // Whether the window shows content of its own: its area differs from what `before` (a grab
    // of the root taken before the window came) showed there. A mapped window that the program
    // has not drawn yet still shows what lay beneath. A menu is drawn once the toolkit has been
    // told it is exposed, and from then on it takes the keys.
    bool drawnOver(xcb_window_t window, const QImage& before);
    // The program's popup (its open menu) once drawn over `before`.
    std::optional<xcb_window_t> drawnProgramPopup(const QImage& before);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};

// What is on the monitors now, as a person sees it; null when it could not be taken.
QImage rootScreenshot();
// One window as the X server shows it.
QImage windowScreenshot(xcb_window_t window);

// Screenshots go to $ZEN_SCREENSHOT_DIR when set (to look at them), else to a folder that
// goes away with the test.
class ScreenshotFolder {
public:
    QString path() const;
    QString save(const QImage& image, const QString& name) const;

private:
    QTemporaryDir m_temporary;
};

bool hasTool(const char* program);

// A system tray (trayer) at the top right, ended when this goes.
class TrayProcess {
public:
    TrayProcess();
    ~TrayProcess();
    bool started() const { return m_started; }

private:
    QProcess m_process;
    bool m_started = false;
};

// Data, config and runtime folders of a program run of its own.
class ProgramHome {
public:
    ProgramHome();
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }
    QString settingsFile() const { return filePath(QStringLiteral("config/Zentharion/Zentharion.conf")); }
    QString snapshotsFolder() const { return filePath(QStringLiteral("data/Zentharion/Snapshots")); }
    // A returning user: the program starts in the tray alone, without the first-launch guide.
    void markOnboardingDone() const;

private:
    QTemporaryDir m_dir;
};

// The program (or another build of it next to the tests) on the X server with `home`'s
// folders; ended when the result goes. It sees no session bus unless given one, so that a
// test never meets a copy on the bus of the desktop the tests run in.
struct ProgramProcess {
    explicit ProgramProcess(const ProgramHome& home, const QString& executable = QStringLiteral("zentharion"));
    // With these variables added to its environment.
    ProgramProcess(const ProgramHome& home, const QProcessEnvironment& extra,
                   const QString& executable = QStringLiteral("zentharion"));
    // The program with arguments, on the session bus at `sessionBusAddress`, with `extra`
    // added to its environment.
    ProgramProcess(const ProgramHome& home, const QString& sessionBusAddress, const QStringList& arguments,
                   const QProcessEnvironment& extra = {});
    ~ProgramProcess();
    QProcess process;
};

// The program logs a line each time it has grabbed its layouts' shortcuts, when its start-up
// category logs information: this rule in QT_LOGGING_RULES. From that line on, a press of a
// shortcut reaches it.
inline constexpr char shortcutsLoggingRule[] = "com.zentharion.app.app.info=true";
// Waits until the program has said that it holds `shortcuts` shortcuts of `layouts` listed
// layouts; `errors` gathers what it writes to its standard error.
bool waitUntilShortcutsRegistered(QProcess& program, QByteArray& errors, int shortcuts, int layouts,
                                  int timeoutMs = 30000);

// An X server of its own (Xvfb) at the first free display from :100 up, ended when this goes.
// Free means neither socket nor lock file; a number another job takes meanwhile makes that
// Xvfb fail, and the next number is tried.
class PrivateXServer {
public:
    explicit PrivateXServer(const QStringList& arguments);
    ~PrivateXServer();
    // ":N"; empty when no server started.
    QString display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

// A session bus of its own (dbus-daemon --session), as a desktop session has; ended when
// this goes.
class SessionBusProcess {
public:
    SessionBusProcess();
    ~SessionBusProcess();
    // Empty when the daemon did not start.
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
};

// The top-level window of the program's with this title that the window manager shows (mapped,
// not minimized), as other programs see it.
std::optional<xcb_window_t> shownProgramWindow(XSession& x, const QString& title);
// The window the window manager says is active.
xcb_window_t activeWindow(XSession& x);
// Asks the window manager to minimize the window, or to close it, as its frame's buttons do.
void minimizeWindow(XSession& x, xcb_window_t window);
void closeWindow(XSession& x, xcb_window_t window);

// Points the XDG data/config folders of this process elsewhere for a test, and back.
class ScopedXdgFolders {
public:
    ScopedXdgFolders(const QString& dataHome, const QString& configHome, std::optional<QByteArray> dataDirs = {});
    ~ScopedXdgFolders();

private:
    QByteArray m_data, m_config, m_dataDirs;
    bool m_setDataDirs = false;
};

// The window manager of the test server: ask it to leave, or start it again with the
// configuration file it was started with. Both say whether the desktop got there.
QString windowManagerConfigFile();
bool stopWindowManager();
bool startWindowManager(const QString& configFile);

// Holds the window manager still, as a busy machine does: what it is sent meanwhile waits
// unhandled. It goes on when the object goes, and after `atMostMs` whatever becomes of this
// process (a detached shell lets it go). False from held() when it could not be stopped.
class HeldWindowManager {
public:
    HeldWindowManager(XSession& x, int atMostMs);
    ~HeldWindowManager();
    HeldWindowManager(const HeldWindowManager&) = delete;
    HeldWindowManager& operator=(const HeldWindowManager&) = delete;
    bool held() const { return m_process > 0; }

private:
    qint64 m_process = 0;
};

// Clicks the program's icon once the tray has settled it and waits until the menu it opens is
// drawn; the menu, or nothing. A click is made again only when the tray moved the icon away
// from under it (it lays its icons out again as it takes new ones in): that is the set-up
// going wrong, not the program. A click on an icon that stayed put has to open the menu.
std::optional<xcb_window_t> openProgramTrayMenu(XSession& x, int timeoutMs = 10000);

// Waits until the window manager has framed the program's own window: the window carries its
// frame, the toolkit knows where the frame put it, and it is exposed. Clicks land where they
// are aimed from then on.
bool waitUntilFramed(XSession& x, QWidget* window, int timeoutMs = 15000);

// Waits until the X server no longer knows the window (its client ended); says whether it went
// in time. Polls through the platform's own connection, under its lock.
bool waitUntilWindowGone(X11Platform& platform, xcb_window_t window, int timeoutMs = 20000);

// A window of a running client as discovery finds it, with its application.
struct LiveWindow {
    DiscoveredWindow window;
    QString bundleIdentifier;
    std::int32_t pid = 0;
};
std::optional<LiveWindow> findLiveWindow(const PlatformServices& services, const QString& title);
// Whether the live window with the title stands within 4 pixels of `target`'s origin.
bool liveWindowAt(const PlatformServices& services, const QString& title, const CGRect& target);
// A record that puts the live window at `target` on `display`, as a capture would.
WindowRecord recordPlacing(const LiveWindow& live, const CGRect& target, const DisplayRecord& display);
// A layout of the monitors there are now that moves the live window by `dx`, `dy`.
Snapshot layoutMoving(const PlatformServices& services, const QString& name, const LiveWindow& live, double dx,
                      double dy);

} // namespace zen::testsupport
