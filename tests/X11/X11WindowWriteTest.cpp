#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11OwnWindows.h"
#include "Platform/X11/X11Platform.h"
#include "Platform/X11/X11WindowWriter.h"
#include "Support/LiveDesktop.h"
#include "Support/ScopedVariable.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/AXAttributeReader.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace zen {
namespace {

using testsupport::TestClientProcess;

struct LiveWriteTest : ::testing::Test {
    static inline std::shared_ptr<X11Platform> platform;
    static void SetUpTestSuite() { platform = X11Platform::connect(); }
    static void TearDownTestSuite() { platform.reset(); }
    void SetUp() override
    {
        if (!platform)
            GTEST_SKIP() << "no X server";
    }

    AXAttributeReader reader() const { return AXAttributeReader(std::shared_ptr<AccessibilityService>(platform)); }

    // The client's windows by title, read until the condition holds (the window manager acts
    // asynchronously) or twenty seconds pass (generous for a loaded machine; a poll ends as soon as it holds).
    std::vector<DiscoveredWindow> windowsUntil(qint64 pid, const std::function<bool(const std::vector<DiscoveredWindow>&)>& done)
    {
        const auto engine = WindowDiscoveryEngine::forPlatform(platform->services());
        QDeadlineTimer deadline(20000);
        std::vector<DiscoveredWindow> windows;
        do {
            windows.clear();
            if (auto result = engine.discoverRunningWindowsWithDiagnostics()) {
                for (const auto& app : result->applications)
                    if (app.pid == pid)
                        windows = app.windows;
            }
            if (!windows.empty() && done(windows))
                break;
            testsupport::pumpEventsFor(30);
        } while (!deadline.hasExpired());
        return windows;
    }
    static const DiscoveredWindow* titled(const std::vector<DiscoveredWindow>& list, const char* title)
    {
        for (const auto& w : list)
            if (w.title == QString::fromUtf8(title))
                return &w;
        return nullptr;
    }
};

TEST_F(LiveWriteTest, MovesAndResizesTheOuterFrameAcrossMonitors)
{
    TestClientProcess client({"--class", "zen-move,MoveClient", "--window", "title=Mover,geometry=400x300+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 1; });
    ASSERT_EQ(windows.size(), 1u);
    const AXUIElement element = windows[0].axElement;

    ASSERT_TRUE(reader().setPoint(CGPoint {300, 150}, element, AXAttribute::position));
    ASSERT_TRUE(reader().setSize(CGSize {500, 350}, element, AXAttribute::size));
    windows = windowsUntil(client.processId(), [](const auto& l) { return l[0].frame == CGRect(300, 150, 500, 350); });
    EXPECT_EQ(windows.at(0).frame, CGRect(300, 150, 500, 350));

    ASSERT_TRUE(reader().setPoint(CGPoint {1400, 60}, element, AXAttribute::position));
    windows = windowsUntil(client.processId(), [](const auto& l) { return l[0].frame.minX() == 1400; });
    EXPECT_EQ(windows.at(0).frame, CGRect(1400, 60, 500, 350));
}

TEST_F(LiveWriteTest, FullScreenWindowComesBackAsAStandardWindow)
{
    TestClientProcess client({"--class", "zen-fs,FsClient", "--window", "title=Full,geometry=300x200+200+200,fullscreen"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l[0].isFullscreen; });
    ASSERT_TRUE(windows.at(0).isFullscreen);
    ASSERT_TRUE(reader().setPoint(CGPoint {120, 80}, windows[0].axElement, AXAttribute::position));
    windows = windowsUntil(client.processId(), [](const auto& l) { return !l[0].isFullscreen && l[0].frame.minX() == 120; });
    EXPECT_FALSE(windows.at(0).isFullscreen);
    EXPECT_EQ(windows.at(0).frame.origin, (CGPoint {120, 80}));
}

TEST_F(LiveWriteTest, MaximizedWindowGetsExactlyTheSizeAskedFor)
{
    // Maximized, the window manager draws no side borders and a smaller bottom edge; the
    // size must be worked out with the borders the window has once it is normal again.
    TestClientProcess client({"--class", "zen-max,MaxClient", "--window", "title=Max,geometry=400x300+100+100"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_EQ(std::system(QStringLiteral("wmctrl -i -r %1 -b add,maximized_vert,maximized_horz").arg(ids[0]).toLocal8Bit().constData()), 0);
    QDeadlineTimer deadline(20000);
    bool maximized = false;
    while (!maximized && !deadline.hasExpired()) {
        // The window manager sets the state before the frame extents; the write must start
        // from the maximized extents (no side borders) to show the fault.
        for (const auto& w : platform->refresh()->windowsFrontFirst)
            maximized = maximized || (w.id == ids[0] && w.maximized && w.extents[0] == 0);
        if (!maximized)
            testsupport::pumpEventsFor(30);
    }
    ASSERT_TRUE(maximized);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 1; });
    ASSERT_EQ(windows.size(), 1u);

    ASSERT_TRUE(platform->setFrame(windows[0].axElement, CGRect(300, 150, 500, 350)));
    windows = windowsUntil(client.processId(), [](const auto& l) { return l[0].frame == CGRect(300, 150, 500, 350); });
    EXPECT_EQ(windows.at(0).frame, CGRect(300, 150, 500, 350));
    for (const auto& w : platform->refresh()->windowsFrontFirst) {
        if (w.id == ids[0]) {
            EXPECT_FALSE(w.maximized);
        }
    }
}

TEST_F(LiveWriteTest, OneBatchPlacesEveryWindowAndReportsTheVanishedOne)
{
    TestClientProcess stays({"--class", "zen-batch,BatchClient", "--window", "title=S1,geometry=200x100+50+50", "--window",
                             "title=S2,geometry=200x100+300+50", "--window", "title=S3,geometry=200x100+550+50,minimize"});
    auto leaves = std::make_unique<TestClientProcess>(QStringList {"--class", "zen-batch-gone,BatchGone", "--window", "title=G"});
    ASSERT_EQ(stays.waitUntilReady().size(), 3u);
    const auto goneIDs = leaves->waitUntilReady();
    ASSERT_EQ(goneIDs.size(), 1u);
    auto windows = windowsUntil(stays.processId(), [](const auto& l) { return l.size() == 3 && titled(l, "S3")->isMinimized; });
    ASSERT_EQ(windows.size(), 3u);
    // S2 maximized by the window manager, with the extents that go with it.
    const std::uint32_t s2 = titled(windows, "S2")->axElement.window;
    ASSERT_EQ(std::system(QStringLiteral("wmctrl -i -r %1 -b add,maximized_vert,maximized_horz").arg(s2).toLocal8Bit().constData()), 0);
    QDeadlineTimer maximizing(20000);
    for (bool maximized = false; !maximized && !maximizing.hasExpired();) {
        for (const auto& w : platform->refresh()->windowsFrontFirst)
            maximized = maximized || (w.id == s2 && w.maximized && w.extents[0] == 0);
    }
    windows = windowsUntil(stays.processId(), [](const auto& l) { return l.size() == 3; });
    const auto goneWindows = windowsUntil(leaves->processId(), [](const auto& l) { return l.size() == 1; });
    ASSERT_EQ(goneWindows.size(), 1u);
    const AXUIElement gone = goneWindows[0].axElement;
    leaves->terminate();
    testsupport::waitUntilWindowGone(*platform, goneIDs[0]);

    const std::vector<AXFramePlacement> batch {
        {titled(windows, "S1")->axElement, CGRect(100, 300, 250, 150), false},
        {gone, CGRect(10, 10, 100, 100), false},
        {titled(windows, "S2")->axElement, CGRect(1400, 200, 300, 180), false},
        {titled(windows, "S3")->axElement, CGRect(400, 500, 220, 140), true},
    };
    EXPECT_EQ(platform->setFrames(batch), (std::vector<bool> {true, false, true, true}));
    windows = windowsUntil(stays.processId(), [&](const auto& l) {
        return titled(l, "S1")->frame == batch[0].frame && titled(l, "S2")->frame == batch[2].frame
            && titled(l, "S3")->frame == batch[3].frame && !titled(l, "S3")->isMinimized;
    });
    EXPECT_EQ(titled(windows, "S1")->frame, batch[0].frame);
    EXPECT_EQ(titled(windows, "S2")->frame, batch[2].frame) << "the maximized one, to the pixel";
    EXPECT_EQ(titled(windows, "S3")->frame, batch[3].frame);
    EXPECT_FALSE(titled(windows, "S3")->isMinimized);

    // With no window to take out of the maximized state, a batch waits for the server once,
    // whether it places one window or three.
    const auto tripsFor = [&](const std::vector<AXFramePlacement>& placements) {
        platform->refresh();
        const auto before = platform->connection().roundTrips();
        EXPECT_EQ(std::ranges::count(platform->setFrames(placements), true), std::ptrdiff_t(placements.size()));
        return platform->connection().roundTrips() - before;
    };
    EXPECT_EQ(tripsFor({batch[0], batch[2], batch[3]}), 1u);
    EXPECT_EQ(tripsFor({batch[0]}), 1u);
}

// Only a damaged file puts a window beyond X11's 16-bit coordinates: that placement is
// refused, and the result of each one that follows still belongs to its own window.
TEST_F(LiveWriteTest, AnUnsendablePlacementFailsAloneAndTheNextWindowIsPlaced)
{
    TestClientProcess client({"--class", "zen-far,FarClient", "--window", "title=Far,geometry=200x100+50+50", "--window",
                              "title=Near,geometry=200x100+300+50"});
    ASSERT_EQ(client.waitUntilReady().size(), 2u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 2; });
    ASSERT_EQ(windows.size(), 2u);
    const CGRect farBefore = titled(windows, "Far")->frame;
    const std::vector<AXFramePlacement> batch {
        {titled(windows, "Far")->axElement, CGRect(40000, 10, 200, 100), false},
        {titled(windows, "Near")->axElement, CGRect(120, 320, 240, 130), false},
    };
    EXPECT_EQ(platform->setFrames(batch), (std::vector<bool> {false, true}));
    windows = windowsUntil(client.processId(), [&](const auto& l) { return titled(l, "Near")->frame == batch[1].frame; });
    EXPECT_EQ(titled(windows, "Near")->frame, batch[1].frame);
    EXPECT_EQ(titled(windows, "Far")->frame, farBefore);
}

// Where the window manager takes plain configure requests, they read the place by the
// window's own gravity and ignore one that looks like an old client's way of staying put:
// every window comes out where asked all the same, one partly beyond the left edge too.
TEST_F(LiveWriteTest, EveryGravityAndAMoveByTheDecorationsLandExactly)
{
    TestClientProcess client({"--class", "zen-gravity,GravityClient", "--window", "title=NorthWest,geometry=200x100+40+40",
                              "--window", "title=Static,geometry=200x100+300+40,gravity=10", "--window",
                              "title=SouthEast,geometry=200x100+560+40,gravity=9", "--window",
                              "title=Center,geometry=200x100+40+300,gravity=5", "--window", "title=Decorations,geometry=200x100+300+300",
                              "--window", "title=Outside,geometry=200x100+600+300"});
    ASSERT_EQ(client.waitUntilReady().size(), 6u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 6; });
    ASSERT_EQ(windows.size(), 6u);
    const auto state = platform->refresh();
    ASSERT_TRUE(X11WindowWriter::appliesConfigureRequestsExactly(state->windowManagerName)) << "plain requests are sent here";
    const DiscoveredWindow* moved = titled(windows, "Decorations");
    const auto read = std::ranges::find(state->windowsFrontFirst, moved->axElement.window, &X11ClientWindow::id);
    ASSERT_NE(read, state->windowsFrontFirst.end());
    ASSERT_GT(read->extents[2], 0u) << "the window manager draws a title bar";
    CGRect byDecorations = moved->frame;
    byDecorations.origin = CGPoint {moved->frame.minX() + read->extents[0], moved->frame.minY() + read->extents[2]};

    const std::vector<AXFramePlacement> batch {
        {titled(windows, "NorthWest")->axElement, CGRect(1350, 100, 260, 150), false},
        {titled(windows, "Static")->axElement, CGRect(700, 420, 240, 130), false},
        {titled(windows, "SouthEast")->axElement, CGRect(90, 520, 300, 200), false},
        {titled(windows, "Center")->axElement, CGRect(1500, 400, 211, 171), false},
        {moved->axElement, byDecorations, false},
        {titled(windows, "Outside")->axElement, CGRect(-150, 700, 200, 120), false},
    };
    EXPECT_EQ(platform->setFrames(batch), std::vector<bool>(6, true));
    const char* titles[] = {"NorthWest", "Static", "SouthEast", "Center", "Decorations", "Outside"};
    windows = windowsUntil(client.processId(), [&](const auto& l) {
        for (std::size_t i = 0; i < batch.size(); ++i)
            if (titled(l, titles[i])->frame != batch[i].frame)
                return false;
        return true;
    });
    for (std::size_t i = 0; i < batch.size(); ++i)
        EXPECT_EQ(titled(windows, titles[i])->frame, batch[i].frame) << titles[i];
}

TEST_F(LiveWriteTest, UnminimizesRaisesAndFocuses)
{
    TestClientProcess client({"--class", "zen-stack,StackClient", "--window", "title=One,geometry=300x200+100+100",
                              "--window", "title=Two,geometry=300x200+150+150", "--window", "title=Icon,geometry=300x200+200+200,minimize"});
    ASSERT_EQ(client.waitUntilReady().size(), 3u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 3 && titled(l, "Icon")->isMinimized; });
    ASSERT_EQ(windows.size(), 3u);

    ASSERT_TRUE(reader().setBool(false, titled(windows, "Icon")->axElement, AXAttribute::minimized));
    windows = windowsUntil(client.processId(), [](const auto& l) { return !titled(l, "Icon")->isMinimized; });
    EXPECT_FALSE(titled(windows, "Icon")->isMinimized);
    EXPECT_TRUE(titled(windows, "Icon")->isVisible);

    for (const char* title : {"One", "Two"}) {
        ASSERT_TRUE(reader().performAction(AXAction::raise, titled(windows, title)->axElement));
        windows = windowsUntil(client.processId(), [&](const auto& l) { return l[0].title == title; });
        EXPECT_EQ(windows.at(0).title, title);
    }

    const AXUIElement one = titled(windows, "One")->axElement;
    ASSERT_TRUE(reader().setBool(true, one, AXAttribute::main));
    QDeadlineTimer deadline(20000);
    while (!reader().boolean(one, AXAttribute::focused).value_or(false) && !deadline.hasExpired())
        testsupport::pumpEventsFor(30);
    EXPECT_EQ(reader().boolean(one, AXAttribute::focused), true);

    EXPECT_TRUE(platform->activateApplication(std::int32_t(client.processId())));
    EXPECT_FALSE(platform->activateApplication(0x7FFFFFF0));
}

TEST_F(LiveWriteTest, BackToBackQuestionsShareOneReadingUntilAWrite)
{
    TestClientProcess client({"--class", "zen-pass,PassClient", "--window", "title=P,geometry=200x150+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    auto windows = windowsUntil(client.processId(), [](const auto& l) { return l.size() == 1; });
    ASSERT_EQ(windows.size(), 1u);
    const auto roundTrips = [&] { return platform->connection().roundTrips(); };

    // Shared only when asked within moments of each other: a loaded machine may stall a
    // thread between the two, so one of several tries must show it.
    bool shared = false;
    for (int attempt = 0; attempt < 20 && !shared; ++attempt) {
        platform->refresh();
        const auto before = roundTrips();
        platform->screens();
        platform->runningApplications();
        platform->copyWindowList(WindowListOption::optionAll);
        shared = roundTrips() == before;
    }
    EXPECT_TRUE(shared);

    // Whatever the timing, a write makes the next question read the desktop again.
    platform->refresh();
    ASSERT_TRUE(platform->setFrame(windows[0].axElement, CGRect(150, 120, 220, 160)));
    auto before = roundTrips();
    platform->runningApplications();
    EXPECT_GT(roundTrips(), before);
    ASSERT_TRUE(platform->performAction(windows[0].axElement, AXAction::raise));
    before = roundTrips();
    EXPECT_TRUE(platform->copyWindowList(WindowListOption::optionAll).has_value());
    EXPECT_GT(roundTrips(), before);
}

TEST_F(LiveWriteTest, WritesToAVanishedWindowFail)
{
    auto client = std::make_unique<TestClientProcess>(QStringList {"--class", "zen-gone,GoneClient", "--window", "title=Gone"});
    ASSERT_EQ(client->waitUntilReady().size(), 1u);
    const qint64 pid = client->processId();
    auto windows = windowsUntil(pid, [](const auto& l) { return l.size() == 1; });
    ASSERT_EQ(windows.size(), 1u);
    // Read the window into the platform's latest reading, then let it vanish.
    ASSERT_TRUE(reader().point(windows[0].axElement, AXAttribute::position).has_value());
    client->terminate();
    // The server destroys the window once it notices the client's connection closed, which a
    // loaded machine may delay.
    xcb_connection_t* c = platform->connection().connection();
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        xcb_generic_error_t* e = nullptr;
        auto* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windows[0].axElement.window), &e);
        const bool gone = !r;
        std::free(r);
        std::free(e);
        if (gone)
            break;
        testsupport::pumpEventsFor(20);
    }
    EXPECT_FALSE(reader().setPoint(CGPoint {10, 10}, windows[0].axElement, AXAttribute::position));
    EXPECT_FALSE(reader().performAction(AXAction::raise, windows[0].axElement));
}

TEST(RaiseBatchTest, RaisesThatLeaveTheOrderAsItIsAreLeftOut)
{
    // Front-most first: a dock above all, then normal windows.
    auto desktop = [](std::vector<std::uint32_t> frontFirst) {
        X11DesktopState state;
        X11ClientWindow dock;
        dock.id = 99;
        dock.dockOrDesktop = true;
        state.windowsFrontFirst.push_back(dock);
        for (std::uint32_t id : frontFirst) {
            X11ClientWindow w;
            w.id = id;
            state.windowsFrontFirst.push_back(w);
        }
        return state;
    };
    struct Case {
        const char* what;
        std::vector<std::uint32_t> frontFirst;
        std::vector<xcb_window_t> raises; // back-most first
        std::size_t leftOut;
    };
    const std::vector<Case> cases {
        {"already in order on top", {3, 2, 1, 7}, {1, 2, 3}, 3},
        {"the front two swapped: only the front-most is raised", {2, 3, 1, 7}, {1, 2, 3}, 2},
        {"the back two swapped: the front-most two are raised", {3, 1, 2, 7}, {1, 2, 3}, 1},
        {"another window between: all raised", {3, 7, 2, 1}, {1, 2, 3}, 0},
        {"another window in front", {7, 3, 2, 1}, {1, 2, 3}, 0},
        {"the back-most below another: the front two need no raise, but the back-most does", {3, 2, 7, 1}, {1, 2, 3}, 0},
        {"a window named twice: all raised", {3, 2, 1}, {1, 2, 1}, 0},
        {"a window the reading lacks: all raised", {3, 2}, {1, 2, 3}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(raisesLeavingOrderAsItIs(desktop(c.frontFirst), c.raises), c.leftOut) << c.what;
}

// Errors of requests nobody checks arrive as events on a connection no one reads events
// from; each batch of writes frees them, so they never pile up.
TEST(LiveWriterQueueTest, WritesLeaveNoErrorsQueued)
{
    const auto connection = X11Connection::open();
    if (!connection)
        GTEST_SKIP() << "no X server";
    xcb_connection_t* c = connection->connection();
    const xcb_window_t gone = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, gone, connection->root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_destroy_window(c, gone);
    X11WindowWriter writer(*connection);
    for (int i = 0; i < 20; ++i) {
        {
            // A request racing the window's end, as a restore's may.
            std::lock_guard lock(connection->mutex());
            xcb_map_window(c, gone);
            xcb_flush(c);
        }
        EXPECT_FALSE(i % 2 ? writer.raise(gone) : writer.setMinimized(gone, false));
        std::lock_guard lock(connection->mutex());
        xcb_generic_event_t* left = xcb_poll_for_queued_event(c);
        EXPECT_EQ(left, nullptr) << "response type " << (left ? int(left->response_type) : -1);
        std::free(left);
    }
}

// A minimize reaches the window manager as an event it handles in its turn, some while after
// the server has it; a busy one (held still here) later still. The state read once the window
// manager has worked through what it was sent shows the minimize, and is read as soon as the
// window manager has answered, not when the wait for one that never does runs out.
TEST(OwnWindowsLiveTest, AMinimizeOnItsWayShowsOnceTheWindowManagerHasHandledIt)
{
    testsupport::XSession x;
    if (!x.isOpen())
        GTEST_SKIP() << "no X server";
    TestClientProcess client({"--class", "zen-own,OwnClient", "--window", "title=Own,geometry=300x200+100+100"});
    const auto shown = client.waitUntilReady();
    ASSERT_EQ(shown.size(), 1u);
    X11OwnWindows own;
    ASSERT_TRUE(testsupport::waitFor([&] {
        const auto state = own.state(shown[0]);
        return state && !state->minimized && state->activeWindow == shown[0];
    }));
    {
        // It goes on by itself in a moment, while the read below waits for its answer.
        testsupport::HeldWindowManager held(x, 300);
        ASSERT_TRUE(held.held());
        testsupport::minimizeWindow(x, shown[0]);
        // Answered once the server has passed the minimize on: the read below comes after it.
        testsupport::activeWindow(x);
        QElapsedTimer clock;
        clock.start();
        const auto state = own.stateAfterPendingRequests(shown[0], std::chrono::seconds(5));
        const qint64 took = clock.elapsed();
        ASSERT_TRUE(state);
        EXPECT_TRUE(state->minimized);
        // Held 0.3 s: a read that returns by 1.5 s went on the answer.
        EXPECT_LT(took, 1500) << "the read waited for the deadline, not for the window manager's answer";
    }
}

// A window manager of the test's own on an X server of its own, scripted as a stopped one that
// goes on: it holds the first request it is sent, and answers it only once a second one has come
// (or, by itself, after 5 s). Between that late answer and the second's it takes a second and
// makes another window active, as the person's choice of a window reaches it.
class ScriptedWindowManager {
public:
    ScriptedWindowManager(const QString& display, xcb_window_t active, xcb_window_t chosen)
        : m_chosen(chosen)
    {
        m_c = xcb_connect(qPrintable(display), nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const std::uint32_t redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_generic_error_t* error =
            xcb_request_check(m_c, xcb_change_window_attributes_checked(m_c, m_root, XCB_CW_EVENT_MASK, &redirect));
        m_running = error == nullptr;
        std::free(error);
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1,
                            &active);
        xcb_flush(m_c);
        if (m_running)
            m_thread = std::thread([this] { run(); });
    }
    ~ScriptedWindowManager()
    {
        if (m_thread.joinable())
            m_thread.join();
        xcb_disconnect(m_c);
    }
    bool running() const { return m_running; }
    xcb_connection_t* connection() const { return m_c; }

private:
    std::optional<xcb_configure_request_event_t> nextRequest(std::chrono::milliseconds within)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (xcb_generic_event_t* event = nextEventBefore(m_c, deadline)) {
            const auto request = *reinterpret_cast<xcb_configure_request_event_t*>(event);
            std::free(event);
            if ((request.response_type & 0x7F) == XCB_CONFIGURE_REQUEST)
                return request;
        }
        return std::nullopt;
    }
    void answer(const xcb_configure_request_event_t& request)
    {
        const std::uint32_t x = std::uint32_t(std::int32_t(request.x));
        xcb_configure_window(m_c, request.window, XCB_CONFIG_WINDOW_X, &x);
        xcb_flush(m_c);
    }
    void run()
    {
        const auto first = nextRequest(std::chrono::seconds(20));
        if (!first)
            return;
        auto second = nextRequest(std::chrono::seconds(5));
        answer(*first);
        if (!second)
            second = nextRequest(std::chrono::seconds(20));
        std::this_thread::sleep_for(std::chrono::seconds(1));
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1,
                            &m_chosen);
        xcb_flush(m_c);
        if (second)
            answer(*second);
    }
    xcb_atom_t atom(const char* name)
    {
        const auto reply = replyOf(xcb_intern_atom_reply, m_c, xcb_intern_atom(m_c, 0, std::uint16_t(std::strlen(name)), name));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_chosen;
    bool m_running = false;
    std::thread m_thread;
};

// A read waits for the window manager's answer to its own request, and no longer than its
// bound: a window manager that was stopped holds it no longer than that, and answers it later,
// while the next read waits; that late answer is not the next read's, which would read the
// state before the window the person chose meanwhile is known.
TEST(OwnWindowsLiveTest, EachReadWaitsForItsOwnAnswerAndNoLongerThanItsBound)
{
    testsupport::PrivateXServer server({"-screen", "0", "1280x800x24"});
    if (server.display().isEmpty())
        GTEST_SKIP() << "no X server of its own";
    const test::ScopedVariable display("DISPLAY", server.display());
    xcb_connection_t* c = xcb_connect(qPrintable(server.display()), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto window = [&] {
        const xcb_window_t made = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, made, root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        return made;
    };
    const xcb_window_t ours = window(), chosen = window();
    xcb_flush(c);
    ScriptedWindowManager windowManager(server.display(), ours, chosen);
    ASSERT_TRUE(windowManager.running());

    X11OwnWindows own;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(own.stateAfterPendingRequests(ours, std::chrono::milliseconds(300)));
    // The bound it was given, and what a busy machine adds: never the 5 s until the window
    // manager goes on.
    EXPECT_LT(clock.elapsed(), 3000) << "held past its bound by a window manager that did not answer";
    const auto state = own.stateAfterPendingRequests(ours, std::chrono::seconds(10));
    ASSERT_TRUE(state);
    EXPECT_EQ(state->activeWindow, WId(chosen)) << "an earlier request's late answer was taken for this one's";
    xcb_disconnect(c);
}

} // namespace
} // namespace zen
