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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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
    // The layout the windows are in now.
    int current = 0;
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
        f.current = layout;
    }
    return true;
}


// The shell command a yardstick runs to move the windows onto a layout: frame corners and
// client sizes.
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

bool toolExists(const char* tool)
{
    return std::system(QStringLiteral("command -v %1 >/dev/null 2>&1").arg(QLatin1String(tool)).toLocal8Bit().constData()) == 0;
}

// Median, least and greatest of the figures of the paired rounds.
struct Spread {
    double median = 0, min = 0, max = 0;

    explicit Spread(std::vector<double> v)
    {
        if (v.empty())
            return;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
        min = v.front();
        max = v.back();
    }
    QString text(int decimals) const
    {
        return QStringLiteral("%1 (%2-%3)").arg(median, 0, 'f', decimals).arg(min, 0, 'f', decimals).arg(max, 0, 'f', decimals);
    }
};

// One way of moving every window onto a layout; false when it failed.
using Mover = std::function<bool(int layout)>;

// Runs the movers in rounds, each round every mover once, each timed until a reading of the
// X server shows every window in place. Each move goes to the layout the windows are not in,
// so every window moves and changes size every time; the order within a round rotates, so no
// mover always follows the same one. Returns per mover the milliseconds of each round, or
// nothing when a mover failed. One untimed round first: the windows are mapped, placed and
// settled, and every tool's program is in the page cache, before anything is timed.
std::optional<std::vector<std::vector<double>>> runInterleaved(benchmark::State& state, Fixture& f, const std::vector<Mover>& movers,
                                                               const std::function<void()>& beforeEachMove = {})
{
    auto move = [&](std::size_t m) -> std::optional<double> {
        const int target = 1 - f.current;
        if (beforeEachMove)
            beforeEachMove();
        const auto started = std::chrono::steady_clock::now();
        const bool ok = movers[m](target) && f.verifier.waitFor(f.windowIDs, f.restored[target]);
        const auto elapsed = std::chrono::steady_clock::now() - started;
        if (!ok)
            return std::nullopt;
        f.current = target;
        return std::chrono::duration<double, std::milli>(elapsed).count();
    };
    for (std::size_t m = 0; m < movers.size(); ++m) {
        if (!move(m)) {
            state.SkipWithError("a mover failed or left a window out of place");
            return std::nullopt;
        }
    }
    std::vector<std::vector<double>> ms(movers.size());
    std::size_t round = 0;
    for (auto _ : state) {
        for (std::size_t k = 0; k < movers.size(); ++k) {
            const std::size_t m = (round + k) % movers.size();
            const auto took = move(m);
            if (!took) {
                state.SkipWithError("a mover failed or left a window out of place");
                return std::nullopt;
            }
            ms[m].push_back(*took);
        }
        // The benchmark's own time is the first mover's.
        state.SetIterationTime(ms[0].back() / 1000);
        ++round;
    }
    return ms;
}

// Per round, a's time over b's.
std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> r;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        r.push_back(b[i] > 0 ? a[i] / b[i] : 0);
    return r;
}

// Our restore beside its two yardsticks, one chained xdotool command (the window manager's
// floor: plain requests, one process) and a shell loop running wmctrl once per window, in
// paired rounds. The ratios are those of the rounds (each pair ran moments apart, under the
// same load), so they hold up on a busy machine where the times alone do not.
void BM_RestoreBesideYardsticks(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f || !prepareLayouts(state, *platform, *f))
        return;
    if (!toolExists("xdotool") || !toolExists("wmctrl")) {
        state.SkipWithError("xdotool or wmctrl is not installed");
        return;
    }
    const auto services = platform->services();
    zen::RestoreEngine engine = zen::RestoreEngine::forPlatform(*f->store, services);
    const auto discovery = zen::WindowDiscoveryEngine::forPlatform(services);
    const qint64 pid = f->client->processId();
    // Discovery limited to the benchmark's client, so that windows other benchmarks keep open
    // don't count; like the default providers, the running set comes from the reading
    // discovery made. No launch, no wait.
    auto lastRunning = std::make_shared<QSet<QString>>();
    engine.runningApplicationBundleProvider = [lastRunning] { return *lastRunning; };
    engine.discoveredApplicationsProvider = [discovery, pid, lastRunning]()
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

    QByteArray xdotool[2], wmctrl[2];
    for (int layout : {0, 1}) {
        xdotool[layout] = xdotoolChain(*f, f->restored[layout], layout).toLocal8Bit();
        wmctrl[layout] = wmctrlLoop(*f, f->restored[layout], layout).toLocal8Bit();
    }
    std::uint64_t roundTrips = 0, restores = 0;
    // The restore call alone, without the wait for the window manager to carry it out.
    std::vector<double> callMs;
    const Mover ours = [&](int layout) {
        const std::uint64_t before = platform->connection().roundTrips();
        const auto started = std::chrono::steady_clock::now();
        auto result = engine.restoreSnapshot(f->layoutIDs[layout]);
        callMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        roundTrips += platform->connection().roundTrips() - before;
        ++restores;
        return result && result->restoredWindows == std::int64_t(f->windowIDs.size());
    };
    const Mover chained = [&](int layout) { return std::system(xdotool[layout].constData()) == 0; };
    const Mover loop = [&](int layout) { return std::system(wmctrl[layout].constData()) == 0; };
    // Each restore reads the desktop itself rather than sharing the last one's reading.
    const auto ms = runInterleaved(state, *f, {ours, chained, loop}, [&] { platform->forgetReading(); });
    if (!ms)
        return;

    const Spread oursMs((*ms)[0]), xdotoolMs((*ms)[1]), wmctrlMs((*ms)[2]);
    const Spread vsXdotool(ratios((*ms)[0], (*ms)[1])), wmctrlOverOurs(ratios((*ms)[2], (*ms)[0]));
    state.counters["ours_ms"] = oursMs.median;
    state.counters["xdotool_ms"] = xdotoolMs.median;
    state.counters["wmctrl_ms"] = wmctrlMs.median;
    state.counters["ours/xdotool"] = vsXdotool.median;
    state.counters["ours/xdotool_max"] = vsXdotool.max;
    state.counters["wmctrl/ours"] = wmctrlOverOurs.median;
    state.counters["wmctrl/ours_min"] = wmctrlOverOurs.min;
    // The same target judged on each contender's fastest round.
    const double fastestRatio = oursMs.min > 0 ? wmctrlMs.min / oursMs.min : 0;
    state.counters["wmctrl/ours_fastest"] = fastestRatio;
    state.counters["round_trips"] = restores ? double(roundTrips) / double(restores) : 0;
    state.counters["call_ms"] = Spread(callMs).median;
    std::fprintf(stderr,
                 "%zu windows, %zu paired rounds, ms median (min-max): ours %s | xdotool %s | wmctrl loop %s"
                 " | ours/xdotool %s (target <= 1.2 median) | wmctrl/ours %s, fastest rounds %.2f (target >= 5)\n",
                 f->windowIDs.size(), (*ms)[0].size(), qPrintable(oursMs.text(1)), qPrintable(xdotoolMs.text(1)),
                 qPrintable(wmctrlMs.text(1)), qPrintable(vsXdotool.text(2)), qPrintable(wmctrlOverOurs.text(2)), fastestRatio);
}
BENCHMARK(BM_RestoreBesideYardsticks)
    ->Arg(10)
    ->Arg(50)
    ->Arg(200)
    ->Iterations(11)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Teardown(endFixtures);

// The two requests a pager can move a window with, each sent for every window in one batch on
// a connection of its own: the window manager's message (_NET_MOVERESIZE_WINDOW, source 2,
// north-west gravity) and a plain ConfigureWindow of the client, which the window manager
// receives as a configure request. Windows without a gravity of their own take north-west, so
// both put the frame's corner at the same place. Which is faster decides what the writer sends.
void BM_MoveRequestKinds(benchmark::State& state)
{
    const auto [platform, f] = liveFixture(state);
    if (!f || !prepareLayouts(state, *platform, *f))
        return;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        state.SkipWithError("no X display");
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto atom = [c](const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : XCB_NONE;
        std::free(r);
        return a;
    };
    const xcb_atom_t moveResize = atom("_NET_MOVERESIZE_WINDOW");
    auto finish = [c] {
        // One round trip: by its answer every error of the batch has arrived, and a request
        // the server refused counts as a failure.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        bool ok = !xcb_connection_has_error(c);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            ok = ok && event->response_type != 0;
            std::free(event);
        }
        return ok;
    };
    const Mover message = [&](int layout) {
        for (std::size_t i = 0; i < f->windowIDs.size(); ++i) {
            const QRect frame = layoutFrame(i, layout), client = f->restored[layout][i];
            xcb_client_message_event_t ev {};
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.format = 32;
            ev.window = f->windowIDs[i];
            ev.type = moveResize;
            ev.data.data32[0] = 1 | (0xFu << 8) | (2u << 12);
            ev.data.data32[1] = std::uint32_t(frame.x());
            ev.data.data32[2] = std::uint32_t(frame.y());
            ev.data.data32[3] = std::uint32_t(client.width());
            ev.data.data32[4] = std::uint32_t(client.height());
            xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&ev));
        }
        return finish();
    };
    const Mover configure = [&](int layout) {
        for (std::size_t i = 0; i < f->windowIDs.size(); ++i) {
            const QRect frame = layoutFrame(i, layout), client = f->restored[layout][i];
            const std::uint32_t values[] = {std::uint32_t(frame.x()), std::uint32_t(frame.y()), std::uint32_t(client.width()),
                                            std::uint32_t(client.height())};
            xcb_configure_window(c, f->windowIDs[i],
                                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                 values);
        }
        return finish();
    };
    const auto ms = runInterleaved(state, *f, {configure, message});
    xcb_disconnect(c);
    if (!ms)
        return;
    const Spread configureMs((*ms)[0]), messageMs((*ms)[1]), messageOverConfigure(ratios((*ms)[1], (*ms)[0]));
    state.counters["configure_ms"] = configureMs.median;
    state.counters["message_ms"] = messageMs.median;
    state.counters["message/configure"] = messageOverConfigure.median;
    std::fprintf(stderr, "%zu windows, %zu paired rounds, ms median (min-max): ConfigureWindow %s | _NET_MOVERESIZE_WINDOW %s | message/configure %s\n",
                 f->windowIDs.size(), (*ms)[0].size(), qPrintable(configureMs.text(1)), qPrintable(messageMs.text(1)),
                 qPrintable(messageOverConfigure.text(2)));
}
BENCHMARK(BM_MoveRequestKinds)
    ->Arg(10)
    ->Arg(200)
    ->Iterations(11)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Teardown(endFixtures);

} // namespace
