// Start to tray icon docked, and idle memory, of the program against a minimal Qt tray program
// (bench/MinimalTrayProgram.cpp). Runs alternate one for one under the same tray (trayer, started
// here when the display has none); the counters give the median of the paired ratios and the
// smallest and largest. Needs an X server with a window manager (scripts/with-xvfb).
#include "Onboarding/OnboardingStore.h"
#include "Snapshots/SnapshotCoding.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <memory>
#include <vector>
#include <benchmark/benchmark.h>

using namespace zen;

namespace {

class TrayWatch {
public:
    TrayWatch() : m_connection(xcb_connect(nullptr, &m_screen)) {}
    ~TrayWatch()
    {
        xcb_disconnect(m_connection);
        if (m_trayer) {
            m_trayer->terminate();
            m_trayer->waitForFinished(2000);
        }
    }

    // The tray's top-level window, starting trayer when no tray owns the selection.
    bool ready()
    {
        if (xcb_connection_has_error(m_connection))
            return false;
        if (!owner() && !m_trayer) {
            m_trayer = std::make_unique<QProcess>();
            m_trayer->start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                                      QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                                                      QStringLiteral("--width"), QStringLiteral("200"), QStringLiteral("--height"),
                                                      QStringLiteral("24")});
            QElapsedTimer waited;
            waited.start();
            while (!owner() && waited.elapsed() < 5000)
                QThread::msleep(10);
        }
        return owner() != XCB_NONE;
    }

    // Windows some window other than the root has taken in and the window manager does not
    // manage (no WM_STATE): icons in the tray, whichever program they belong to.
    int windowsInTray() const
    {
        std::vector<xcb_window_t> embedded;
        collect(rootWindow(), true, embedded);
        std::vector<xcb_get_property_cookie_t> cookies;
        for (xcb_window_t window : embedded)
            cookies.push_back(xcb_get_property(m_connection, 0, window, wmState(), XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
        std::vector<xcb_get_property_cookie_t> classes;
        for (xcb_window_t window : embedded)
            classes.push_back(xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64));
        int count = 0;
        for (size_t i = 0; i < embedded.size(); ++i) {
            auto* state = xcb_get_property_reply(m_connection, cookies[i], nullptr);
            auto* windowClass = xcb_get_property_reply(m_connection, classes[i], nullptr);
            if (state && state->type == XCB_NONE && windowClass && xcb_get_property_value_length(windowClass) > 0)
                ++count;
            free(state);
            free(windowClass);
        }
        return count;
    }

private:
    xcb_window_t rootWindow() const
    {
        auto it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < m_screen; ++i)
            xcb_screen_next(&it);
        return it.data->root;
    }
    xcb_window_t owner() const
    {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(m_screen);
        auto* atom = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, name.size(), name.constData()), nullptr);
        if (!atom)
            return XCB_NONE;
        auto* reply = xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, atom->atom), nullptr);
        free(atom);
        const xcb_window_t window = reply ? reply->owner : XCB_NONE;
        free(reply);
        return window;
    }
    xcb_atom_t wmState() const
    {
        if (m_wmState == XCB_NONE) {
            auto* atom = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 8, "WM_STATE"), nullptr);
            m_wmState = atom ? atom->atom : XCB_NONE;
            free(atom);
        }
        return m_wmState;
    }
    void collect(xcb_window_t window, bool isRoot, std::vector<xcb_window_t>& out) const
    {
        auto* reply = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!reply)
            return;
        const xcb_window_t* children = xcb_query_tree_children(reply);
        const std::vector<xcb_window_t> list(children, children + xcb_query_tree_children_length(reply));
        free(reply);
        for (xcb_window_t child : list) {
            if (!isRoot)
                out.push_back(child);
            collect(child, false, out);
        }
    }

    int m_screen = 0;
    xcb_connection_t* m_connection;
    mutable xcb_atom_t m_wmState = XCB_NONE;
    std::unique_ptr<QProcess> m_trayer;
};

// The memory a process holds, in kB: its proportional share of every page it maps (shared
// library pages divided among the processes mapping them), and its anonymous pages (heap,
// stacks), which only it holds and the kernel cannot drop. Clean pages of the program file
// are left out of the second: the kernel reclaims them whenever memory is needed.
struct Memory {
    qint64 pssKb = -1;
    qint64 anonymousKb = -1;
};

// One run: milliseconds from start to the icon docked, and the memory after `idleMs` of
// idling, or negative when the icon never docked.
struct Run {
    double dockedMs = -1;
    Memory memory;
};

qint64 fieldKb(const QByteArray& text, const QByteArray& name)
{
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

Memory memoryOf(qint64 pid)
{
    // Files under /proc have no size: read until the end, not a size known beforehand.
    auto read = [pid](const char* file) {
        QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    return {fieldKb(read("smaps_rollup"), "Pss"), fieldKb(read("status"), "RssAnon")};
}

Run runOnce(TrayWatch& tray, const QString& program, const QProcessEnvironment& environment, int idleMs)
{
    Run run;
    const int before = tray.windowsInTray();
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    while (clock.elapsed() < 15000) {
        if (tray.windowsInTray() > before) {
            run.dockedMs = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    if (run.dockedMs >= 0 && idleMs > 0) {
        QThread::msleep(idleMs);
        run.memory = memoryOf(process.processId());
    }
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
    }
    QElapsedTimer gone;
    gone.start();
    while (tray.windowsInTray() > before && gone.elapsed() < 3000)
        QThread::msleep(5);
    return run;
}

// A home of the program's own: onboarding done (no window at start), optionally with an
// 80 MiB event log and 1,000 layouts.
struct Home {
    QTemporaryDir dir;
    // A session's runtime folder, where the single-instance lock lives, is private and in
    // memory (logind mounts a tmpfs per user); in a folder on disk the lock's sync would be
    // timed instead.
    QTemporaryDir runtimeDir{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/zentharion-bench-XXXXXX")
                                                                       : QDir::tempPath() + "/zentharion-bench-XXXXXX"};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    explicit Home(bool large)
    {
        const QString data = dir.filePath(QStringLiteral("data")), config = dir.filePath(QStringLiteral("config")),
                      runtime = runtimeDir.path();
        for (const QString& path : {data + "/Zentharion/Logs", data + "/Zentharion/Snapshots", config + "/Zentharion"})
            QDir().mkpath(path);
        QFile settings(config + "/Zentharion/Zentharion.conf");
        if (settings.open(QIODevice::WriteOnly))
            settings.write(QByteArray("[General]\n") + OnboardingStore::statusKey + "=completedAuthorized\n");
        if (large) {
            QFile log(data + "/Zentharion/Logs/events.log");
            if (log.open(QIODevice::WriteOnly)) {
                const QByteArray line = R"({"event":"restoreCompleted","timestamp":"2020-01-01T00:00:00Z","details":"old entry"})" "\n";
                QByteArray block;
                while (block.size() < 1024 * 1024)
                    block += line;
                for (int i = 0; i < 80; ++i)
                    log.write(block);
            }
            const SnapshotStore store(data + "/Zentharion/Snapshots");
            std::vector<WindowRecord> windows;
            for (int i = 0; i < 30; ++i)
                windows.push_back(test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 7), 1, i));
            for (int i = 0; i < 1000; ++i)
                (void)store.save(test::makeSnapshot(QStringLiteral("Layout %1").arg(i), windows));
        }
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
};

void report(benchmark::State& state, std::vector<double> ratios)
{
    if (ratios.empty())
        return;
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["ratio_min"] = ratios.front();
    state.counters["ratio_max"] = ratios.back();
}

bool prepared(benchmark::State& state, TrayWatch& tray)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("needs an X server");
        return false;
    }
    if (!tray.ready()) {
        state.SkipWithError("no system tray (trayer) could be started");
        return false;
    }
    return true;
}

const QString directory()
{
    return QCoreApplication::applicationDirPath();
}

// Arg: 0 an empty home; 1 an 80 MiB event log and 1,000 layouts.
void BM_StartToTrayIconVersusMinimalTray(benchmark::State& state)
{
    TrayWatch tray;
    if (!prepared(state, tray))
        return;
    const Home home(state.range(0) != 0);
    const QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    std::vector<double> ratios, ours, theirs;
    for (auto _ : state) {
        // Alternating which goes first keeps a warm cache from favouring one side.
        const bool oursFirst = ratios.size() % 2 == 0;
        Run a, b;
        if (oursFirst) {
            a = runOnce(tray, directory() + "/zentharion", home.environment, 0);
            b = runOnce(tray, directory() + "/zentharion_minimal_tray", plain, 0);
        } else {
            b = runOnce(tray, directory() + "/zentharion_minimal_tray", plain, 0);
            a = runOnce(tray, directory() + "/zentharion", home.environment, 0);
        }
        if (a.dockedMs < 0 || b.dockedMs < 0) {
            state.SkipWithError("an icon never docked");
            return;
        }
        ratios.push_back(a.dockedMs / b.dockedMs);
        ours.push_back(a.dockedMs);
        theirs.push_back(b.dockedMs);
    }
    report(state, ratios);
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    state.counters["ours_ms_median"] = ours[ours.size() / 2];
    state.counters["minimal_ms_median"] = theirs[theirs.size() / 2];
}
BENCHMARK(BM_StartToTrayIconVersusMinimalTray)->Arg(0)->Arg(1)->Iterations(25)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg as above; Pss and RssAnon after 3 s of idling, once the log's maintenance is over. The
// counters give the medians of each side and of the paired ratios of each measure.
void BM_IdleMemoryVersusMinimalTray(benchmark::State& state)
{
    TrayWatch tray;
    if (!prepared(state, tray))
        return;
    const Home home(state.range(0) != 0);
    const QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    std::vector<double> pssRatios, anonymousRatios, oursPss, theirsPss, oursAnonymous, theirsAnonymous;
    for (auto _ : state) {
        const bool oursFirst = pssRatios.size() % 2 == 0;
        Run a, b;
        if (oursFirst) {
            a = runOnce(tray, directory() + "/zentharion", home.environment, 3000);
            b = runOnce(tray, directory() + "/zentharion_minimal_tray", plain, 3000);
        } else {
            b = runOnce(tray, directory() + "/zentharion_minimal_tray", plain, 3000);
            a = runOnce(tray, directory() + "/zentharion", home.environment, 3000);
        }
        if (a.memory.pssKb <= 0 || b.memory.pssKb <= 0 || a.memory.anonymousKb <= 0 || b.memory.anonymousKb <= 0) {
            state.SkipWithError("an icon never docked, or its memory could not be read");
            return;
        }
        pssRatios.push_back(double(a.memory.pssKb) / double(b.memory.pssKb));
        anonymousRatios.push_back(double(a.memory.anonymousKb) / double(b.memory.anonymousKb));
        oursPss.push_back(double(a.memory.pssKb));
        theirsPss.push_back(double(b.memory.pssKb));
        oursAnonymous.push_back(double(a.memory.anonymousKb));
        theirsAnonymous.push_back(double(b.memory.anonymousKb));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["pss_ratio_median"] = median(pssRatios);
    state.counters["rss_anon_ratio_median"] = median(anonymousRatios);
    state.counters["ours_pss_kB"] = median(oursPss);
    state.counters["minimal_pss_kB"] = median(theirsPss);
    state.counters["ours_rss_anon_kB"] = median(oursAnonymous);
    state.counters["minimal_rss_anon_kB"] = median(theirsAnonymous);
}
BENCHMARK(BM_IdleMemoryVersusMinimalTray)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
