// "Open Dashboard" until the window is on screen whole, against the yardstick of a bare Qt
// window showing the same rows. "On screen whole" is what a second X connection sees: it reads
// the window's pixels over and over from the moment of the request until they are the settled
// picture of that window (for the dashboard: its detail pane with the preview drawn). Both run
// in every iteration, in alternating order, all warm; the ratio printed beside each result is
// the median (and range) of the paired runs. "Open Dashboard" goes through the program's own
// opener: the opening a person makes after closing the window, and the first one after start,
// when the window is made, are reported apart. Needs an X server (scripts/with-xvfb).
#include "App/DashboardOpener.h"
#include "Dashboard/DashboardView.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Updates/AppUpdateController.h"

#include "Support/ManualScheduler.h"
#include "Support/SnapshotFixtures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

using namespace zen;

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Fills the ratio counters from paired runs.
void reportRatios(benchmark::State& state, const std::vector<double>& ours, const std::vector<double>& yardstick)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size() && i < yardstick.size(); ++i)
        ratios.push_back(yardstick[i] > 0 ? ours[i] / yardstick[i] : 0);
    if (ratios.empty())
        return;
    state.counters["ours_ms"] = median(ours);
    state.counters["yardstick_ms"] = median(yardstick);
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

// Closes the window as a person does, through the window manager's close (WM_DELETE_WINDOW),
// and waits until it is hidden.
void closeAsAPersonDoes(QWidget& window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        window.close();
        return;
    }
    xcb_connection_t* c = x11->connection();
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window.winId());
    message.type = atom(c, "WM_PROTOCOLS");
    message.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    QElapsedTimer waited;
    waited.start();
    while (window.isVisible() && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The pixels of a window as the X server holds them, read on a connection of its own: what
// another program (a screenshot tool, a compositor) would see. Empty while the window cannot
// be read (not yet mapped).
class ScreenReader {
public:
    ScreenReader() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~ScreenReader() { xcb_disconnect(m_connection); }
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    bool isUsable() const { return !xcb_connection_has_error(m_connection); }

    std::vector<std::uint8_t> pixels(xcb_window_t window, QSize size) const
    {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, std::uint16_t(size.width()),
                          std::uint16_t(size.height()), ~0u),
            nullptr);
        if (!reply)
            return {};
        const std::uint8_t* data = xcb_get_image_data(reply);
        std::vector<std::uint8_t> result(data, data + xcb_get_image_data_length(reply));
        std::free(reply);
        return result;
    }

private:
    xcb_connection_t* m_connection;
};

// Watches one window on its own thread and connection until it shows an expected picture,
// then wakes the program's event loop.
class FrameWatch {
public:
    // Starts watching; `wanted` is the window's settled picture.
    FrameWatch(xcb_window_t window, QSize size, const std::vector<std::uint8_t>& wanted)
        : m_thread([this, window, size, &wanted] { watch(window, size, wanted); })
    {
    }
    ~FrameWatch()
    {
        m_stop = true;
        m_thread.join();
    }

    // Runs the program's events until the picture is seen (its time) or a time limit passed.
    std::optional<Clock::time_point> wait()
    {
        QElapsedTimer limit;
        limit.start();
        // Wakes the waiting loop now and then, should the watching thread have nothing to say.
        QTimer tick;
        tick.start(50);
        while (!m_seen && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_stop = true;
        return m_seen ? std::optional(m_seenAt) : std::nullopt;
    }

private:
    void watch(xcb_window_t window, QSize size, const std::vector<std::uint8_t>& wanted)
    {
        ScreenReader reader;
        while (!m_stop && reader.isUsable()) {
            if (reader.pixels(window, size) == wanted) {
                m_seenAt = Clock::now();
                m_seen = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        // Wakes the event loop in any case, also to let it see a stop.
        QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
    }

    Clock::time_point m_seenAt;
    std::atomic<bool> m_seen = false;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

void pumpEventsFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The window's picture once nothing changes any more: read until two readings a while apart
// agree.
std::vector<std::uint8_t> settledPicture(QWidget& window)
{
    ScreenReader reader;
    std::vector<std::uint8_t> last;
    for (int attempt = 0; attempt < 20; ++attempt) {
        pumpEventsFor(200);
        auto now = reader.pixels(xcb_window_t(window.winId()), window.size());
        if (!now.empty() && now == last)
            return now;
        last = std::move(now);
    }
    return {};
}

Snapshot layoutWithWindows(const QString& name, int windowCount, int age)
{
    std::vector<WindowRecord> windows;
    for (int i = 0; i < windowCount; ++i) {
        WindowRecord w = test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 20), std::uint32_t(1 + i % 2), i);
        w.normalizedFrame = {double(i % 10) / 10, double(i % 7) / 7, 0.3, 0.3};
        w.windowTitle = QStringLiteral("Document %1 \u2014 a window title").arg(i);
        windows.push_back(w);
    }
    Snapshot s = test::makeSnapshot(name, std::move(windows));
    s.sourceDisplayState = DisplayState::make({test::makeDisplay(1, CGRect(0, 0, 2560, 1440), true),
                                               test::makeDisplay(2, CGRect(2560, 0, 1920, 1080))},
                                              1);
    s.updatedAt = test::fixedDate(0, -age);
    return s;
}

// A store of `layouts` layouts of three windows each; with `selectedWindows`, the newest (the
// one the dashboard selects on opening) holds that many windows.
struct Store {
    QTemporaryDir root;
    std::shared_ptr<PermissionCoordinator> coordinator;
    std::shared_ptr<PermissionInterventionRouter> router;
    std::shared_ptr<SnapshotMenuController> controller;
    std::shared_ptr<AppUpdateController> updates = std::make_shared<AppUpdateController>();
    std::unique_ptr<UserDefaults> defaults;
    // What the yardstick shows: the sidebar's two lines per layout, the selected layout's windows.
    QStringList layoutRows;
    QStringList windowRows;

    Store(int layouts, int selectedWindows)
    {
        SnapshotStore store(root.filePath("Snapshots"));
        for (int i = 0; i < layouts; ++i) {
            const int windows = i == 0 && selectedWindows > 0 ? selectedWindows : 3;
            const Snapshot s = layoutWithWindows(QStringLiteral("Layout %1").arg(i), windows, 60 + i * 60);
            (void)store.save(s);
            layoutRows << s.name
                              + QStringLiteral("\n%1 windows • 2 displays • %2 minutes ago").arg(windows).arg(i + 1);
            if (i == 0)
                for (const WindowRecord& w : s.windows)
                    windowRows << w.bundleIdentifier + QStringLiteral("\n") + *w.windowTitle;
        }
        coordinator = std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([] { return true; }), [] {});
        router = std::make_shared<PermissionInterventionRouter>(coordinator, std::weak_ptr<StatusNoticePresenting>());
        SnapshotMenuController::Options o;
        o.scheduler = std::make_shared<test::ImmediateScheduler>();
        o.appNameResolver = [](const QString& id) { return id; };
        controller = std::make_shared<SnapshotMenuController>(store, std::nullopt, std::nullopt, o);
        controller->refreshSummaries();
        defaults = std::make_unique<UserDefaults>(root.filePath("prefs.conf"));
    }

    std::unique_ptr<DashboardOpener> opener;
    // The settled pictures of the dashboard and of the yardstick.
    std::vector<std::uint8_t> dashboardPicture;
    std::vector<std::uint8_t> yardstickPicture;

    // `first`: as the first opening after start, with no window made yet. Without a picture,
    // opens, waits for the window to settle and keeps its picture.
    std::optional<double> openDashboard(bool first)
    {
        if (first || !opener) {
            opener = std::make_unique<DashboardOpener>([this] {
                DashboardView::Dependencies d;
                d.permissionCoordinator = coordinator;
                d.permissionRouter = router;
                d.snapshotMenuController = controller;
                d.updateController = updates;
                d.frameStore = defaults.get();
                return new DashboardView(std::move(d));
            });
            QApplication::processEvents();
        }
        std::optional<double> elapsed;
        if (dashboardPicture.empty()) {
            opener->open();
            dashboardPicture = settledPicture(*opener->window());
        } else {
            const auto start = Clock::now();
            opener->open();
            QWidget& window = *opener->window();
            FrameWatch watch(xcb_window_t(window.winId()), window.size(), dashboardPicture);
            if (const auto seen = watch.wait())
                elapsed = std::chrono::duration<double, std::milli>(*seen - start).count();
        }
        closeAsAPersonDoes(*opener->window());
        QApplication::processEvents();
        return elapsed;
    }

    std::optional<double> openYardstick()
    {
        const auto start = Clock::now();
        auto* window = new QWidget;
        window->setWindowTitle(QStringLiteral("Yardstick"));
        auto* row = new QHBoxLayout(window);
        auto* sidebar = new QListWidget(window);
        sidebar->setUniformItemSizes(true);
        sidebar->addItems(layoutRows);
        sidebar->setCurrentRow(0);
        sidebar->setMaximumWidth(280);
        row->addWidget(sidebar);
        if (windowRows.size() > 3) {
            auto* windows = new QListWidget(window);
            windows->setUniformItemSizes(true);
            windows->addItems(windowRows);
            row->addWidget(windows);
        } else {
            row->addStretch(1);
        }
        window->resize(940, 640);
        window->show();
        std::optional<double> elapsed;
        if (yardstickPicture.empty()) {
            yardstickPicture = settledPicture(*window);
        } else {
            FrameWatch watch(xcb_window_t(window->winId()), window->size(), yardstickPicture);
            if (const auto seen = watch.wait())
                elapsed = std::chrono::duration<double, std::milli>(*seen - start).count();
        }
        window->close();
        delete window;
        QApplication::processEvents();
        return elapsed;
    }
};

void openToWholeFrame(benchmark::State& state, bool first)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !ScreenReader().isUsable()) {
        state.SkipWithError("needs an X server");
        return;
    }
    // The pointer away from the windows: a hovered row would make a frame differ from the last.
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t* c = x11->connection();
        xcb_warp_pointer(c, XCB_NONE, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 0, 0, 0, 0);
        xcb_flush(c);
    }
    Store store(int(state.range(0)), int(state.range(1)));
    // Warm: fonts, icons, styles and the layouts' first reading are not what a person waits on
    // the second time. The second opening puts the window where it stays, and the third one
    // gives the picture every later opening must reach.
    for (int i = 0; i < 2; ++i) {
        store.openDashboard(first);
        store.dashboardPicture.clear();
    }
    store.openDashboard(first);
    store.openYardstick();
    if (store.dashboardPicture.empty() || store.yardstickPicture.empty()) {
        state.SkipWithError("the windows never settled");
        return;
    }
    std::vector<double> ours;
    std::vector<double> yardstick;
    bool oursFirst = true;
    for (auto _ : state) {
        std::optional<double> o;
        std::optional<double> y;
        if (oursFirst) {
            o = store.openDashboard(first);
            y = store.openYardstick();
        } else {
            y = store.openYardstick();
            o = store.openDashboard(first);
        }
        oursFirst = !oursFirst;
        if (!o || !y) {
            state.SkipWithError(!o ? "the dashboard never showed its settled picture"
                                   : "the yardstick never showed its settled picture");
            return;
        }
        ours.push_back(*o);
        yardstick.push_back(*y);
        state.SetIterationTime(*o / 1000.0);
    }
    reportRatios(state, ours, yardstick);
    state.SetLabel(std::string(first ? "first open, " : "") + std::to_string(state.range(0)) + " layouts" +
                   (state.range(1) > 0 ? ", a " + std::to_string(state.range(1)) + "-window layout selected" : ""));
}

void BM_OpenDashboardToWholeFrame(benchmark::State& state)
{
    openToWholeFrame(state, false);
}
BENCHMARK(BM_OpenDashboardToWholeFrame)
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({100, 900})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_OpenDashboardFirstTimeToWholeFrame(benchmark::State& state)
{
    openToWholeFrame(state, true);
}
BENCHMARK(BM_OpenDashboardFirstTimeToWholeFrame)
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({100, 900})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
