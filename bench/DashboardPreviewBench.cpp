#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardDisplayCanvas.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardSnapshotPreviewView.h"

#include "Support/SnapshotFixtures.h"

#include <QImage>
#include <QListWidget>
#include <QVBoxLayout>
#include <QPainter>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

using namespace zen;

namespace {

// A busy layout: three displays of different sizes, windows of 20 applications spread over
// them at random places and sizes, some minimized or full screen, every one titled.
Snapshot makeLayout(int windowCount)
{
    std::mt19937 rng(7);
    const auto unit = [&] { return double(rng() % 1000) / 1000.0; };
    Snapshot s = test::makeSnapshot("Benchmark", {});
    s.sourceDisplayState = DisplayState::make({test::makeDisplay(1, CGRect(0, 0, 2560, 1440), true),
                                               test::makeDisplay(2, CGRect(2560, 0, 1920, 1080)),
                                               test::makeDisplay(3, CGRect(-1440, 0, 1440, 900))},
                                              1);
    for (int i = 0; i < windowCount; ++i) {
        WindowRecord w = test::makeWindow(QStringLiteral("org.example.App%1").arg(i % 20), std::uint32_t(1 + i % 3), i);
        w.normalizedFrame = {unit() * 0.8, unit() * 0.8, 0.05 + unit() * 0.5, 0.05 + unit() * 0.5};
        w.windowTitle = QStringLiteral("Document %1 \u2014 a long window title that needs eliding").arg(i);
        w.isMinimized = i % 11 == 0;
        w.isFullscreen = i % 17 == 0;
        s.windows.push_back(w);
    }
    return s;
}

DashboardAppIdentityResolver makeResolver()
{
    return DashboardAppIdentityResolver(
        [](const QString& id) -> std::optional<DashboardAppIdentityResolver::ApplicationEntry> {
            return DashboardAppIdentityResolver::ApplicationEntry {id.section('.', -1), id + ".desktop", "icon"};
        },
        [](const QString&) {
            QPixmap pixmap(32, 32);
            pixmap.fill(QColor(90, 120, 160));
            return QIcon(pixmap);
        });
}

// The picture alone: presentation models, overlap groups, identities (cached after the first
// run, as in the running program) and the painting of every display's canvas.
void BM_DashboardPreviewPresentationAndPaint(benchmark::State& state)
{
    const Snapshot layout = makeLayout(int(state.range(0)));
    DashboardAppIdentityResolver resolver = makeResolver();
    QImage image(QSize(400, 174), QImage::Format_ARGB32_Premultiplied);
    const QPalette palette;
    for (auto _ : state) {
        image.fill(Qt::white);
        const auto models = DashboardSnapshotPresentation::displayPreviewModels(layout);
        benchmark::DoNotOptimize(DashboardSnapshotPresentation::unassignedWindows(layout));
        for (const DashboardDisplayPreviewModel& model : models) {
            const auto pictured = DashboardDisplayCanvas::picturedWindows(model.display, model.windows, resolver);
            benchmark::DoNotOptimize(DashboardSnapshotPresentation::windowsForDisplayList(model.windows));
            QPainter p(&image);
            DashboardDisplayCanvas::paint(p, QSizeF(image.size()), model.display.frameRect(), pictured, palette);
        }
    }
}
BENCHMARK(BM_DashboardPreviewPresentationAndPaint)->Arg(300)->Arg(900)->Unit(benchmark::kMillisecond);

// The whole section as the dashboard builds it: cards, canvases and each display's
// restore-order list, laid out, and the part a dashboard window shows (1000 x 800) rendered
// once. The yardstick, run in the same iteration: a bare Qt window of one list per display
// showing the same rows (application and title), built and rendered the same way.
void BM_DashboardPreviewViewBuildAndRender(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const Snapshot layout = makeLayout(int(state.range(0)));
    DashboardAppIdentityResolver resolver = makeResolver();
    const auto models = DashboardSnapshotPresentation::displayPreviewModels(layout);
    const auto ours = [&] {
        const auto start = Clock::now();
        DashboardSnapshotPreviewView view(layout, resolver, [](const WindowRecord&) {},
                                          [](std::uint32_t, const std::vector<QUuid>&) { return true; });
        view.resize(1000, view.sizeHint().height());
        QImage image(QSize(1000, 800), QImage::Format_ARGB32_Premultiplied);
        view.render(&image, QPoint(), QRegion(0, 0, 1000, 800));
        benchmark::DoNotOptimize(image.constBits());
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const auto yardstick = [&] {
        const auto start = Clock::now();
        QWidget window;
        auto* column = new QVBoxLayout(&window);
        for (const DashboardDisplayPreviewModel& model : models) {
            auto* list = new QListWidget(&window);
            list->setUniformItemSizes(true);
            for (const WindowRecord& w : DashboardSnapshotPresentation::windowsForDisplayList(model.windows))
                list->addItem(resolver.identity(w.bundleIdentifier).name + QStringLiteral("\n") + *w.windowTitle);
            list->setMinimumHeight(int(model.windows.size()) * 30);
            column->addWidget(list);
        }
        window.resize(1000, window.sizeHint().height());
        QImage image(QSize(1000, 800), QImage::Format_ARGB32_Premultiplied);
        window.render(&image, QPoint(), QRegion(0, 0, 1000, 800));
        benchmark::DoNotOptimize(image.constBits());
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    ours();
    yardstick();
    std::vector<double> oursTimes;
    std::vector<double> ratios;
    bool oursFirst = true;
    for (auto _ : state) {
        double o = 0;
        double y = 0;
        if (oursFirst) {
            o = ours();
            y = yardstick();
        } else {
            y = yardstick();
            o = ours();
        }
        oursFirst = !oursFirst;
        oursTimes.push_back(o);
        ratios.push_back(y > 0 ? o / y : 0);
        state.SetIterationTime(o / 1000.0);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    state.counters["ours_ms"] = median(oursTimes);
    state.counters["ours_min_ms"] = *std::min_element(oursTimes.begin(), oursTimes.end());
    state.counters["ours_max_ms"] = *std::max_element(oursTimes.begin(), oursTimes.end());
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
}
BENCHMARK(BM_DashboardPreviewViewBuildAndRender)->Arg(300)->Arg(900)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
