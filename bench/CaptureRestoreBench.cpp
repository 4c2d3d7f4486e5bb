#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Restore/RestoreEngine.h"
#include "Snapshots/SnapshotCaptureService.h"
#include "Support/TestClientProcess.h"

#include <QPoint>
#include <QDeadlineTimer>
#include <QRect>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <numeric>
#include <memory>
#include <utility>

namespace {

using zen::testsupport::TestClientProcess;

std::shared_ptr<zen::X11Platform> livePlatform()
{
    static std::shared_ptr<zen::X11Platform> platform = zen::X11Platform::connect();
    return platform && platform->isProcessTrusted() ? platform : nullptr;
}

// Reads where the windows are on a connection of its own, so that checking costs the
// measured connection nothing: every window's client geometry in one batch of requests.
class Verifier {
public:
    Verifier() : m_c(xcb_connect(nullptr, nullptr)) {}
    ~Verifier() { xcb_disconnect(m_c); }
    Verifier(const Verifier&) = delete;
    Verifier& operator=(const Verifier&) = delete;

    std::vector<QRect> read(const std::vector<std::uint32_t>& windows) const
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        std::vector<std::pair<xcb_get_geometry_cookie_t, xcb_translate_coordinates_cookie_t>> cookies;
        for (std::uint32_t w : windows)
            cookies.emplace_back(xcb_get_geometry(m_c, w), xcb_translate_coordinates(m_c, w, root, 0, 0));
        std::vector<QRect> rects;
        for (const auto& [g, t] : cookies) {
            auto* geometry = xcb_get_geometry_reply(m_c, g, nullptr);
            auto* translated = xcb_translate_coordinates_reply(m_c, t, nullptr);
            rects.push_back(geometry && translated ? QRect(translated->dst_x, translated->dst_y, geometry->width, geometry->height)
                                                   : QRect());
            std::free(geometry);
            std::free(translated);
        }
        return rects;
    }

    // Reads until every window is where it should be; false after five seconds. Reads again
    // when the server reports a window changed (or after a few milliseconds without news),
    // so that checking does not keep the server from the window manager's requests.
    bool waitFor(const std::vector<std::uint32_t>& windows, const std::vector<QRect>& expected)
    {
        if (m_watched != windows) {
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            for (std::uint32_t w : windows)
                xcb_change_window_attributes(m_c, w, XCB_CW_EVENT_MASK, &mask);
            m_watched = windows;
        }
        // Only the windows not yet in place are read again; a last reading of all of them
        // confirms that none has moved away meanwhile.
        QDeadlineTimer deadline(5000);
        std::vector<std::size_t> pending(windows.size());
        std::iota(pending.begin(), pending.end(), std::size_t {0});
        for (;;) {
            std::vector<std::uint32_t> ids;
            for (std::size_t i : pending)
                ids.push_back(windows[i]);
            const auto now = read(ids);
            std::vector<std::size_t> still;
            for (std::size_t k = 0; k < pending.size(); ++k) {
                if (now[k] != expected[pending[k]])
                    still.push_back(pending[k]);
            }
            if (still.empty() && pending.size() == windows.size())
                return true;
            if (still.empty()) {
                pending.resize(windows.size());
                std::iota(pending.begin(), pending.end(), std::size_t {0});
                continue;
            }
            pending = std::move(still);
            if (deadline.hasExpired())
                return false;
            pollfd descriptor {xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&descriptor, 1, 5);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_c))
                std::free(event);
        }
    }

private:
    xcb_connection_t* m_c;
    std::vector<std::uint32_t> m_watched;
};

// Where window i goes in layout 0 and layout 1: every window moves and changes size between
// the two, on both monitors (rows alternate between them).
QRect layoutFrame(std::size_t i, int layout)
{
    const int col = int(i % 10), row = int(i / 10 % 6), band = int(i / 120);
    const bool right = (i / 10) % 2 == 1;
    const QRect a((right ? 1290 + col * 70 : 10 + col * 100), 30 + row * 110 + band * 7, 200, 100);
    return layout == 0 ? a : QRect(a.x() + 13, a.y() + 9, 180, 110);
}

struct Fixture {
    std::unique_ptr<TestClientProcess> client;
    std::vector<std::uint32_t> windowIDs;
    QTemporaryDir dir;
    std::optional<zen::SnapshotStore> store;
    Verifier verifier;
    // Per layout: the saved layout, and the client geometries it gives the windows.
    QUuid layoutIDs[2];
    std::vector<QRect> restored[2];
};

std::map<int, std::unique_ptr<Fixture>>& fixtures()
{
    static std::map<int, std::unique_ptr<Fixture>> live;
    return live;
}

// The clients a run started end with the run, so that their windows weigh on no other
// benchmark (each reading reads the whole desktop).
void endFixtures(const benchmark::State&)
{
    fixtures().clear();
}

// Where the client first puts window i: rows of ten 200x100 windows, spread over both monitors.
QPoint windowPosition(std::size_t i)
{
    return layoutFrame(i, 0).topLeft();
}

// One client per window count, started before the timed loop.
Fixture* fixtureWith(int windows)
{
    auto& f = fixtures()[windows];
    if (!f) {
        f = std::make_unique<Fixture>();
        QStringList args {"--class", QStringLiteral("zen-cr-%1,CaptureRestoreBench%1").arg(windows)};
        for (int i = 0; i < windows; ++i) {
            const QPoint at = windowPosition(std::size_t(i));
            args << "--window" << QStringLiteral("title=Bench %1,geometry=200x100+%2+%3").arg(i).arg(at.x()).arg(at.y());
        }
        f->client = std::make_unique<TestClientProcess>(args);
        f->windowIDs = f->client->waitUntilReady(30000);
        if (f->windowIDs.size() != std::size_t(windows))
            f.reset();
        else
            f->store.emplace(f->dir.filePath(QStringLiteral("Snapshots")));
    }
    return f.get();
}

// Discovery limited to the benchmark's own client, so windows that other benchmarks keep
// open don't count.
zen::SnapshotCaptureService::CaptureContext contextFor(const zen::PlatformServices& services, qint64 pid)
{
    auto context = zen::SnapshotCaptureService::CaptureContext::current(services);
    std::erase_if(context.runningApplications, [pid](const auto& app) { return app.processIdentifier != pid; });
    return context;
}

zen::SnapshotCaptureService captureService(const zen::PlatformServices& services, const Fixture& f)
{
    return zen::SnapshotCaptureService(*f.store, zen::WindowDiscoveryEngine::forPlatform(services),
                                       zen::DisplayResolver(services.screens));
}

std::expected<zen::Snapshot, zen::SnapshotCaptureFailure> captureClient(const zen::SnapshotCaptureService& service,
                                                                       const zen::PlatformServices& services,
                                                                       const Fixture& f)
{
    return service.captureSnapshot(QStringLiteral("Bench"), QDateTime::currentDateTimeUtc(),
                                   contextFor(services, f.client->processId()));
}

// The platform and the client of the run's window count; null (the run skipped) when there is
// no usable X display or the client did not start.
std::pair<std::shared_ptr<zen::X11Platform>, Fixture*> liveFixture(benchmark::State& state)
{
    auto platform = livePlatform();
    Fixture* f = platform ? fixtureWith(int(state.range(0))) : nullptr;
    if (!f)
        state.SkipWithError("no X display with an EWMH window manager, or the client did not start");
    return {std::move(platform), f};
}

// Each iteration reads the desktop itself rather than sharing the last one's reading.
void forgetReadingUntimed(benchmark::State& state, zen::X11Platform& platform)
{
    state.PauseTiming();
    platform.forgetReading();
    state.ResumeTiming();
}

void countRoundTrips(benchmark::State& state, zen::X11Platform& platform, std::uint64_t before)
{
    state.counters["round_trips"] = double(platform.connection().roundTrips() - before) / double(state.iterations());
}

void BM_CaptureLiveWindows(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f)
        return;
    const auto services = platform->services();
    const auto service = captureService(services, *f);
    const std::uint64_t before = platform->connection().roundTrips();
    std::size_t saved = 0;
    for (auto _ : state) {
        forgetReadingUntimed(state, *platform);
        auto snapshot = captureClient(service, services, *f);
        if (!snapshot) {
            state.SkipWithError("capture failed");
            return;
        }
        saved = snapshot->windows.size();
        (void)f->store->deleteSnapshot(snapshot->id);
    }
    countRoundTrips(state, *platform, before);
    state.counters["windows"] = double(saved);
}
BENCHMARK(BM_CaptureLiveWindows)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->Teardown(endFixtures);

// The client geometry the window manager gives an outer frame: the frame less the
// decorations it draws around window i.
std::vector<QRect> clientRects(zen::X11Platform& platform, const Fixture& f, int layout)
{
    const auto state = platform.refresh();
    std::vector<QRect> rects;
    for (std::size_t i = 0; i < f.windowIDs.size(); ++i) {
        QRect r = layoutFrame(i, layout);
        for (const auto& w : state->windowsFrontFirst) {
            if (w.id == f.windowIDs[i]) {
                r = QRect(r.x() + int(w.extents[0]), r.y() + int(w.extents[2]), r.width() - int(w.extents[0] + w.extents[1]),
                          r.height() - int(w.extents[2] + w.extents[3]));
            }
        }
        rects.push_back(r);
    }
    return rects;
}

// Saves the two layouts once: the windows placed on each in turn and captured there.
bool prepareLayouts(benchmark::State& state, zen::X11Platform& platform, Fixture& f)
{
    if (!f.layoutIDs[0].isNull())
        return true;
    const auto services = platform.services();
    const auto service = captureService(services, f);
    const auto discovery = zen::WindowDiscoveryEngine::forPlatform(services);
    for (int layout : {0, 1}) {
        // The platform places windows it has read, by element.
        std::vector<zen::AXFramePlacement> batch;
        const auto windows = discovery.discoverRunningWindows();
        for (const auto& app : windows.value_or(std::vector<zen::DiscoveredApplication> {})) {
            if (app.pid != f.client->processId())
                continue;
            for (const auto& w : app.windows) {
                const auto at = std::ranges::find(f.windowIDs, w.axElement.window);
                if (at == f.windowIDs.end())
                    continue;
                const QRect r = layoutFrame(std::size_t(at - f.windowIDs.begin()), layout);
                batch.push_back({w.axElement, zen::CGRect(r.x(), r.y(), r.width(), r.height()), false});
            }
        }
        f.restored[layout] = clientRects(platform, f, layout);
        if (batch.size() != f.windowIDs.size() || std::ranges::count(platform.setFrames(batch), false) != 0
            || !f.verifier.waitFor(f.windowIDs, f.restored[layout])) {
            state.SkipWithError("the windows could not be laid out");
            return false;
        }
        platform.forgetReading();
        auto snapshot = captureClient(service, services, f);
        if (!snapshot || snapshot->windows.size() != f.windowIDs.size()) {
            state.SkipWithError("capture failed");
            return false;
        }
        f.layoutIDs[layout] = snapshot->id;
    }
    return true;
}

// Restores the two layouts in turn, so that every restore moves and resizes every window,
// each timed until a reading of the X server shows every window in place. Discovery is
// limited to the benchmark's client; no launch, no wait.
void BM_RestoreRunningWindows(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f || !prepareLayouts(state, *platform, *f))
        return;
    const auto services = platform->services();
    zen::RestoreEngine engine = zen::RestoreEngine::forPlatform(*f->store, services);
    const auto discovery = zen::WindowDiscoveryEngine::forPlatform(services);
    const qint64 pid = f->client->processId();
    // Like the default providers, the running set comes from the reading discovery made.
    auto lastRunning = std::make_shared<QSet<QString>>();
    engine.runningApplicationBundleProvider = [lastRunning] { return *lastRunning; };
    engine.discoveredApplicationsProvider = [discovery, services, pid, lastRunning]()
        -> std::expected<std::vector<zen::DiscoveredApplication>, zen::RestoreEngineFailure> {
        auto running = discovery.runningApplicationsProvider();
        std::erase_if(running, [pid](const auto& app) { return app.processIdentifier != pid; });
        lastRunning->clear();
        for (const auto& app : running)
            if (app.bundleIdentifier)
                lastRunning->insert(*app.bundleIdentifier);
        auto result = discovery.discoverRunningWindowsWithDiagnostics(running);
        if (!result)
            return std::unexpected(zen::RestoreEngineFailure(result.error()));
        return std::move(result->applications);
    };
    std::uint64_t roundTrips = 0;
    // The restore call alone, without the wait for the window manager to carry it out.
    std::chrono::steady_clock::duration callTime {};
    std::int64_t restored = 0;
    int layout = 0;
    for (auto _ : state) {
        forgetReadingUntimed(state, *platform);
        const std::uint64_t before = platform->connection().roundTrips();
        const auto started = std::chrono::steady_clock::now();
        auto result = engine.restoreSnapshot(f->layoutIDs[layout]);
        callTime += std::chrono::steady_clock::now() - started;
        roundTrips += platform->connection().roundTrips() - before;
        if (!result || !f->verifier.waitFor(f->windowIDs, f->restored[layout])) {
            state.SkipWithError("restore failed or left a window out of place");
            return;
        }
        restored = result->restoredWindows;
        layout = 1 - layout;
    }
    state.counters["round_trips"] = double(roundTrips) / double(state.iterations());
    state.counters["call_ms"] = std::chrono::duration<double, std::milli>(callTime).count() / double(state.iterations());
    state.counters["restored"] = double(restored);
}
BENCHMARK(BM_RestoreRunningWindows)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Teardown(endFixtures);

// The shell command a baseline runs to move the windows onto a layout: frame corners and
// client sizes.
using BaselineCommand = QString (*)(const Fixture&, const std::vector<QRect>& clients, int layout);

QString xdotoolChain(const Fixture& f, const std::vector<QRect>& clients, int layout)
{
    QString command = QStringLiteral("xdotool");
    for (std::size_t i = 0; i < f.windowIDs.size(); ++i) {
        const QRect frame = layoutFrame(i, layout);
        command += QStringLiteral(" windowmove %1 %2 %3 windowsize %1 %4 %5")
                       .arg(f.windowIDs[i])
                       .arg(frame.x())
                       .arg(frame.y())
                       .arg(clients[i].width())
                       .arg(clients[i].height());
    }
    return command;
}

QString wmctrlLoop(const Fixture& f, const std::vector<QRect>& clients, int layout)
{
    QString script = QStringLiteral("for m in");
    for (std::size_t i = 0; i < f.windowIDs.size(); ++i) {
        const QRect frame = layoutFrame(i, layout);
        script += QStringLiteral(" %1:0,%2,%3,%4,%5")
                      .arg(f.windowIDs[i])
                      .arg(frame.x())
                      .arg(frame.y())
                      .arg(clients[i].width())
                      .arg(clients[i].height());
    }
    script += QStringLiteral("; do wmctrl -i -r \"${m%%:*}\" -e \"${m#*:}\"; done");
    return QStringLiteral("sh -c '%1'").arg(script);
}

// The same two layouts in turn, moved by an outside tool, each timed until a reading shows
// every window where that tool puts it.
void runBaseline(benchmark::State& state, const char* tool, BaselineCommand commandFor)
{
    auto platform = livePlatform();
    Fixture* f = platform ? fixtureWith(int(state.range(0))) : nullptr;
    if (!f || std::system(QStringLiteral("command -v %1 >/dev/null 2>&1").arg(QLatin1String(tool)).toLocal8Bit().constData()) != 0) {
        state.SkipWithError("no X display, client or tool");
        return;
    }
    // The same client geometries a restore of the two layouts gives.
    QByteArray commands[2];
    std::vector<QRect> places[2];
    for (int layout : {0, 1}) {
        places[layout] = clientRects(*platform, *f, layout);
        commands[layout] = commandFor(*f, places[layout], layout).toLocal8Bit();
    }
    int layout = 0;
    for (auto _ : state) {
        if (std::system(commands[layout].constData()) != 0 || !f->verifier.waitFor(f->windowIDs, places[layout])) {
            state.SkipWithError("the tool failed or left a window out of place");
            return;
        }
        layout = 1 - layout;
    }
    state.counters["windows"] = double(f->windowIDs.size());
}

// The window manager's floor: all moves in one chained xdotool command.
void BM_XdotoolChain(benchmark::State& state)
{
    runBaseline(state, "xdotool", xdotoolChain);
}
BENCHMARK(BM_XdotoolChain)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Teardown(endFixtures);

// A shell loop running wmctrl once per window.
void BM_WmctrlShellLoop(benchmark::State& state)
{
    runBaseline(state, "wmctrl", wmctrlLoop);
}
BENCHMARK(BM_WmctrlShellLoop)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Teardown(endFixtures);

} // namespace
