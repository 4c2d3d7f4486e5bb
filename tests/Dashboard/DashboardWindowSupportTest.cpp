#include "Dashboard/DashboardWindowObserver.h"
#include "Dashboard/DashboardWindowSupport.h"

#include "Dashboard/DashboardWindowFixture.h"
#include "Shared/UserDefaults.h"
#include "Support/ManualScheduler.h"

#include <QApplication>
#include <QtEndian>
#include <QScreen>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

namespace zen {
namespace {

using Visibility = DashboardWindowVisibility;

TEST(DashboardWindowSupportTest, TheFrameIsSavedAndRestoredUnderItsName)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("prefs.conf"));
    QWidget first;
    EXPECT_FALSE(DashboardWindowSupport::configure(first, defaults)) << "nothing saved yet";
    EXPECT_EQ(first.objectName(), "ZentharionDashboardWindow");
    first.setGeometry(130, 110, 1000, 700);
    DashboardWindowSupport::saveFrame(first, defaults);
    EXPECT_TRUE(defaults.stringForKey("ZentharionDashboard").has_value());

    QWidget second;
    EXPECT_TRUE(DashboardWindowSupport::configure(second, defaults));
    EXPECT_EQ(second.geometry(), first.geometry());

    defaults.setString("ZentharionDashboard", "not a frame");
    QWidget third;
    third.resize(940, 640);
    EXPECT_FALSE(DashboardWindowSupport::configure(third, defaults));
    EXPECT_EQ(third.size(), QSize(940, 640));
}

// A frame saved on a monitor since unplugged: the window opens centred on the primary monitor
// rather than as a strip at the edge of the one left.
TEST(DashboardWindowSupportTest, AFrameSavedMostlyOffEveryMonitorOpensCentredOnThePrimaryOne)
{
    const QRect left(0, 0, 1280, 800), right(1280, 0, 1024, 768);
    struct Case {
        QRect frame;
        std::vector<QRect> monitors;
        bool mostlyOn;
    };
    for (const auto& [frame, monitors, mostlyOn] : std::vector<Case>{
             {QRect(100, 100, 940, 640), {left}, true},
             {QRect(900, 100, 940, 640), {left, right}, true}, // across both monitors
             {QRect(1188, 100, 940, 640), {left, right}, true},
             {QRect(1188, 100, 940, 640), {left}, false}, // 92 of 940 px on the monitor left
             {QRect(2400, 100, 940, 640), {left}, false},
             // Mirrored monitors show the same pixels: 280 of 940 px on screen, not twice that.
             {QRect(1000, 100, 940, 640), {left, left}, false}})
        EXPECT_EQ(DashboardWindowSupport::mostlyOnMonitors(frame, monitors), mostlyOn) << frame.x();

    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("prefs.conf"));
    const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget saved;
    saved.setGeometry(primary.right() - 40, primary.top() + 50, 300, 200);
    DashboardWindowSupport::saveFrame(saved, defaults);
    QWidget reopened;
    EXPECT_TRUE(DashboardWindowSupport::configure(reopened, defaults));
    EXPECT_EQ(reopened.size(), QSize(300, 200));
    EXPECT_EQ(reopened.frameGeometry().center(), primary.center());

    // Saved on a monitor of quite another width, the frame is refused; a window still standing
    // where it was closed, on a monitor unplugged since, opens on the primary one all the same.
    QByteArray frame = QByteArray::fromBase64(defaults.stringForKey("ZentharionDashboard")->toLatin1());
    constexpr qsizetype savedScreenWidth = 46; // after the frames, screen number and flags
    ASSERT_GE(frame.size(), savedScreenWidth + 4);
    qToBigEndian(quint32(4 * QGuiApplication::primaryScreen()->geometry().width()), frame.data() + savedScreenWidth);
    defaults.setString("ZentharionDashboard", QString::fromLatin1(frame.toBase64()));
    QWidget closed;
    closed.setGeometry(primary.right() + 2000, primary.top() + 50, 300, 200);
    EXPECT_FALSE(DashboardWindowSupport::configure(closed, defaults));
    EXPECT_EQ(closed.frameGeometry().center(), primary.center());
}

TEST(DashboardWindowSupportTest, OpenOrFocusOpensOnlyWhenNoDashboardIsShown)
{
    int opened = 0;
    std::unique_ptr<QWidget> window;
    const auto open = [&] {
        ++opened;
        window = std::make_unique<QWidget>();
        window->setObjectName(DashboardWindowSupport::identifier());
        window->show();
    };
    QWidget unrelated;
    unrelated.show();

    EXPECT_FALSE(DashboardWindowSupport::focusExistingWindow());
    DashboardWindowSupport::openOrFocusDashboard(open);
    DashboardWindowSupport::openOrFocusDashboard(open);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(DashboardWindowSupport::existingWindow(), window.get());

    window->showMinimized();
    EXPECT_TRUE(DashboardWindowSupport::focusExistingWindow());
    EXPECT_FALSE(window->isMinimized());

    window->hide(); // closed
    DashboardWindowSupport::openOrFocusDashboard(open);
    EXPECT_EQ(opened, 2);
}

struct Observed : test::DashboardWindowFixture {
    UserDefaults defaults{root.filePath("prefs.conf")};
    std::vector<Visibility> reports;

    Observed()
    {
        QObject::connect(router.get(), &PermissionInterventionRouter::dashboardWindowVisibilityChanged,
                         [this](Visibility v) { reports.push_back(v); });
    }
};

TEST(DashboardWindowObserverTest, ReportsVisibilityChangesOnceEachAndSavesTheFrameOnClose)
{
    Observed f;
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(940, 640);
    auto* observer = new DashboardWindowObserver(*window, f.router, f.defaults);
    window->show();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(f.reports, std::vector<Visibility>{Visibility::visibleOnActiveSpace});

    observer->updateVisibility();
    window->move(window->pos() + QPoint(5, 0));
    QApplication::processEvents();
    EXPECT_EQ(f.reports.size(), 1u) << "an unchanged state is not written again";

    window->showMinimized();
    QApplication::processEvents();
    EXPECT_EQ(f.reports.back(), Visibility::notVisible);
    window->showNormal();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(f.reports.back(), Visibility::visibleOnActiveSpace);
    const auto beforeClose = f.reports.size();

    window->setGeometry(150, 120, 1000, 700);
    QPointer<QWidget> closing(window);
    window->close();
    QApplication::processEvents();
    EXPECT_EQ(f.reports.size(), beforeClose + 1);
    EXPECT_EQ(f.reports.back(), Visibility::notVisible);
    QWidget reopened;
    EXPECT_TRUE(DashboardWindowSupport::configure(reopened, f.defaults));
    EXPECT_EQ(reopened.size(), QSize(1000, 700));
}

// Each save replaces the settings file: a drag saves once it has ended, and what is still
// waiting is saved when the window goes or the program quits.
TEST(DashboardWindowObserverTest, AMoveSavesTheFrameOnceItHasEndedOrTheWindowGoes)
{
    Observed f;
    auto scheduler = std::make_shared<test::ManualScheduler>();
    QWidget window;
    window.setGeometry(100, 100, 940, 640);
    new DashboardWindowObserver(window, f.router, f.defaults, scheduler);
    window.show();
    QApplication::processEvents();
    const auto stored = [&] { return f.defaults.stringForKey(DashboardWindowSupport::frameAutosaveName()); };
    const auto frameNow = [&] { return std::optional(QString::fromLatin1(window.saveGeometry().toBase64())); };

    for (int step = 1; step <= 100; ++step) {
        window.move(100 + step, 100 + step / 2);
        QApplication::processEvents();
        scheduler->advance(std::chrono::milliseconds(20));
    }
    window.resize(1000, 700);
    QApplication::processEvents();
    scheduler->advance(DashboardWindowObserver::frameSaveDelay - std::chrono::milliseconds(1));
    EXPECT_FALSE(stored()) << "saved while the window was still moving";
    scheduler->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(stored(), frameNow());

    const struct {
        const char* end;
        std::function<void()> act;
    } ends[] = {{"hidden", [&] { window.hide(); }},
                {"quitting", [] { QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"); }}};
    for (const auto& [end, act] : ends) {
        SCOPED_TRACE(end);
        window.show();
        window.move(window.pos() + QPoint(7, 3));
        QApplication::processEvents();
        act();
        EXPECT_EQ(stored(), frameNow());
    }
}

TEST(DashboardWindowSupportTest, AnOpenedWindowIsCentredOverTheDashboardOrOnTheMonitorInsideItsFreeArea)
{
    const QRect monitor(1280, 24, 1024, 744); // a right-hand monitor less a panel at the top
    struct Case {
        QSize size;
        std::optional<QRect> over;
        QRect expected;
    };
    for (const auto& [size, over, expected] : std::vector<Case> {
             {{400, 300}, std::nullopt, QRect(1592, 246, 400, 300)},
             {{400, 300}, QRect(1400, 100, 800, 600), QRect(1600, 250, 400, 300)},
             // Over a dashboard near an edge: moved inside, never off the monitor.
             {{400, 300}, QRect(1900, 600, 600, 400), QRect(1904, 468, 400, 300)},
             {{400, 300}, QRect(1000, -200, 300, 200), QRect(1280, 24, 400, 300)},
             // Larger than the free area: the top-left corner and its title bar stay on it.
             {{1200, 900}, std::nullopt, QRect(1280, 24, 1200, 900)}}) {
        EXPECT_EQ(DashboardWindowSupport::centredFrame(size, over, monitor), expected);
    }
}

} // namespace
} // namespace zen
