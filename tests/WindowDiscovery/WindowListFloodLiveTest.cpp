// Saves while a client floods the window manager's list past what one reading takes: the real
// windows are saved, minimized ones too, in the order the list gives them.
#include "Platform/X11/X11DesktopReader.h"
#include "Platform/X11/X11Platform.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace zen {
namespace {

using testsupport::TestClientProcess;

// Writes the root's stacking list on a connection of its own, as a client may, and puts the
// window manager's list back afterwards.
class StackingListWriter {
public:
    StackingListWriter() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const char name[] = "_NET_CLIENT_LIST_STACKING";
        auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, sizeof name - 1, name), nullptr);
        m_atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        auto* p = xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, m_root, m_atom, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr);
        if (p && p->format == 32) {
            const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(p));
            m_saved.assign(v, v + xcb_get_property_value_length(p) / 4);
        }
        std::free(p);
    }
    ~StackingListWriter()
    {
        if (usable())
            write(m_saved);
        xcb_disconnect(m_c);
    }
    bool usable() const { return !xcb_connection_has_error(m_c) && m_atom != XCB_ATOM_NONE; }
    const std::vector<std::uint32_t>& windowManagersList() const { return m_saved; }
    // Ids no window has.
    std::vector<std::uint32_t> inventedIds(std::size_t count)
    {
        std::vector<std::uint32_t> ids(count);
        for (auto& id : ids)
            id = xcb_generate_id(m_c);
        return ids;
    }
    void write(const std::vector<std::uint32_t>& bottomToTop)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, m_atom, XCB_ATOM_WINDOW, 32,
                            std::uint32_t(bottomToTop.size()), bottomToTop.data());
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_atom_t m_atom = XCB_ATOM_NONE;
    std::vector<std::uint32_t> m_saved;
};

struct WindowListFloodLiveTest : ::testing::Test {
    static inline std::shared_ptr<X11Platform> platform;
    static void SetUpTestSuite() { platform = X11Platform::connect(); }
    static void TearDownTestSuite() { platform.reset(); }
    void SetUp() override
    {
        if (!platform)
            GTEST_SKIP() << "no X server";
    }

    // Until the window manager lists every id (it lists new clients asynchronously).
    bool listed(const std::vector<std::uint32_t>& ids)
    {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            const auto state = platform->refresh();
            if (std::ranges::all_of(ids, [&](std::uint32_t id) {
                    return std::ranges::find(state->windowsFrontFirst, id, &X11ClientWindow::id) != state->windowsFrontFirst.end();
                }))
                return true;
            testsupport::pumpEventsFor(50);
        }
        return false;
    }

    // The client's windows as a save records them now, front-most first.
    std::vector<WindowRecord> saved(const TestClientProcess& client)
    {
        platform->forgetReading(); // the list was written since the last reading
        QTemporaryDir dir;
        const SnapshotCaptureService service(SnapshotStore(dir.path()), WindowDiscoveryEngine::forPlatform(platform->services()),
                                             DisplayResolver(platform->services().screens));
        auto context = SnapshotCaptureService::CaptureContext::current(platform->services());
        std::erase_if(context.runningApplications, [&](const auto& app) { return app.processIdentifier != client.processId(); });
        const auto layout = service.captureSnapshot(QStringLiteral("Flooded"), QDateTime::currentDateTimeUtc(), context);
        EXPECT_TRUE(layout.has_value());
        if (!layout)
            return {};
        auto windows = layout->windows;
        std::ranges::sort(windows, {}, [](const WindowRecord& w) { return w.zOrderHint.value_or(0); });
        return windows;
    }
};

TEST_F(WindowListFloodLiveTest, IdsPastTheListsBoundOnTopStillLetMinimizedWindowsBeSaved)
{
    TestClientProcess client({"--class", "zen-flood,Flood", "--window", "title=Shown,geometry=200x150+40+40", "--window",
                              "title=Minimized,geometry=200x150+300+40,minimize"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_TRUE(listed(ids));

    StackingListWriter writer;
    ASSERT_TRUE(writer.usable());
    // Bottom to top: the window manager's list, then more ids on top than a reading looks at.
    std::vector<std::uint32_t> list = writer.windowManagersList();
    const auto flood = writer.inventedIds(maximumClientListLength + 1);
    list.insert(list.end(), flood.begin(), flood.end());
    writer.write(list);

    const auto windows = saved(client);
    ASSERT_EQ(windows.size(), 2u);
    for (const WindowRecord& w : windows)
        EXPECT_EQ(w.isMinimized, w.windowTitle == QStringLiteral("Minimized")) << w.windowTitle.value_or(QString()).toStdString();
}

TEST_F(WindowListFloodLiveTest, AListLongerThanTheCapKeepsItsFrontToBackOrder)
{
    TestClientProcess client({"--class", "zen-order,Order", "--window", "title=A,geometry=200x150+40+40", "--window",
                              "title=B,geometry=200x150+300+40", "--window", "title=C,geometry=200x150+560+40"});
    const auto ids = client.waitUntilReady();
    ASSERT_EQ(ids.size(), 3u);
    ASSERT_TRUE(listed(ids));

    StackingListWriter writer;
    ASSERT_TRUE(writer.usable());
    // Bottom to top: C, then more invented ids than a reading takes, so that C lies past the
    // part read, then the window manager's windows with the client's B under A, an order of the
    // list's own, not the server's. The part read keeps the list's order; C, not reached, comes
    // below it.
    std::vector<std::uint32_t> list{ids[2]};
    const auto flood = writer.inventedIds(maximumClientListLength);
    list.insert(list.end(), flood.begin(), flood.end());
    for (const std::uint32_t id : writer.windowManagersList())
        if (std::ranges::find(ids, id) == ids.end())
            list.push_back(id);
    for (const std::size_t i : {1, 0})
        list.push_back(ids[i]);
    writer.write(list);

    const auto windows = saved(client);
    std::vector<std::string> titles;
    for (const WindowRecord& w : windows)
        titles.push_back(w.windowTitle.value_or(QString()).toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"A", "B", "C"}));
}

} // namespace
} // namespace zen
