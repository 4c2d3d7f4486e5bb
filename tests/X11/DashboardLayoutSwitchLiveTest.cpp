// The dashboard's detail pane as the X server shows it while the selection moves from layout to
// layout, by a click on a row and by the arrow keys: every frame that reaches the screen is the
// face that was there or the face the pane settles on, never one laid out by halves.
#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowFixture.h"
#include "Shared/UserDefaults.h"
#include "Support/LiveDesktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWindow>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace zen {
namespace {

using namespace testsupport;
using test::makeDisplay;
using test::makeWindow;

// Reads an area of the root window from a connection of its own, every few milliseconds, as a
// screen recorder would, and keeps each frame that differs from the one before it.
class ScreenRecorder {
public:
    explicit ScreenRecorder(QRect area) : m_area(area)
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_sinceChange.start();
        m_thread = std::thread([this] { run(); });
    }
    ~ScreenRecorder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        xcb_disconnect(m_connection);
    }

    bool isRecording() const { return m_thread.joinable(); }
    // The frames that came since the last call, oldest first.
    std::vector<QImage> takeFrames()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_frames, {});
    }
    QImage latest()
    {
        const std::lock_guard lock(m_mutex);
        return m_latest;
    }
    // How long the area has shown the same picture.
    qint64 stillFor()
    {
        const std::lock_guard lock(m_mutex);
        return m_sinceChange.elapsed();
    }

private:
    void run()
    {
        while (!m_stop) {
            const auto cookie = xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, std::int16_t(m_area.x()),
                                              std::int16_t(m_area.y()), std::uint16_t(m_area.width()),
                                              std::uint16_t(m_area.height()), ~0u);
            if (xcb_get_image_reply_t* reply = xcb_get_image_reply(m_connection, cookie, nullptr)) {
                const int length = xcb_get_image_data_length(reply);
                if (length >= m_area.width() * m_area.height() * 4) {
                    const QImage frame = QImage(xcb_get_image_data(reply), m_area.width(), m_area.height(),
                                                QImage::Format_RGB32)
                                             .copy();
                    const std::lock_guard lock(m_mutex);
                    if (frame != m_latest) {
                        m_latest = frame;
                        m_frames.push_back(frame);
                        m_sinceChange.restart();
                    }
                }
                std::free(reply);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }

    const QRect m_area;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::vector<QImage> m_frames;
    QImage m_latest;
    QElapsedTimer m_sinceChange;
};

struct SwitchWindow : test::DashboardWindowFixture {
    UserDefaults defaults{root.filePath("prefs.conf")};
    std::unique_ptr<DashboardView> view;
};

// Six layouts of four windows on two monitors, as a person switching between them has.
TEST(DashboardLayoutSwitchLiveTest, EveryFrameOfThePaneIsTheLayoutLeftOrTheLayoutChosen)
{
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X server";
    SwitchWindow f;
    const QStringList apps{"org.example.Editor", "org.example.Mail", "org.example.Notes", "org.example.Terminal"};
    for (int i = 0; i < 6; ++i) {
        std::vector<WindowRecord> windows;
        for (int w = 0; w < 4; ++w) {
            WindowRecord record = makeWindow(apps[(i + w) % 4], std::uint32_t(1 + w % 2), w);
            record.windowTitle = QStringLiteral("Window %1 of layout %2").arg(w + 1).arg(i + 1);
            windows.push_back(record);
        }
        Snapshot layout = f.add(QStringLiteral("Layout %1").arg(i + 1), i * 60, std::move(windows));
        layout.sourceDisplayState = DisplayState::make(
            {makeDisplay(1, CGRect(0, 0, 1280, 800), true), makeDisplay(2, CGRect(1280, 0, 1024, 768))}, 1);
        ASSERT_TRUE(f.store.save(layout).has_value());
    }
    f.refresh();
    DashboardView::Dependencies d;
    d.permissionCoordinator = f.coordinator;
    d.permissionRouter = f.router;
    d.snapshotMenuController = f.controller;
    d.frameStore = &f.defaults;
    d.now = [] { return test::fixedDate(0, 30); };
    f.view = std::make_unique<DashboardView>(std::move(d));
    DashboardView& view = *f.view;
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.show();
    ASSERT_TRUE(waitFor([&] { return view.windowHandle()->isExposed() && view.isActiveWindow(); }))
        << "the dashboard was not framed and focused";
    // The window manager places the frame once; the pane is where it stays from then on.
    ASSERT_FALSE(waitUntilSettled([&] { return view.geometry(); }).isEmpty());
    QWidget* pane = view.detailPane();
    const QRect area(pane->mapToGlobal(QPoint()), pane->size());
    ScreenRecorder recorder(area);
    ASSERT_TRUE(recorder.isRecording());
    XSession x;
    ASSERT_TRUE(x.isOpen());
    DashboardSnapshotListView* list = view.layoutList();
    const auto rowOf = [&] { return list->currentRow(); };

    const auto settled = [&] {
        // Well past the time a toolkit takes to draw a change and the screen to show it.
        return waitFor([&] { return recorder.stillFor() > 250; });
    };
    static const ScreenshotFolder folder;
    int switches = 0;
    int torn = 0;
    const auto switchTo = [&](int row, const char* how, const std::function<void()>& act) {
        ASSERT_TRUE(settled());
        const QImage before = recorder.latest();
        recorder.takeFrames();
        act();
        ASSERT_TRUE(waitFor([&] { return rowOf() == row; })) << how << ": row " << row << " was not selected";
        ASSERT_TRUE(waitFor([&] { return recorder.latest() != before; })) << how << ": the pane did not change";
        ASSERT_TRUE(settled());
        const QImage after = recorder.latest();
        ++switches;
        int between = 0;
        for (const QImage& frame : recorder.takeFrames())
            if (frame != before && frame != after)
                folder.save(frame, QStringLiteral("pane-torn-%1-%2").arg(switches).arg(between++));
        if (between) {
            ++torn;
            folder.save(before, QStringLiteral("pane-torn-%1-before").arg(switches));
            folder.save(after, QStringLiteral("pane-torn-%1-after").arg(switches));
            ADD_FAILURE() << how << " to row " << row << ": " << between
                          << " frame(s) showed neither the layout left nor the one chosen (in " << folder.path().toStdString()
                          << ")";
        }
    };

    // By a click on another row each time: two clicks rows apart make no double click.
    for (int i = 0; i < 20; ++i) {
        const int row = (rowOf() + 1 + i % 5) % 6;
        switchTo(row, "click", [&] {
            x.click(list->viewport(), list->visualRect(view.layoutModel()->index(row)).center());
        });
    }
    // By the arrow keys, down the list and up again.
    ASSERT_TRUE(list->hasFocus());
    constexpr xcb_keycode_t down = 116, up = 111;
    bool goingDown = true;
    for (int i = 0; i < 20; ++i) {
        if (rowOf() == 5 || rowOf() == 0)
            goingDown = rowOf() == 0;
        const int row = rowOf() + (goingDown ? 1 : -1);
        switchTo(row, "key", [&] { x.key(goingDown ? down : up); });
    }
    EXPECT_EQ(torn, 0) << "of " << switches << " switches";
}

} // namespace
} // namespace zen
