// The real program's tray menu under Xvfb with an XEmbed tray (trayer): opened with a click,
// driven with real key presses, and photographed. Also: what programs launched by a restore
// inherit of our process.
#include "Displays/DisplayResolver.h"
#include "Platform/X11/DesktopEntryResolver.h"
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

namespace zen {
namespace {

using testsupport::TestClientProcess;

// X keycodes of the evdev keymap Xvfb loads.
constexpr xcb_keycode_t controlLeft = 37, altLeft = 64, keyQ = 24, keyS = 39, keyL = 46, escape = 9;
// Option+Control+L.
const HotkeyBinding optionControlL{37, 0x1800, "Option-Control-L"};

bool waitFor(const std::function<bool()>& done, int timeoutMs = 15000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(25);
    }
    return true;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type)
{
    auto* reply = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 1024), nullptr);
    QByteArray value;
    if (reply)
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

bool isProgramWindow(xcb_connection_t* c, xcb_window_t w)
{
    return property(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).startsWith(QByteArray("zentharion\0Zentharion", 21));
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

std::optional<Rect> rootGeometry(xcb_connection_t* c, xcb_window_t w, xcb_window_t root)
{
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
    auto* translated = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr);
    std::optional<Rect> rect;
    if (geometry && translated)
        rect = Rect{translated->dst_x, translated->dst_y, geometry->width, geometry->height};
    std::free(geometry);
    std::free(translated);
    return rect;
}

// A window the window manager manages carries WM_STATE; an icon a tray took in does not.
bool managedByWindowManager(xcb_connection_t* c, xcb_window_t w)
{
    const xcb_atom_t state = atom(c, "WM_STATE");
    return !property(c, w, state, state).isEmpty();
}

// The program's icon, embedded somewhere below the tray's window (its own windows sit in the
// window manager's frames: they are not the icon).
std::optional<xcb_window_t> embeddedIcon(xcb_connection_t* c, xcb_window_t window, xcb_window_t root)
{
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree)
        return std::nullopt;
    std::optional<xcb_window_t> found;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        if (window != root && isProgramWindow(c, children[i]) && !managedByWindowManager(c, children[i]))
            found = children[i];
        else
            found = embeddedIcon(c, children[i], root);
    }
    std::free(tree);
    return found;
}

// The open menu: a mapped override-redirect window of the program, directly below the root.
std::optional<xcb_window_t> openMenu(xcb_connection_t* c, xcb_window_t root)
{
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree)
        return std::nullopt;
    std::optional<xcb_window_t> found;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        if (attributes && attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE
            && isProgramWindow(c, children[i]))
            found = children[i];
        std::free(attributes);
    }
    std::free(tree);
    return found;
}

void pressKeys(xcb_connection_t* c, std::initializer_list<xcb_keycode_t> keys)
{
    for (const xcb_keycode_t key : keys)
        xcb_test_fake_input(c, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        xcb_test_fake_input(c, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(c);
}

void click(xcb_connection_t* c, xcb_window_t root, int x, int y)
{
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x), int16_t(y), 0);
    xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(c);
}

// One X display as the tests use it: a probe connection, a tray on it, the program on it.
struct Desktop {
    QString display; // ":N"
    xcb_connection_t* probe = nullptr;
    xcb_window_t root = XCB_NONE;
    QProcess tray;
    std::unique_ptr<QProcess> program;

    ~Desktop()
    {
        for (QProcess* p : {program.get(), &tray})
            if (p && p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(5000))
                    p->kill();
            }
        if (probe)
            xcb_disconnect(probe);
    }

    bool connect()
    {
        probe = xcb_connect(display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(probe))
            return false;
        root = xcb_setup_roots_iterator(xcb_get_setup(probe)).data->root;
        return true;
    }

    bool startTray()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        tray.setProcessEnvironment(env);
        tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        if (!tray.waitForStarted())
            return false;
        const xcb_atom_t selection = atom(probe, "_NET_SYSTEM_TRAY_S0");
        return waitFor([&] {
            auto* owner = xcb_get_selection_owner_reply(probe, xcb_get_selection_owner(probe, selection), nullptr);
            const bool owned = owner && owner->owner != XCB_NONE;
            std::free(owner);
            return owned;
        });
    }

    void startProgram(const QString& home, const QProcessEnvironment& extra = {})
    {
        program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("XDG_RUNTIME_DIR", home + "/runtime");
        env.insert("QT_QPA_PLATFORM", "xcb");
        for (const QString& key : extra.keys()) {
            if (extra.value(key).isEmpty())
                env.remove(key);
            else
                env.insert(key, extra.value(key));
        }
        program->setProcessEnvironment(env);
        program->start(QCoreApplication::applicationDirPath() + "/zentharion", QStringList{});
    }

    // Clicks the docked icon and waits for the menu; its window, or nothing.
    std::optional<xcb_window_t> openTrayMenu()
    {
        std::optional<xcb_window_t> icon;
        if (!waitFor([&] { return (icon = embeddedIcon(probe, root, root)).has_value(); }))
            return std::nullopt;
        // The tray grows and moves while it takes icons in: the icon is clicked where it has
        // settled, looked up again before every try.
        std::optional<Rect> at;
        const auto settled = [&] {
            const auto before = rootGeometry(probe, *icon, root);
            testsupport::pumpEventsFor(200);
            at = rootGeometry(probe, *icon, root);
            return before && at && at->width > 0 && before->x == at->x && before->y == at->y
                && before->width == at->width;
        };
        std::optional<xcb_window_t> menu;
        for (int attempt = 0; attempt < 4 && !menu; ++attempt) {
            if (!waitFor(settled))
                return std::nullopt;
            click(probe, root, at->x + at->width / 2, at->y + at->height / 2);
            waitFor([&] { return (menu = openMenu(probe, root)).has_value(); }, 3000);
        }
        if (!menu && !qEnvironmentVariableIsEmpty("ZEN_KEEP_SCREENSHOTS")) {
            QProcess import;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", display);
            import.setProcessEnvironment(env);
            import.start("import", {"-window", "root", qEnvironmentVariable("ZEN_KEEP_SCREENSHOTS") + "/no-menu.png"});
            import.waitForFinished(30000);
            qWarning("icon at %d,%d %dx%d", at->x, at->y, at->width, at->height);
        }
        return menu;
    }
};

struct TrayMenuLiveTest : ::testing::Test {
    QTemporaryDir home;

    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X server";
        if (QStandardPaths::findExecutable("trayer").isEmpty())
            GTEST_SKIP() << "trayer is not installed";
        for (const char* folder : {"data/Zentharion/Snapshots", "config", "runtime"})
            QDir().mkpath(home.filePath(folder));
        QFile::setPermissions(home.filePath("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                            | QFileDevice::ExeOwner);
    }

    QString snapshotsDir() const { return home.filePath("data/Zentharion/Snapshots"); }
};

// Ctrl+Q, shown next to "Quit Zentharion", quits while the open menu has the keyboard. A start
// where all is well (a tray, a window manager, no runtime folder set) prints nothing.
TEST_F(TrayMenuLiveTest, CtrlQQuitsWhileTheMenuIsOpenAfterAQuietStart)
{
    Desktop desktop;
    desktop.display = qEnvironmentVariable("DISPLAY");
    ASSERT_TRUE(desktop.connect());
    ASSERT_TRUE(desktop.startTray());
    QProcessEnvironment extra;
    extra.insert("XDG_RUNTIME_DIR", QString());
    extra.insert("QT_LOGGING_RULES", QString());
    desktop.startProgram(home.path(), extra);
    ASSERT_TRUE(desktop.program->waitForStarted());
    ASSERT_TRUE(desktop.openTrayMenu()) << "the menu did not open";

    pressKeys(desktop.probe, {controlLeft, keyQ});
    ASSERT_TRUE(desktop.program->waitForFinished(10000)) << "Ctrl+Q did not quit";
    EXPECT_EQ(desktop.program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(desktop.program->exitCode(), 0);
    EXPECT_EQ(desktop.program->readAllStandardError().toStdString(), "");
    EXPECT_EQ(desktop.program->readAllStandardOutput().toStdString(), "");
}

// While the save's name prompt is open, a layout's shortcut restores nothing: the windows the
// user is about to save stay as they are and nothing covers the prompt. Once the prompt is
// gone the shortcut works.
TEST_F(TrayMenuLiveTest, AShortcutRestoreWaitsForTheNamePrompt)
{
    auto platform = X11Platform::connect();
    ASSERT_TRUE(platform);
    TestClientProcess client({"--class", "zen-tray-live,ZenTrayLive", "--window", "title=TrayLive1,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    const auto liveWindow = [&]() -> std::optional<std::pair<DiscoveredWindow, std::pair<QString, std::int32_t>>> {
        auto found = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows();
        if (found)
            for (const auto& app : *found)
                for (const auto& window : app.windows)
                    if (window.title == "TrayLive1")
                        return std::pair{window, std::pair{app.bundleIdentifier, app.pid}};
        return std::nullopt;
    };
    std::optional<std::pair<DiscoveredWindow, std::pair<QString, std::int32_t>>> live;
    ASSERT_TRUE(waitFor([&] { return (live = liveWindow()).has_value(); }));
    const DiscoveredWindow& window = live->first;

    // A layout with the shortcut that puts the window elsewhere.
    const DisplayState displays = DisplayResolver(platform->services().screens).captureDisplayState();
    const CGRect start = window.frame;
    const CGRect target(start.minX() + 400, start.minY() + 150, start.width(), start.height());
    const auto display = DisplayResolver::resolveDisplay(target, displays);
    ASSERT_TRUE(display);
    WindowRecord record;
    record.bundleIdentifier = live->second.first;
    record.pidAtCapture = live->second.second;
    record.windowTitle = "TrayLive1";
    record.role = window.role;
    record.subrole = window.subrole;
    record.frame = CGRectCodable(target);
    record.displayID = display->id;
    record.normalizedFrame = DisplayResolver::normalizedFrame(target, *display);
    record.zOrderHint = 0;
    record.captureSignature = {record.bundleIdentifier, record.pidAtCapture, QString("TrayLive1"), window.role,
                               window.subrole, CGRectCodable(target), std::nullopt};
    Snapshot layout;
    layout.name = "Elsewhere";
    layout.sourceDisplayState = displays;
    layout.windows = {record};
    layout.hotkey = optionControlL;
    ASSERT_TRUE(SnapshotStore(snapshotsDir()).save(layout));

    Desktop desktop;
    desktop.display = qEnvironmentVariable("DISPLAY");
    ASSERT_TRUE(desktop.connect());
    ASSERT_TRUE(desktop.startTray());
    desktop.startProgram(home.path());
    ASSERT_TRUE(desktop.program->waitForStarted());
    ASSERT_TRUE(desktop.openTrayMenu());

    // Ctrl+S in the open menu: "Save Current Layout" asks for a name.
    pressKeys(desktop.probe, {controlLeft, keyS});
    const xcb_atom_t stackingAtom = atom(desktop.probe, "_NET_CLIENT_LIST_STACKING");
    const xcb_atom_t nameAtom = atom(desktop.probe, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(desktop.probe, "UTF8_STRING");
    // Titles of the managed windows, bottom to top (the tray's dock stays above them all).
    const auto stacking = [&] {
        QList<QByteArray> titles;
        const QByteArray list = property(desktop.probe, desktop.root, stackingAtom, XCB_ATOM_WINDOW);
        for (qsizetype i = 0; i + 4 <= list.size(); i += 4) {
            xcb_window_t w = 0;
            std::memcpy(&w, list.constData() + i, 4);
            titles << property(desktop.probe, w, nameAtom, utf8);
        }
        return titles;
    };
    const auto promptAboveClient = [&] {
        const auto titles = stacking();
        const auto prompt = titles.indexOf("Save Current Layout");
        return prompt >= 0 && prompt > titles.indexOf("TrayLive1");
    };
    ASSERT_TRUE(waitFor(promptAboveClient)) << "no name prompt above the window: "
                                            << stacking().join(", ").toStdString() << "\n"
                                            << desktop.program->readAllStandardError().toStdString();

    const QString eventsLog = home.filePath("data/Zentharion/Logs/events.log");
    const auto restoresLogged = [&] {
        QFile file(eventsLog);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("restore.completed") : 0;
    };
    const auto moved = [&] {
        const auto now = liveWindow();
        return now && std::abs(now->first.frame.minX() - target.minX()) <= 4
            && std::abs(now->first.frame.minY() - target.minY()) <= 4;
    };

    pressKeys(desktop.probe, {controlLeft, altLeft, keyL});
    // Nothing may happen; give a restore ample time to show itself if one were started.
    EXPECT_FALSE(waitFor(moved, 3000)) << "the shortcut restored while the prompt was open";
    EXPECT_EQ(restoresLogged(), 0);
    EXPECT_TRUE(promptAboveClient());

    // Cancelled, the prompt goes and the shortcut restores again.
    pressKeys(desktop.probe, {escape});
    ASSERT_TRUE(waitFor([&] { return !stacking().contains("Save Current Layout"); }));
    pressKeys(desktop.probe, {controlLeft, altLeft, keyL});
    EXPECT_TRUE(waitFor(moved)) << "the shortcut did not restore once the prompt was gone";
    EXPECT_TRUE(waitFor([&] { return restoresLogged() == 1; }));
}

// Reads the text in a picture; empty only when the OCR program is not installed.
QString recognisedText(const QImage& image, const QString& folder)
{
    if (QStandardPaths::findExecutable("tesseract").isEmpty())
        return {};
    // Menu type is small: enlarged, the recognition reads it reliably.
    const QString path = folder + "/enlarged.png";
    image.scaled(image.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path);
    QProcess ocr;
    // One thread: on a busy machine its OpenMP threads spin and a second's work takes minutes.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OMP_THREAD_LIMIT", "1");
    ocr.setProcessEnvironment(env);
    ocr.start("tesseract", {path, "stdout", "--psm", "6"});
    if (!ocr.waitForFinished(120000))
        return QStringLiteral("(tesseract did not finish)");
    return QString::fromUtf8(ocr.readAllStandardOutput()).simplified();
}

int pixelsNear(const QImage& image, const QColor& color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green())
                    + std::abs(c.blue() - color.blue()) < 60)
                ++count;
        }
    return count;
}

// A desktop without a window manager, with a tray: access is missing (a warning), two layouts
// share a shortcut (one refused), and asking for the help page where no program can show it
// leaves an error. The menu is photographed and its picture read back.
TEST_F(TrayMenuLiveTest, TheMenuShowsAnErrorAWarningAndARefusedShortcut)
{
    if (QStandardPaths::findExecutable("import").isEmpty())
        GTEST_SKIP() << "no screenshot program (imagemagick)";
    QProcess server;
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForStarted());
    QByteArray number;
    ASSERT_TRUE(waitFor([&] {
        number += server.readAllStandardOutput();
        return number.contains('\n');
    }));
    struct EndServer {
        QProcess& server;
        ~EndServer()
        {
            server.terminate();
            server.waitForFinished(5000);
        }
    } endServer{server};

    for (const char* name : {"Morning", "Evening"}) {
        Snapshot layout = test::makeSnapshot(name);
        layout.hotkey = optionControlL;
        ASSERT_TRUE(SnapshotStore(snapshotsDir()).save(layout));
    }

    // Without a window manager a window opened at start would simply cover the tray: the
    // first-launch windows are marked as seen.
    QDir().mkpath(home.filePath("config/Zentharion"));
    QFile preferences(home.filePath("config/Zentharion/Zentharion.conf"));
    ASSERT_TRUE(preferences.open(QIODevice::WriteOnly));
    preferences.write("[General]\nZentharion.Onboarding.status=completedAuthorized\n");
    preferences.close();

    Desktop desktop;
    desktop.display = ":" + QString::fromLatin1(number.trimmed());
    ASSERT_TRUE(desktop.connect());
    ASSERT_TRUE(desktop.startTray());
    // No program is set up to show web pages here.
    QProcessEnvironment extra;
    extra.insert("XDG_DATA_DIRS", home.filePath("nothing"));
    desktop.startProgram(home.path(), extra);
    ASSERT_TRUE(desktop.program->waitForStarted());

    // The first item asks for the help page; it cannot be shown.
    auto menu = desktop.openTrayMenu();
    ASSERT_TRUE(menu);
    std::optional<Rect> area;
    ASSERT_TRUE(waitFor([&] { return (area = rootGeometry(desktop.probe, *menu, desktop.root)) && area->height > 40; }));
    click(desktop.probe, desktop.root, area->x + area->width / 2, area->y + 14);
    ASSERT_TRUE(waitFor([&] { return !openMenu(desktop.probe, desktop.root); }));

    menu = desktop.openTrayMenu();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(waitFor([&] { return (area = rootGeometry(desktop.probe, *menu, desktop.root)) && area->height > 40; }));
    testsupport::pumpEventsFor(500); // drawn, not only mapped

    QTemporaryDir shots;
    const QString shot = shots.filePath("tray-menu.png");
    QProcess import;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", desktop.display);
    import.setProcessEnvironment(env);
    import.start("import", {"-window", "root", shot});
    ASSERT_TRUE(import.waitForFinished(30000));
    QImage screen(shot);
    ASSERT_FALSE(screen.isNull());
    const QImage picture = screen.copy(area->x, area->y, area->width, area->height);
    if (!qEnvironmentVariableIsEmpty("ZEN_KEEP_SCREENSHOTS"))
        picture.save(qEnvironmentVariable("ZEN_KEEP_SCREENSHOTS") + "/tray-menu.png");

    EXPECT_GT(pixelsNear(picture, QColor(0xd7, 0x26, 0x1e)), 20) << "no red error text";

    const QString text = recognisedText(picture, shots.path());
    if (text.isEmpty())
        GTEST_SKIP() << "tesseract is not installed: the picture's texts were not read";
    for (const char* expected : {"Accessibility Access Required", "help page could not be opened", "Morning",
                                 "Evening", "not registered", "Quit Zentharion"})
        EXPECT_TRUE(text.contains(QLatin1String(expected), Qt::CaseInsensitive)) << expected << " in: " << text.toStdString();

    pressKeys(desktop.probe, {escape});
}

// A program a restore launches, or one that shows the help page, gets its own standard
// streams, not ours.
TEST(LaunchedProgramTest, GetsTheNullDeviceForItsStandardStreams)
{
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        GTEST_SKIP() << "needs the live tests' own data dir";
    QTemporaryDir dir;
    QDir().mkpath(dataHome + "/applications");
    struct Case {
        const char* what;
        QString id;
        std::function<bool()> launch;
    };
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        GTEST_SKIP() << "needs the live tests' own config dir";
    const QString page = dir.filePath("page.html");
    QFile(page).open(QIODevice::WriteOnly);
    // The probe is the program set up to show web pages.
    QFile defaults(configHome + "/mimeapps.list");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly | QIODevice::Truncate));
    defaults.write("[Default Applications]\ntext/html=org.zentharion.StreamsViewer.desktop\n");
    defaults.close();
    struct RemoveDefaults {
        QFile& file;
        ~RemoveDefaults() { file.remove(); }
    } removeDefaults{defaults};
    for (const Case& c : {Case{"restore launch", "org.zentharion.StreamsProbe",
                               [] { return DesktopEntryResolver::launch("org.zentharion.StreamsProbe"); }},
                          Case{"help page", "org.zentharion.StreamsViewer", [&] {
                                   return DesktopEntryResolver::openWithDefaultApplication(
                                       page, "text/html");
                               }}}) {
        SCOPED_TRACE(c.what);
        const QString report = dir.filePath(c.id);
        QFile entry(dataHome + "/applications/" + c.id + ".desktop");
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // The shell keeps its own streams as 3, 4 and 5 for readlink to report on; a file to
        // open comes as an argument it ignores.
        entry.write("[Desktop Entry]\nType=Application\nName=Streams\nMimeType=text/html;\n"
                    "Exec=sh -c \"exec 3<&0 4>&1 5>&2 >"
                    + report.toUtf8() + "; readlink /proc/self/fd/3 /proc/self/fd/4 /proc/self/fd/5\" %f\n");
        entry.close();

        // GIO notices the new entry through its main-loop monitor.
        ASSERT_TRUE(waitFor(c.launch));
        QByteArray streams;
        ASSERT_TRUE(waitFor([&] {
            QFile file(report);
            return file.open(QIODevice::ReadOnly) && (streams = file.readAll()).count('\n') == 3;
        }));
        EXPECT_EQ(streams, "/dev/null\n/dev/null\n/dev/null\n");
        QFile::remove(entry.fileName());
    }
}

} // namespace
} // namespace zen
