// The real program under Xvfb: started with its own data and runtime folders holding one
// layout with a shortcut, it grabs the shortcut, refuses a second copy, and restores the
// layout when the shortcut is pressed.
#include "Displays/DisplayResolver.h"
#include "Platform/X11/CarbonHotkeyRegistrar.h"
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

namespace zen {
namespace {

using testsupport::TestClientProcess;

// Option+Control+L; X keycodes of the evdev keymap Xvfb loads.
const HotkeyBinding optionControlL{37, 0x1800, "Option-Control-L"};
constexpr xcb_keycode_t controlLeft = 37, altLeft = 64, keyL = 46;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
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

struct AppLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    QTemporaryDir home;
    xcb_connection_t* probe = nullptr;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        probe = xcb_connect(nullptr, nullptr);
        for (const char* folder : {"data", "config", "runtime"})
            QDir().mkpath(home.filePath(folder));
        QFile::setPermissions(home.filePath("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                            | QFileDevice::ExeOwner);
    }

    void TearDown() override
    {
        if (probe)
            xcb_disconnect(probe);
    }

    std::unique_ptr<QProcess> startProgram()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        process->setProcessEnvironment(env);
        process->start(QCoreApplication::applicationDirPath() + "/zentharion", QStringList{});
        return process;
    }

    // The shortcut is the program's once nobody else can grab it.
    bool shortcutTakenElsewhere()
    {
        CarbonHotkeyRegistrar registrar(probe);
        auto grabbed = registrar.registerHotkey(optionControlL, {0x5A54484B, 1});
        if (grabbed) {
            registrar.unregisterHotkey(*grabbed);
            return false;
        }
        return grabbed.error().status == CarbonHotkeyRegistrar::keyGrabbedElsewhereStatus;
    }

    void pressShortcut()
    {
        for (auto [type, key] : {std::pair{XCB_KEY_PRESS, controlLeft}, {XCB_KEY_PRESS, altLeft}, {XCB_KEY_PRESS, keyL},
                                 {XCB_KEY_RELEASE, keyL}, {XCB_KEY_RELEASE, altLeft}, {XCB_KEY_RELEASE, controlLeft}})
            xcb_test_fake_input(probe, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(probe);
    }

    std::optional<DiscoveredWindow> liveWindow(const QString& title, QString* bundleIdentifier = nullptr,
                                               std::int32_t* pid = nullptr)
    {
        auto found = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows();
        if (!found)
            return std::nullopt;
        for (const auto& app : *found)
            for (const auto& window : app.windows)
                if (window.title == title) {
                    if (bundleIdentifier)
                        *bundleIdentifier = app.bundleIdentifier;
                    if (pid)
                        *pid = app.pid;
                    return window;
                }
        return std::nullopt;
    }
};

TEST_F(AppLiveTest, PressingALayoutsShortcutRestoresItAndASecondCopyStepsBack)
{
    TestClientProcess client({"--class", "zen-app-live,ZenAppLive", "--window", "title=Live1,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<DiscoveredWindow> window;
    QString bundleIdentifier;
    std::int32_t pid = 0;
    ASSERT_TRUE(waitFor([&] { return (window = liveWindow("Live1", &bundleIdentifier, &pid)).has_value(); }));

    // The layout puts the window elsewhere on the same monitor.
    const DisplayState displays = DisplayResolver(platform->services().screens).captureDisplayState();
    const CGRect target(window->frame.minX() + 400, window->frame.minY() + 150, window->frame.width(),
                        window->frame.height());
    const auto display = DisplayResolver::resolveDisplay(target, displays);
    ASSERT_TRUE(display);
    WindowRecord record;
    record.bundleIdentifier = bundleIdentifier;
    record.pidAtCapture = pid;
    record.windowTitle = "Live1";
    record.role = window->role;
    record.subrole = window->subrole;
    record.frame = CGRectCodable(target);
    record.displayID = display->id;
    record.normalizedFrame = DisplayResolver::normalizedFrame(target, *display);
    record.zOrderHint = 0;
    record.captureSignature = {bundleIdentifier, pid, QString("Live1"), window->role, window->subrole,
                               CGRectCodable(target), std::nullopt};
    Snapshot layout;
    layout.name = "Live";
    layout.sourceDisplayState = displays;
    layout.windows = {record};
    layout.hotkey = optionControlL;
    ASSERT_TRUE(SnapshotStore(home.filePath("data/Zentharion/Snapshots")).save(layout));

    auto program = startProgram();
    ASSERT_TRUE(program->waitForStarted());
    ASSERT_TRUE(waitFor([&] { return shortcutTakenElsewhere(); })) << "the program never grabbed the shortcut";

    // Xvfb has no tray: the program says so and goes on.
    QByteArray programErrors;
    EXPECT_TRUE(waitFor([&] {
        programErrors += program->readAllStandardError();
        return programErrors.contains("The desktop has no system tray");
    }));

    auto second = startProgram();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_TRUE(second->readAllStandardError().contains("Zentharion is already running on display"));

    pressShortcut();
    const QString eventsLog = home.filePath("data/Zentharion/Logs/events.log");
    const auto logged = [&] {
        QFile file(eventsLog);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("restore.completed");
    };
    EXPECT_TRUE(waitFor(logged)) << "no restore.completed in the events log";
    const auto moved = [&] {
        const auto now = liveWindow("Live1");
        return now && std::abs(now->frame.minX() - target.minX()) <= 4 && std::abs(now->frame.minY() - target.minY()) <= 4;
    };
    EXPECT_TRUE(waitFor(moved)) << "the window was not put where the layout says";

    program->terminate();
    EXPECT_TRUE(program->waitForFinished(5000));
}

// A window the window manager manages carries WM_STATE; an icon a tray took in does not.
bool managedByWindowManager(xcb_connection_t* connection, xcb_window_t window)
{
    auto* atom = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 8, "WM_STATE"), nullptr);
    if (!atom)
        return false;
    auto* state = xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, atom->atom, atom->atom, 0, 2),
                                         nullptr);
    const bool managed = state && state->type != XCB_ATOM_NONE;
    std::free(state);
    std::free(atom);
    return managed;
}

// Windows of the program's class that something else (a tray) has taken in as its child; the
// program's own windows, which the window manager puts in frames, are not icons.
int embeddedProgramWindows(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root)
{
    int found = 0;
    auto* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto* wmClass = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
        if (wmClass && window != root
            && QByteArray(static_cast<const char*>(xcb_get_property_value(wmClass)),
                          xcb_get_property_value_length(wmClass))
                   .startsWith(QByteArray("zentharion\0Zentharion", 21))
            && !managedByWindowManager(connection, children[i]))
            ++found;
        std::free(wmClass);
        found += embeddedProgramWindows(connection, children[i], root);
    }
    std::free(tree);
    return found;
}

// An XEmbed tray (trayer) takes the program's icon in.
TEST_F(AppLiveTest, TheIconDocksInASystemTray)
{
    if (QStandardPaths::findExecutable("trayer").isEmpty())
        GTEST_SKIP() << "trayer is not installed";
    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(tray.waitForStarted());
    const auto trayOwned = [&] {
        auto* atom = xcb_intern_atom_reply(probe, xcb_intern_atom(probe, 0, 19, "_NET_SYSTEM_TRAY_S0"), nullptr);
        auto* owner = atom ? xcb_get_selection_owner_reply(probe, xcb_get_selection_owner(probe, atom->atom), nullptr)
                           : nullptr;
        const bool owned = owner && owner->owner != XCB_NONE;
        std::free(owner);
        std::free(atom);
        return owned;
    };
    ASSERT_TRUE(waitFor(trayOwned));

    auto program = startProgram();
    ASSERT_TRUE(program->waitForStarted());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(probe)).data->root;
    EXPECT_TRUE(waitFor([&] { return embeddedProgramWindows(probe, root, root) == 1; }));
    EXPECT_FALSE(program->readAllStandardError().contains("no system tray"));

    program->terminate();
    program->waitForFinished(5000);
    tray.terminate();
    tray.waitForFinished(5000);
}

} // namespace
} // namespace zen
