#include "Dashboard/DashboardDisplayCanvas.h"
#include "Dashboard/DashboardDisplayPreviewLayout.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Support/SnapshotFixtures.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zen {
namespace {

using test::countOtherPixels;
using test::countPixels;
using test::makeDisplay;
using test::makeWindow;

void expectRect(const CGRect& actual, const CGRect& expected, const char* what)
{
    EXPECT_NEAR(actual.origin.x, expected.origin.x, 0.01) << what;
    EXPECT_NEAR(actual.origin.y, expected.origin.y, 0.01) << what;
    EXPECT_NEAR(actual.size.width, expected.size.width, 0.01) << what;
    EXPECT_NEAR(actual.size.height, expected.size.height, 0.01) << what;
}

TEST(DashboardDisplayPreviewLayoutTest, FitsTheDisplayIntoTheInsetCanvas)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        CGRect display;
        CGSize canvas;
        double scale;
        CGRect surface;
    };
    const std::vector<Case> cases {
        {"wide display, height-bound", CGRect(0, 0, 2560, 1440), {400, 174}, 154.0 / 1440,
         CGRect(10 + (380 - 2560 * 154.0 / 1440) / 2, 10, 2560 * 154.0 / 1440, 154)},
        {"exact fit", CGRect(1440, -200, 380, 154), {400, 174}, 1, CGRect(10, 10, 380, 154)},
        {"zero width is a 1x1 source", CGRect(0, 0, 0, 900), {400, 174}, 154, CGRect(123, 10, 154, 154)},
        {"unusable frame is a 1x1 source", CGRect(nan, 0, 100, 100), {400, 174}, 154, CGRect(123, 10, 154, 154)},
        {"canvas narrower than its insets", CGRect(0, 0, 1920, 1080), {15, 174}, 0, CGRect(7.5, 87, 0, 0)},
        {"canvas of nothing", CGRect(0, 0, 1920, 1080), {0, 0}, 0, CGRect(0, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        const DashboardDisplayPreviewLayout layout {c.display, c.canvas};
        EXPECT_NEAR(layout.scale(), c.scale, 1e-9) << c.name;
        EXPECT_GE(layout.scale(), 0) << c.name;
        expectRect(layout.scaledDisplayFrame(), c.surface, c.name);
    }
}

TEST(DashboardDisplayPreviewLayoutTest, MapsGlobalFramesIntoTheSurface)
{
    // A display right of the primary, scaled by one half: 800x400 into 400x200 available.
    const DashboardDisplayPreviewLayout layout {CGRect(1000, -100, 800, 400), {420, 220}};
    ASSERT_NEAR(layout.scale(), 0.5, 1e-9);
    expectRect(layout.scaledFrame(CGRect(1000, -100, 800, 400)), CGRect(10, 10, 400, 200), "whole display");
    expectRect(layout.scaledFrame(CGRect(1200, 100, 100, 50)), CGRect(110, 110, 50, 25), "window");
    expectRect(layout.surfaceLocalFrame(CGRect(1200, 100, 100, 50)), CGRect(100, 100, 50, 25), "surface-local");
    // Beyond the display's edge stays beyond: clipping is the painter's job.
    expectRect(layout.surfaceLocalFrame(CGRect(1700, 250, 200, 100)), CGRect(350, 175, 100, 50), "overhanging");
}

// Renders one canvas of 400x174 whose 380x154 display maps 1:1 onto the surface at (10, 10).
class DashboardDisplayCanvasPaintTest : public ::testing::Test {
protected:
    static constexpr double surfaceX = 10;
    static constexpr double surfaceY = 10;

    DashboardDisplayCanvasPaintTest()
        : resolver(test::makeTableResolver({{"org.a", "Alpha"}, {"org.b", "Beta"}, {"org.c", "Gamma"}, {"org.d", "Delta"}}))
    {
        palette.setColor(QPalette::Window, QColor(240, 240, 240));
        palette.setColor(QPalette::Base, QColor(255, 255, 255));
        palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    }

    WindowRecord window(const QString& app, double x, double y, double w, double h, std::int64_t hint = 1)
    {
        WindowRecord record = makeWindow(app, 1, hint);
        record.normalizedFrame = {x / 380, y / 154, w / 380, h / 154};
        record.windowTitle.reset();
        return record;
    }

    QImage render(const std::vector<WindowRecord>& windows, QSize size = QSize(400, 174))
    {
        const DisplayRecord display = makeDisplay(1, CGRect(0, 0, 380, 154));
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(128, 128, 128));
        QPainter p(&image);
        DashboardDisplayCanvas::paint(p, QSizeF(size), display.frameRect(),
                                      DashboardDisplayCanvas::picturedWindows(display, windows, resolver), palette);
        return image;
    }

    QColor accent(const QString& app) { return resolver.identity(app).accentColor; }

    static QColor over(const QColor& top, double alpha, const QColor& bottom)
    {
        return QColor::fromRgbF(top.redF() * alpha + bottom.redF() * (1 - alpha),
                                top.greenF() * alpha + bottom.greenF() * (1 - alpha),
                                top.blueF() * alpha + bottom.blueF() * (1 - alpha));
    }

    static QRect at(double x, double y, double w, double h)
    {
        return QRect(int(surfaceX + x), int(surfaceY + y), int(w), int(h));
    }

    const QColor surface {240, 240, 240};
    QPalette palette;
    DashboardAppIdentityResolver resolver;
};

TEST_F(DashboardDisplayCanvasPaintTest, WindowsWhereTheyWereWithStateStyles)
{
    WindowRecord normal = window("org.a", 20, 20, 100, 60);
    WindowRecord minimized = window("org.b", 200, 20, 100, 60);
    minimized.isMinimized = true;
    WindowRecord hidden = window("org.c", 200, 100, 100, 40);
    hidden.isVisible = false;
    WindowRecord fullscreen = window("org.d", 20, 100, 100, 40);
    fullscreen.isFullscreen = true;
    const QImage image = render({normal, minimized, hidden, fullscreen});

    const QColor normalFill = over(accent("org.a"), 0.36, surface);
    // Bottom-right quarter of each window: below any label.
    EXPECT_GT(countPixels(image, at(80, 55, 30, 20), normalFill, 4), 500);
    EXPECT_GT(countPixels(image, at(260, 55, 30, 20), over(over(accent("org.b"), 0.36, surface), 0.38, surface), 4), 500);
    EXPECT_GT(countPixels(image, at(260, 120, 30, 15), over(over(accent("org.c"), 0.36, surface), 0.38, surface), 4), 400);
    EXPECT_GT(countPixels(image, at(80, 120, 30, 15), over(accent("org.d"), 0.48, surface), 4), 400);

    // Nothing where no window was, and the margin around the display is not the surface.
    EXPECT_EQ(countOtherPixels(image, at(140, 10, 40, 130), surface, 2), 0);
    EXPECT_EQ(countPixels(image, QRect(0, 80, 9, 10), surface, 2), 0);

    // The left edge, one pixel in: the full-screen window's 2-point outline is still there,
    // the other window's 1-point outline is not.
    const QColor strongEdge = over(accent("org.d"), 0.82, over(accent("org.d"), 0.48, surface));
    EXPECT_GT(countPixels(image, at(21, 110, 1, 20), strongEdge, 6), 15);
    EXPECT_GT(countPixels(image, at(21, 40, 1, 20), normalFill, 6), 15);
}

TEST_F(DashboardDisplayCanvasPaintTest, LabelsOnlyAboveTheirSizes)
{
    struct Case {
        const char* name;
        double w, h;
        bool titled;
        bool icon, appName, title;
    };
    const std::vector<Case> cases {
        {"icon, name and title", 140, 60, true, true, true, true},
        {"no title without one", 140, 60, false, true, true, false},
        {"too low for a title", 140, 57, true, true, true, false},
        {"icon and name", 100, 40, true, true, true, false},
        {"icon only", 60, 40, true, true, false, false},
        {"narrower than a name", 73, 40, true, true, false, false},
        {"nothing below 22", 100, 21, true, false, false, false},
    };
    for (const Case& c : cases) {
        WindowRecord w = window("org.a", 20, 20, c.w, c.h);
        if (c.titled)
            w.windowTitle = QStringLiteral("  Quarterly report  ");
        const QImage image = render({w});
        const QColor fill = over(accent("org.a"), 0.36, surface);
        EXPECT_EQ(countPixels(image, image.rect(), QColor(255, 0, 0), 30) > 100, c.icon) << c.name;
        EXPECT_EQ(countOtherPixels(image, at(20 + 5 + 18, 20 + 5, c.w - 5 - 18 - 5, 14), fill, 40) > 10, c.appName) << c.name;
        EXPECT_EQ(countOtherPixels(image, at(20 + 5, 20 + 5 + 17, c.w - 10, std::max(0.0, c.h - 5 - 17 - 5)), fill, 40) > 10,
                  c.title)
            << c.name;
    }
}

TEST_F(DashboardDisplayCanvasPaintTest, TinyWindowsGrowToTenPointsAroundTheirCentre)
{
    const QImage image = render({window("org.a", 100, 50, 6, 4)});
    // Centred on (103, 52): 10x10 from (98, 47).
    const QColor fill = over(accent("org.a"), 0.36, surface);
    EXPECT_GT(countPixels(image, at(99, 48, 8, 8), fill, 40), 40);
    EXPECT_EQ(countOtherPixels(image, at(92, 41, 4, 22), surface, 2), 0);
    EXPECT_EQ(countOtherPixels(image, at(110, 41, 4, 22), surface, 2), 0);
}

TEST_F(DashboardDisplayCanvasPaintTest, OnlyTheFrontmostOfAnOverlapGroupIsPictured)
{
    const WindowRecord front = window("org.a", 20, 20, 100, 100, 1);
    const WindowRecord behind = window("org.b", 40, 30, 100, 100, 2);
    const QImage image = render({behind, front});
    EXPECT_GT(countPixels(image, at(90, 100, 20, 15), over(accent("org.a"), 0.36, surface), 4), 200);
    // Where only the hidden member would be.
    EXPECT_EQ(countOtherPixels(image, at(125, 40, 12, 80), surface, 2), 0);
}

TEST_F(DashboardDisplayCanvasPaintTest, FrontWindowsArePaintedAboveTheOnesBehind)
{
    // Overlapping by 25 % of the smaller one: two groups, both pictured.
    const WindowRecord front = window("org.a", 20, 20, 100, 100, 1);
    const WindowRecord behind = window("org.b", 70, 70, 100, 100, 2);
    const QImage image = render({behind, front});
    // Inside the shared area the front window's fill lies over the other one.
    const QColor frontOverBehind = over(accent("org.a"), 0.36, over(accent("org.b"), 0.36, surface));
    EXPECT_GT(countPixels(image, at(95, 95, 20, 20), frontOverBehind, 4), 300);
}

TEST_F(DashboardDisplayCanvasPaintTest, WindowsAreCutOffAtTheDisplayEdge)
{
    const QImage image = render({window("org.a", 340, 60, 200, 40)});
    EXPECT_GT(countPixels(image, at(360, 80, 15, 10), over(accent("org.a"), 0.36, surface), 4), 100);
    // Right of the surface (which ends at x = 390) lies the canvas margin, never the window.
    EXPECT_EQ(countPixels(image, QRect(392, 70, 8, 30), accent("org.a"), 40), 0);
}

TEST_F(DashboardDisplayCanvasPaintTest, WindowsWithoutAUsableFrameAreLeftOut)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    WindowRecord broken = window("org.b", 0, 0, 100, 100, 1);
    broken.normalizedFrame = {nan, 0.1, 0.5, 0.5};
    WindowRecord endless = window("org.c", 0, 0, 100, 100, 2);
    endless.normalizedFrame = {0.1, 0.1, inf, 0.5};
    const WindowRecord sound = window("org.a", 200, 20, 100, 60, 3);
    // The same picture as without them: nothing drawn, and the sound window not swallowed.
    EXPECT_EQ(render({broken, endless, sound}), render({sound}));
}

TEST_F(DashboardDisplayCanvasPaintTest, ACanvasSmallerThanItsInsetsDrawsNoWindow)
{
    for (const QSize size : {QSize(15, 174), QSize(400, 12), QSize(1, 1)}) {
        const QImage image = render({window("org.a", 0, 0, 380, 154)}, size);
        EXPECT_EQ(countPixels(image, image.rect(), accent("org.a"), 40), 0) << size.width() << "x" << size.height();
        EXPECT_EQ(countPixels(image, image.rect(), QColor(255, 0, 0), 30), 0);
    }
}

} // namespace
} // namespace zen
