// The real program under Xvfb: started with its own data and runtime folders holding one
// layout with a shortcut, it grabs the shortcut, refuses a second copy, and restores the
// layout when the shortcut is pressed.
#include "Platform/X11/CarbonHotkeyRegistrar.h"
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"

#include <QFile>

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace testsupport;

// Option+Control+L; X keycodes of the evdev keymap Xvfb loads.
const HotkeyBinding optionControlL{37, 0x1800, "Option-Control-L"};

struct AppLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    ProgramHome home;
    std::unique_ptr<XSession> x;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        x = std::make_unique<XSession>();
    }

    // The shortcut is the program's once nobody else can grab it.
    bool shortcutTakenElsewhere()
    {
        CarbonHotkeyRegistrar registrar(x->connection());
        auto grabbed = registrar.registerHotkey(optionControlL, {0x5A54484B, 1});
        if (grabbed) {
            registrar.unregisterHotkey(*grabbed);
            return false;
        }
        return grabbed.error().status == CarbonHotkeyRegistrar::keyGrabbedElsewhereStatus;
    }
};

TEST_F(AppLiveTest, PressingALayoutsShortcutRestoresItAndASecondCopyStepsBack)
{
    TestClientProcess client({"--class", "zen-app-live,ZenAppLive", "--window", "title=Live1,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<LiveWindow> window;
    ASSERT_TRUE(waitFor([&] { return (window = findLiveWindow(platform->services(), "Live1")).has_value(); }));

    // The layout puts the window elsewhere on the same monitor.
    Snapshot layout = layoutMoving(platform->services(), "Live", *window, 400, 150);
    ASSERT_EQ(layout.windows.size(), 1u);
    const CGRect target = layout.windows[0].frame.cgRect();
    layout.hotkey = optionControlL;
    ASSERT_TRUE(SnapshotStore(home.snapshotsFolder()).save(layout));

    QProcessEnvironment logging;
    logging.insert("QT_LOGGING_RULES", shortcutsLoggingRule);
    ProgramProcess running(home, logging);
    QProcess* program = &running.process;
    ASSERT_TRUE(program->waitForStarted());

    // Xvfb has no tray: the program says so and goes on.
    QByteArray programErrors;
    EXPECT_TRUE(waitFor([&] {
        programErrors += program->readAllStandardError();
        return programErrors.contains("The desktop has no system tray");
    }));

    ProgramProcess second(home);
    ASSERT_TRUE(waitUntilEnded(second.process));
    EXPECT_EQ(second.process.exitCode(), 1);
    EXPECT_TRUE(second.process.readAllStandardError().contains("Zentharion is already running on display"));

    // Pressed once the program says it holds the shortcut (a probe that grabbed the key itself
    // to find out would, for that moment, make the program's own grab fail).
    ASSERT_TRUE(waitUntilShortcutsRegistered(*program, programErrors, 1, 1)) << programErrors.toStdString();
    const QString eventsLog = home.filePath("data/Zentharion/Logs/events.log");
    const auto logged = [&] {
        QFile file(eventsLog);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("restore.completed");
    };
    x->pressChord({keycode::controlLeft, keycode::altLeft, keycode::l});
    EXPECT_TRUE(waitFor(logged)) << "no restore.completed in the events log";
    EXPECT_TRUE(waitFor([&] { return liveWindowAt(platform->services(), "Live1", target); })) << "the window was not put where the layout says";
    // Held by the program now, the key cannot be taken by another client.
    EXPECT_TRUE(shortcutTakenElsewhere()) << "the program does not hold the shortcut";

    program->terminate();
    EXPECT_TRUE(waitUntilEnded(*program));
}

// An XEmbed tray (trayer) takes the program's icon in.
TEST_F(AppLiveTest, TheIconDocksInASystemTray)
{
    if (!hasTool("trayer"))
        GTEST_SKIP() << "trayer is not installed";
    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    ASSERT_TRUE(waitFor([&] { return x->ownsSelection("_NET_SYSTEM_TRAY_S0"); }));

    ProgramProcess program(home);
    ASSERT_TRUE(program.process.waitForStarted());
    EXPECT_TRUE(waitFor([&] { return x->embeddedProgramWindows() == 1; }));
    EXPECT_FALSE(program.process.readAllStandardError().contains("no system tray"));
}

} // namespace
} // namespace zen
