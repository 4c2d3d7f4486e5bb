#include "Displays/DisplayResolver.h"
#include "Platform/Edid.h"
#include "Platform/X11/DesktopEntryResolver.h"
#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace zen {
namespace {

using testsupport::TestClientProcess;
namespace Reason = WindowDiscoveryDiagnosticReason;

// Desktop entries are looked up in our own data dir; it must be in place before anything
// asks GIO for the first time, so it is set before main runs. It lives as long as the
// process: GIO notices a removed and re-created directory only by polling every few seconds.
const QString& dataHome()
{
    static const QString dir = [] {
        char pattern[] = "/tmp/zen-x11-data-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        const QString path = QString::fromLocal8Bit(made ? made : "/tmp");
        qputenv("XDG_DATA_HOME", path.toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (path + QStringLiteral("/none")).toLocal8Bit());
        QDir().mkpath(path + QStringLiteral("/applications"));
        return path;
    }();
    // Registered once the path is built, so it runs before the path is destroyed.
    static const bool cleanup = std::atexit([] { QDir(dataHome()).removeRecursively(); }) == 0;
    (void)cleanup;
    return dir;
}
const bool dataHomeReady = !dataHome().isEmpty();

struct LiveDesktopTest : ::testing::Test {
    static inline std::shared_ptr<X11Platform> platform;

    static void SetUpTestSuite()
    {
        testsupport::writeDesktopEntry(QStringLiteral("org.zentharion.TestClient"), QStringLiteral("Test Client"),
                                       QStringLiteral("ZenTestClient"));
        testsupport::writeDesktopEntry(QStringLiteral("lowered"), QStringLiteral("Lowered"), QString());
        platform = X11Platform::connect();
    }
    static void TearDownTestSuite()
    {
        platform.reset();
    }

    void SetUp() override
    {
        if (!platform)
            GTEST_SKIP() << "no X server";
    }

    WindowDiscoveryEngine engine() const { return WindowDiscoveryEngine::forPlatform(platform->services()); }

    // Discovers until the condition holds or twenty seconds pass (generous for a loaded machine; a poll ends as soon as it holds): the window manager settles
    // state asynchronously after the client reports ready.
    WindowDiscoveryResult discoverUntil(const std::function<bool(const WindowDiscoveryResult&)>& done)
    {
        QDeadlineTimer deadline(20000);
        WindowDiscoveryResult last;
        do {
            auto result = engine().discoverRunningWindowsWithDiagnostics();
            EXPECT_TRUE(result.has_value());
            if (result)
                last = *result;
            if (done(last))
                break;
            testsupport::pumpEventsFor(50);
        } while (!deadline.hasExpired());
        return last;
    }

    static const DiscoveredApplication* application(const WindowDiscoveryResult& r, std::int64_t pid)
    {
        for (const auto& app : r.applications)
            if (app.pid == pid)
                return &app;
        return nullptr;
    }
    static const DiscoveredWindow* window(const DiscoveredApplication* app, const QString& title)
    {
        if (!app)
            return nullptr;
        for (const auto& w : app->windows)
            if (w.title == title)
                return &w;
        return nullptr;
    }
};

TEST(DesktopEntryResolverLiveTest, AnEntryInstalledAfterLoadingIsResolved)
{
    DesktopEntryResolver resolver;
    EXPECT_EQ(resolver.resolve("zen-late", "ZenLateClient", std::nullopt).bundleIdentifier, "ZenLateClient");

    testsupport::writeDesktopEntry(QStringLiteral("org.zentharion.Late"), QStringLiteral("Late Client"), QStringLiteral("ZenLateClient"));
    QDeadlineTimer deadline(20000);
    auto identity = resolver.resolve("zen-late", "ZenLateClient", std::nullopt);
    while (identity.bundleIdentifier != "org.zentharion.Late" && !deadline.hasExpired()) {
        testsupport::pumpEventsFor(20);
        identity = resolver.resolve("zen-late", "ZenLateClient", std::nullopt);
    }
    EXPECT_EQ(identity.bundleIdentifier, "org.zentharion.Late");
    EXPECT_EQ(identity.localizedName, "Late Client");
    QFile::remove(dataHome() + QStringLiteral("/applications/org.zentharion.Late.desktop"));
}

TEST_F(LiveDesktopTest, WindowManagerIsTrusted)
{
    EXPECT_TRUE(platform->isProcessTrusted());
}

TEST_F(LiveDesktopTest, ReadsBothMonitors)
{
    const DisplayState state = DisplayResolver(std::shared_ptr<ScreenSource>(platform)).captureDisplayState();
    ASSERT_EQ(state.displays.size(), 2u);
    const DisplayRecord& left = state.displays[0];
    const DisplayRecord& right = state.displays[1];
    EXPECT_EQ(left.localizedName, "ZEN-LEFT");
    EXPECT_EQ(left.id, stableDisplayID("ZEN-LEFT"));
    EXPECT_EQ(left.frameRect(), CGRect(0, 0, 1280, 800));
    EXPECT_TRUE(left.isPrimary);
    EXPECT_EQ(state.primaryDisplayID, left.id);
    EXPECT_EQ(right.localizedName, "ZEN-RIGHT");
    EXPECT_EQ(right.frameRect(), CGRect(1280, 0, 1024, 768));
    EXPECT_FALSE(right.isPrimary);
    // Xvfb has no EDID: no hardware numbers.
    EXPECT_FALSE(left.vendorID || left.productID || left.serialNumber);
    EXPECT_EQ(left.visibleFrameRect(), left.frameRect()); // no docks
}

TEST_F(LiveDesktopTest, DocksShrinkTheVisibleFrameOfTheirMonitorOnly)
{
    TestClientProcess dock({"--class", "zen-dock,DockClient", "--window", "type=dock,title=Panel,geometry=1280x30+0+0,strut=top:30"});
    ASSERT_EQ(dock.waitUntilReady().size(), 1u);
    const DisplayResolver resolver {std::shared_ptr<ScreenSource>(platform)};
    QDeadlineTimer deadline(20000);
    DisplayState state;
    do {
        state = resolver.captureDisplayState();
        if (state.displays.size() == 2 && state.displays[0].visibleFrameRect() != state.displays[0].frameRect())
            break;
        testsupport::pumpEventsFor(30);
    } while (!deadline.hasExpired());
    ASSERT_EQ(state.displays.size(), 2u);
    EXPECT_EQ(state.displays[0].visibleFrameRect(), CGRect(0, 30, 1280, 770));
    EXPECT_EQ(state.displays[1].visibleFrameRect(), CGRect(1280, 0, 1024, 768));

    // The dock's owner is no application whose windows are examined.
    auto result = engine().discoverRunningWindowsWithDiagnostics();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(application(*result, dock.processId()), nullptr);
    for (const auto& d : result->diagnostics)
        EXPECT_NE(d.processIdentifier, dock.processId());
}

TEST_F(LiveDesktopTest, DiscoversTheClientsWindowsAcrossMonitors)
{
    TestClientProcess client({"--class", "zen-test-client,ZenTestClient",
                              "--window", "type=normal,title=Main,geometry=400x300+100+100",
                              "--window", "type=dialog,title=Dialog,geometry=250x150+200+450",
                              "--window", "type=utility,title=Tool,geometry=200x100+600+100",
                              "--window", "type=splash,title=Splash,geometry=300x200+700+400",
                              "--window", "type=normal,title=Right,geometry=300x200+1400+100",
                              "--window", "type=normal,title=Hidden,geometry=300x200+150+200,minimize",
                              "--window", "type=dialog,title=Sheet,geometry=200x100+150+150,modal"});
    ASSERT_EQ(client.waitUntilReady().size(), 7u);
    TestClientProcess full({"--class", "zen-full,Lowered", "--window", "type=normal,title=Full,geometry=300x200+1500+200,fullscreen"});
    ASSERT_EQ(full.waitUntilReady().size(), 1u);

    const auto result = discoverUntil([&](const WindowDiscoveryResult& r) {
        const auto* app = application(r, client.processId());
        const auto* f = window(application(r, full.processId()), "Full");
        return app && app->windows.size() == 4 && f && f->isFullscreen;
    });
    const DiscoveredApplication* app = application(result, client.processId());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->bundleIdentifier, "org.zentharion.TestClient"); // StartupWMClass
    EXPECT_EQ(app->localizedName, "Test Client");

    const DisplayState displays = DisplayResolver(std::shared_ptr<ScreenSource>(platform)).captureDisplayState();
    const auto onDisplay = [&](const DiscoveredWindow* w) { return DisplayResolver::resolveDisplay(w->frame, displays)->localizedName; };

    const DiscoveredWindow* main = window(app, "Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->role, "AXWindow");
    EXPECT_EQ(main->subrole, "AXStandardWindow");
    // The window manager's decorations are part of the frame: the client area is inside.
    EXPECT_EQ(main->frame.minX(), 100);
    EXPECT_EQ(main->frame.minY(), 100);
    EXPECT_GE(main->frame.width(), 400);
    EXPECT_GT(main->frame.height(), 300);
    EXPECT_TRUE(main->isVisible);
    EXPECT_FALSE(main->isMinimized);
    EXPECT_EQ(main->cgLayer, 0);
    EXPECT_TRUE(main->zOrderHint.has_value());
    EXPECT_EQ(onDisplay(main), "ZEN-LEFT");

    const DiscoveredWindow* dialog = window(app, "Dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->role, "AXWindow");
    EXPECT_EQ(dialog->subrole, "AXDialog");

    const DiscoveredWindow* right = window(app, "Right");
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->frame.minX(), 1400);
    EXPECT_EQ(onDisplay(right), "ZEN-RIGHT");

    const DiscoveredWindow* hidden = window(app, "Hidden");
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->isMinimized);
    EXPECT_FALSE(hidden->isVisible);
    EXPECT_FALSE(hidden->zOrderHint.has_value());

    int rejectedLayer = 0, rejectedSubrole = 0, rejectedRole = 0;
    for (const auto& d : result.diagnostics) {
        if (d.processIdentifier != client.processId())
            continue;
        EXPECT_EQ(d.bundleIdentifier, "org.zentharion.TestClient");
        rejectedLayer += d.reason == Reason::nonzeroCGWindowLayer;   // the splash
        rejectedSubrole += d.reason == Reason::transientSubrole;     // the utility window
        rejectedRole += d.reason == Reason::transientRole;           // the modal dialog
    }
    EXPECT_EQ(rejectedRole, 1);
    EXPECT_EQ(rejectedLayer, 1);
    EXPECT_EQ(rejectedSubrole, 1);

    const DiscoveredApplication* fullApp = application(result, full.processId());
    ASSERT_NE(fullApp, nullptr);
    EXPECT_EQ(fullApp->bundleIdentifier, "lowered"); // desktop id equal to the lower-cased class
    const DiscoveredWindow* f = window(fullApp, "Full");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isFullscreen);
    EXPECT_EQ(onDisplay(f), "ZEN-RIGHT");
    EXPECT_EQ(f->frame, CGRect(1280, 0, 1024, 768));
}

TEST_F(LiveDesktopTest, StackingOrderIsFrontFirst)
{
    TestClientProcess client({"--class", "zen-order,OrderClient",
                              "--window", "title=Back,geometry=300x200+100+100",
                              "--window", "title=Front,geometry=300x200+500+100"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 2u);
    for (std::uint32_t raise : {ids[0], ids[1], ids[0]}) {
        QProcess::execute(QStringLiteral("wmctrl"), {"-i", "-a", QString::number(raise)});
        const auto result = discoverUntil([&](const WindowDiscoveryResult& r) {
            const auto* app = application(r, client.processId());
            if (!app || app->windows.size() != 2)
                return false;
            // The raised window is listed first and carries the smaller hint.
            return app->windows[0].cgWindowID == raise && app->windows[0].zOrderHint < app->windows[1].zOrderHint;
        });
        const auto* app = application(result, client.processId());
        ASSERT_NE(app, nullptr);
        EXPECT_EQ(app->windows[0].cgWindowID, raise);
        EXPECT_TRUE(app->windows[0].isMain);
        EXPECT_FALSE(app->windows[1].isMain);
        EXPECT_LT(app->windows[0].zOrderHint, app->windows[1].zOrderHint);
    }
}

TEST_F(LiveDesktopTest, MalformedPropertiesBecomeAbsentValues)
{
    TestClientProcess noPid({"--class", "zen-nopid,NoPidClient", "--no-pid", "--window", "title=NoPid,geometry=320x240+300+300"});
    TestClientProcess badPid({"--class", "zen-badpid,BadPidClient", "--bad-pid", "--window", "title=BadPid,geometry=320x240+350+350"});
    TestClientProcess titles({"--class", "zen-titles,TitleClient", "--window", "title=Huge,hugetitle,geometry=200x200+50+500",
                              "--window", "title=Broken,badutf8,geometry=200x200+300+500"});
    ASSERT_EQ(noPid.waitUntilReady().size(), 1u);
    ASSERT_EQ(badPid.waitUntilReady().size(), 1u);
    ASSERT_EQ(titles.waitUntilReady().size(), 2u);

    const auto result = discoverUntil([&](const WindowDiscoveryResult& r) {
        return application(r, noPid.processId()) && application(r, badPid.processId()) && application(r, titles.processId());
    });
    // Without _NET_WM_PID (or with one of the wrong type) the server names the process.
    const auto* a = application(result, noPid.processId());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->bundleIdentifier, "NoPidClient"); // no desktop entry: the class
    ASSERT_NE(application(result, badPid.processId()), nullptr);

    const auto* t = application(result, titles.processId());
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->windows.size(), 2u);
    for (const auto& w : t->windows) {
        ASSERT_TRUE(w.title.has_value());
        if (w.title->startsWith(QLatin1String("Broken")))
            EXPECT_TRUE(w.title->contains(QChar::ReplacementCharacter));
        else
            EXPECT_LE(w.title->size(), 64 * 1024); // cut at the read limit, at a character boundary
        EXPECT_FALSE(w.title->contains(QChar(0xD800)));
    }
}

TEST_F(LiveDesktopTest, LaunchesByDesktopEntryIdOnly)
{
    EXPECT_FALSE(platform->launchApplication(QStringLiteral("../applications/org.zentharion.TestClient")));
    EXPECT_FALSE(platform->launchApplication(QStringLiteral("applications/org.zentharion.TestClient")));
    EXPECT_FALSE(platform->launchApplication(QStringLiteral("org.zentharion.NotInstalled")));
    EXPECT_FALSE(platform->launchApplication(QString()));
    EXPECT_TRUE(platform->launchApplication(QStringLiteral("org.zentharion.TestClient")));
}

TEST_F(LiveDesktopTest, VanishingWindowsNeverBreakAReading)
{
    // Clients come and go while the desktop is read; each reading is whole and the
    // connection stays usable.
    for (int round = 0; round < 5; ++round) {
        auto client = std::make_unique<TestClientProcess>(QStringList {"--class", "zen-flicker,Flicker",
            "--window", "title=A,geometry=100x100+10+10", "--window", "title=B,geometry=100x100+200+10",
            "--window", "title=C,geometry=100x100+400+10"});
        ASSERT_EQ(client->waitUntilReady().size(), 3u);
        QProcess killer;
        killer.start(QStringLiteral("kill"), {QStringLiteral("-9"), QString::number(client->processId())});
        for (int i = 0; i < 10; ++i) {
            platform->refresh(); // each time a reading of its own, not one shared with the last
            auto result = engine().discoverRunningWindowsWithDiagnostics();
            ASSERT_TRUE(result.has_value());
        }
        killer.waitForFinished();
    }
    EXPECT_FALSE(xcb_connection_has_error(platform->connection().connection()));
    EXPECT_TRUE(platform->isProcessTrusted());
}

} // namespace
} // namespace zen
