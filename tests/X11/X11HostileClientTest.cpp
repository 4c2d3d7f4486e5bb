// Clients that lie to the desktop reader: claimed process ids, a window list full of ids
// that name no window, and a list longer than one reading takes.
#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11DesktopReader.h"
#include "Platform/X11/X11Platform.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

namespace zen {
namespace {

using testsupport::TestClientProcess;

// A connection of the test's own that writes the root's client list the way a hostile client
// (or a broken window manager) could, and puts the window manager's list back afterwards.
class ClientListForger {
public:
    ClientListForger()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const char name[] = "_NET_CLIENT_LIST_STACKING";
        auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, sizeof name - 1, name), nullptr);
        m_atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        m_saved = read();
    }
    ~ClientListForger()
    {
        if (m_atom != XCB_ATOM_NONE)
            write(m_saved);
        xcb_disconnect(m_c);
    }
    bool usable() const { return !xcb_connection_has_error(m_c) && m_atom != XCB_ATOM_NONE; }
    const std::vector<std::uint32_t>& windowManagersList() const { return m_saved; }

    // Ids of this connection that are never created: no window has them.
    std::vector<std::uint32_t> inventedIds(std::size_t count)
    {
        std::vector<std::uint32_t> ids(count);
        for (auto& id : ids)
            id = xcb_generate_id(m_c);
        return ids;
    }
    // Windows of this connection that are made and never mapped: real windows nobody manages.
    std::vector<std::uint32_t> unmappedWindows(std::size_t count)
    {
        std::vector<std::uint32_t> ids(count);
        for (auto& id : ids) {
            id = xcb_generate_id(m_c);
            xcb_create_window(m_c, XCB_COPY_FROM_PARENT, id, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              XCB_COPY_FROM_PARENT, 0, nullptr);
        }
        return ids;
    }
    void write(const std::vector<std::uint32_t>& bottomToTop)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, m_atom, XCB_ATOM_WINDOW, 32,
                            std::uint32_t(bottomToTop.size()), bottomToTop.data());
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); // wait until it is done
    }

private:
    std::vector<std::uint32_t> read()
    {
        auto* r = xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, m_root, m_atom, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr);
        std::vector<std::uint32_t> ids;
        if (r && r->format == 32) {
            const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
            ids.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        std::free(r);
        return ids;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_atom = XCB_ATOM_NONE;
    std::vector<std::uint32_t> m_saved;
};

struct HostileClientTest : ::testing::Test {
    static inline std::shared_ptr<X11Platform> platform;

    static void SetUpTestSuite() { platform = X11Platform::connect(); }
    static void TearDownTestSuite() { platform.reset(); }
    void SetUp() override
    {
        if (!platform)
            GTEST_SKIP() << "no X server";
    }

    // Reads until every id is listed (the window manager lists new clients asynchronously).
    std::shared_ptr<const X11DesktopState> readUntilListed(const std::vector<std::uint32_t>& ids)
    {
        QDeadlineTimer deadline(20000);
        std::shared_ptr<const X11DesktopState> state;
        do {
            state = platform->refresh();
            const bool all = std::ranges::all_of(ids, [&](std::uint32_t id) {
                return std::ranges::any_of(state->windowsFrontFirst, [&](const X11ClientWindow& w) { return w.id == id; });
            });
            if (all)
                break;
            testsupport::pumpEventsFor(50);
        } while (!deadline.hasExpired());
        return state;
    }
};

TEST_F(HostileClientTest, TheServerNamesTheProcessWhateverTheWindowClaims)
{
    // Two programs claiming one pid (as clients in another pid namespace do), and one
    // claiming a pid that no process has.
    TestClientProcess first({"--class", "zen-claim-a,ClaimA", "--claim-pid", "1", "--window", "title=ClaimA,geometry=200x150+40+40"});
    TestClientProcess second({"--class", "zen-claim-b,ClaimB", "--claim-pid", "1", "--window", "title=ClaimB,geometry=200x150+300+40"});
    TestClientProcess ghost({"--class", "zen-ghost,Ghost", "--claim-pid", "2147483000", "--window", "title=Ghost,geometry=200x150+560+40"});
    const auto a = first.waitUntilReady(), b = second.waitUntilReady(), g = ghost.waitUntilReady();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(g.size(), 1u);
    const auto state = readUntilListed({a[0], b[0], g[0]});
    auto pidOf = [&](std::uint32_t id) -> std::optional<std::int32_t> {
        for (const auto& w : state->windowsFrontFirst)
            if (w.id == id)
                return w.pid;
        return std::nullopt;
    };
    EXPECT_EQ(pidOf(a[0]), first.processId());
    EXPECT_EQ(pidOf(b[0]), second.processId());
    EXPECT_EQ(pidOf(g[0]), ghost.processId());

    // Discovery keeps each as an application of its own, with its windows.
    const auto result = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindowsWithDiagnostics();
    ASSERT_TRUE(result.has_value());
    for (const auto* client : {&first, &second, &ghost}) {
        const auto app = std::ranges::find(result->applications, std::int32_t(client->processId()), &DiscoveredApplication::pid);
        ASSERT_NE(app, result->applications.end()) << "pid " << client->processId();
        EXPECT_EQ(app->windows.size(), 1u);
    }
}

TEST_F(HostileClientTest, AListOfIdsThatNameNoWindowReadsAsTheRealWindowsOnly)
{
    // Each invented id answers every request with an error; the errors are freed (the
    // sanitizer run of this test fails on a leak) and the reading holds the real clients.
    TestClientProcess client({"--class", "zen-real,Real", "--window", "title=Real,geometry=200x150+40+300"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_FALSE(readUntilListed(ids)->windowsFrontFirst.empty());

    ClientListForger forger;
    ASSERT_TRUE(forger.usable());
    std::vector<std::uint32_t> list = forger.inventedIds(300);
    list.insert(list.end(), forger.windowManagersList().begin(), forger.windowManagersList().end());
    forger.write(list);

    const auto state = platform->refresh();
    EXPECT_TRUE(state->valid);
    EXPECT_FALSE(state->windowListTruncated);
    EXPECT_EQ(state->windowsFrontFirst.size(), forger.windowManagersList().size());
    EXPECT_TRUE(std::ranges::any_of(state->windowsFrontFirst, [&](const X11ClientWindow& w) { return w.id == ids[0]; }));
    EXPECT_FALSE(xcb_connection_has_error(platform->connection().connection()));
}

TEST_F(HostileClientTest, AListBeyondTheCapKeepsTheFrontMostWindowsAndSaysSo)
{
    TestClientProcess client({"--class", "zen-front,Front", "--window", "title=Front,geometry=200x150+300+300"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_FALSE(readUntilListed(ids)->windowsFrontFirst.empty());

    ClientListForger forger;
    ASSERT_TRUE(forger.usable());
    // Bottom to top: far more invented ids than a reading takes, the real client on top.
    std::vector<std::uint32_t> list = forger.inventedIds(70000);
    list.push_back(ids[0]);
    forger.write(list);

    const auto state = platform->refresh();
    EXPECT_TRUE(state->valid);
    EXPECT_TRUE(state->windowListTruncated);
    ASSERT_EQ(state->windowsFrontFirst.size(), 1u);
    EXPECT_EQ(state->windowsFrontFirst[0].id, ids[0]);

    const auto result = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindowsWithDiagnostics();
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->windowListTruncated);
    ASSERT_FALSE(result->diagnostics.empty());
    EXPECT_EQ(result->diagnostics.back().reason, WindowDiscoveryDiagnosticReason::windowListTruncated);
}

TEST_F(HostileClientTest, InventedIdsInFrontOfTheListHideNoRealWindow)
{
    TestClientProcess client({"--class", "zen-behind,Behind", "--window", "title=Behind,geometry=200x150+40+40"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_FALSE(readUntilListed(ids)->windowsFrontFirst.empty());

    ClientListForger forger;
    ASSERT_TRUE(forger.usable());
    // Bottom to top: the window manager's list, then more invented ids on top than the cap.
    std::vector<std::uint32_t> list = forger.windowManagersList();
    const auto invented = forger.inventedIds(65536);
    list.insert(list.end(), invented.begin(), invented.end());
    forger.write(list);

    const auto state = platform->refresh();
    EXPECT_TRUE(state->valid);
    EXPECT_TRUE(state->windowListTruncated);
    EXPECT_EQ(state->windowsFrontFirst.size(), forger.windowManagersList().size());
    EXPECT_TRUE(std::ranges::any_of(state->windowsFrontFirst, [&](const X11ClientWindow& w) { return w.id == ids[0]; }));
    EXPECT_FALSE(xcb_connection_has_error(platform->connection().connection()));
}

// More ids on top of the window manager's list than the cap, of windows that don't exist or
// that nobody manages: every real window is still read.
TEST_F(HostileClientTest, NeitherInventedNorUnmappedWindowsOnTopPushTheRealOnesOut)
{
    TestClientProcess client({"--class", "zen-buried,Buried", "--window", "title=Buried 1,geometry=200x150+40+40",
                              "--window", "title=Buried 2,geometry=200x150+300+40"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_FALSE(readUntilListed(ids)->windowsFrontFirst.empty());

    struct Case {
        const char* what;
        std::function<std::vector<std::uint32_t>(ClientListForger&)> junk;
    };
    const Case cases[] = {
        {"ids that name no window, as many as a reading looks at",
         [](ClientListForger& f) { return f.inventedIds(maximumClientListLength); }},
        {"windows made and never mapped, as many as the cap",
         [](ClientListForger& f) { return f.unmappedWindows(maximumClientWindowsPerReading); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClientListForger forger;
        ASSERT_TRUE(forger.usable());
        std::vector<std::uint32_t> list = forger.windowManagersList();
        const auto junk = c.junk(forger);
        list.insert(list.end(), junk.begin(), junk.end());
        forger.write(list);

        const auto state = platform->refresh();
        EXPECT_TRUE(state->valid);
        EXPECT_EQ(state->windowsFrontFirst.size(), forger.windowManagersList().size());
        for (const std::uint32_t id : ids)
            EXPECT_TRUE(std::ranges::any_of(state->windowsFrontFirst, [&](const X11ClientWindow& w) { return w.id == id; }));
        EXPECT_FALSE(xcb_connection_has_error(platform->connection().connection()));
    }
}

} // namespace
} // namespace zen
