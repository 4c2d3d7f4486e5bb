// The floating feedback on a real X server: each panel as it appears on screen (checked on a
// screenshot of the root window, kept out of the repository), and display-change offers
// driven by real monitor changes.
#include "Displays/DisplayChangeRestoreController.h"
#include "Displays/DisplayResolver.h"
#include "Infrastructure/TelemetryLogger.h"
#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"
#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/FloatingFeedbackPanel.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/OperationOverlayContentView.h"
#include "MenuBar/OperationOverlayController.h"
#include "MenuBar/OperationToastCloseButton.h"
#include "MenuBar/StatusNoticeContentView.h"
#include "MenuBar/ToastTextLabel.h"
#include "Platform/Edid.h"
#include "Platform/X11/CompositingManagerProbe.h"
#include "Platform/X11/X11Platform.h"
#include "Restore/RestoreEngine.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace zen {
namespace {

using namespace testsupport;

// Where something is drawn near `around`: the bounds of the pixels that differ from the
// empty (black) root window within 24 pixels of it.
QRect drawnBounds(const QImage& image, const QRect& around)
{
    QRect bounds;
    const QRect area = around.adjusted(-24, -24, 24, 24).intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).lightness() > 8)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

template <typename View>
View* contentOf(FloatingFeedbackPanel* panel)
{
    return panel ? qobject_cast<View*>(panel->contentView()) : nullptr;
}

struct OverlayLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    XSession x;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "no X server";
        if (compositingManagerRunning())
            GTEST_SKIP() << "the checks below expect solid panels (no compositing manager)";
        if (!QFile::exists("/usr/bin/import") || !hasTool("xdotool"))
            GTEST_SKIP() << "needs ImageMagick's import and xdotool";
    }

    static void settle() { pumpEventsFor(400); }
};

TEST_F(OverlayLiveTest, EachPanelAppearsWithItsSizeAndTexts)
{
    ScreenshotFolder folder;
    OperationOverlayController overlay(OperationOverlayController::Durations{},
                                       OperationOverlayController::PresentationBarrier{},
                                       OperationOverlayController::Environment{.isCompositing = compositingManagerRunning});
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2) << "the test server has two monitors";
    const QColor card = ToastCardView::fill(false);
    QWidget* focusBefore = QApplication::focusWidget();

    // The progress overlay: a card in the middle of each monitor, the monitors left visible.
    bool shown = false;
    overlay.showOverlay(OperationOverlayKind::restore, [&] { shown = true; });
    ASSERT_TRUE(waitFor([&] { return shown; }));
    settle();
    QImage shot = rootScreenshot();
    ASSERT_FALSE(shot.isNull());
    folder.save(shot, "overlay");
    ASSERT_EQ(overlay.overlayWindows().size(), 2u);
    for (int i = 0; i < 2; ++i) {
        FloatingFeedbackPanel* panel = overlay.overlayWindows()[i];
        EXPECT_EQ(panel->geometry().center(), screens[i]->geometry().center());
        const QRect bounds = drawnBounds(shot, panel->geometry());
        EXPECT_EQ(bounds, panel->geometry()) << "card on monitor " << i;
        EXPECT_GE(bounds.width(), 190);
        EXPECT_GE(bounds.height(), 112);
        EXPECT_TRUE(containsColor(shot, bounds.adjusted(4, 20, -4, -20), card, 6));
        EXPECT_EQ(contentOf<OperationOverlayContentView>(panel)->messageLabel()->text(), "Restoring layout...");
        EXPECT_TRUE(containsColor(shot, panel->geometry(), Qt::white, 30)) << "message and spinner drawn";
        EXPECT_FALSE(panel->isActiveWindow());
    }

    // The completion toast with details, on both monitors.
    const QString summary = "Restored \"Desk & <b>Studio</b>\": 3 windows restored, 2 skipped.";
    const QString detail = "\"Mail\" could not be matched\n\"Notes\" could not be matched";
    overlay.showRestoreCompletion(summary, detail);
    settle();
    shot = rootScreenshot();
    folder.save(shot, "completion-toast");
    ASSERT_EQ(overlay.overlayWindows().size(), 2u);
    for (int i = 0; i < 2; ++i) {
        FloatingFeedbackPanel* panel = overlay.overlayWindows()[i];
        const QRect available = screens[i]->availableGeometry();
        EXPECT_EQ(panel->geometry(),
                  QRect(available.x() + (available.width() - 460) / 2, available.y() + 28, 460, 82 + 2 * 18));
        EXPECT_EQ(drawnBounds(shot, panel->geometry()), panel->geometry());
        EXPECT_TRUE(containsColor(shot, panel->geometry().adjusted(20, 20, -20, -20), card, 6));
        auto* content = contentOf<OperationCompletionToastContentView>(panel);
        EXPECT_EQ(content->summaryLabel()->text(), summary);
        EXPECT_EQ(content->detailLabel()->text(), detail);
        // Windows were skipped: a warning, not a check.
        EXPECT_TRUE(containsColor(shot, panel->geometry().adjusted(14, 0, -420, 0), QColor(255, 159, 10))) << "orange glyph";
        EXPECT_FALSE(containsColor(shot, panel->geometry().adjusted(14, 0, -420, 0), QColor(48, 209, 88))) << "green check";
    }

    // One close button closes the toasts of both monitors.
    contentOf<OperationCompletionToastContentView>(overlay.overlayWindows()[1])->closeButton()->click();
    ASSERT_TRUE(waitFor([&] { return overlay.overlayWindows().empty(); }));

    // The notice and the suggestions appear on the monitor under the pointer.
    QCursor::setPos(screens[1]->geometry().center());
    ASSERT_TRUE(waitFor([&] { return screens[1]->geometry().contains(QCursor::pos()); }));
    const QRect right = screens[1]->availableGeometry();
    const QRect toastSlot(right.x() + (right.width() - 460) / 2, right.y() + 28, 460, 0);

    const QString notice = "Window access is required to restore layouts. Open Zentharion to enable access.";
    overlay.showStatusNotice(notice, 6.0);
    settle();
    shot = rootScreenshot();
    folder.save(shot, "status-notice");
    FloatingFeedbackPanel* panel = overlay.statusNoticeWindow();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->geometry(), toastSlot.adjusted(0, 0, 0, 78));
    EXPECT_EQ(contentOf<StatusNoticeContentView>(panel)->messageLabel()->text(), notice);
    EXPECT_EQ(drawnBounds(shot, panel->geometry()), panel->geometry());
    EXPECT_TRUE(containsColor(shot, panel->geometry().adjusted(14, 0, -420, 0), QColor(255, 159, 10))) << "orange hand";
    overlay.hideStatusNotice();

    overlay.showDisplayRestoreSuggestion("Desk & <b>Studio</b>", [] {});
    settle();
    shot = rootScreenshot();
    folder.save(shot, "suggestion");
    panel = overlay.displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->geometry(), toastSlot.adjusted(0, 0, 0, 112));
    auto* suggestion = contentOf<DisplayRestoreSuggestionToastContentView>(panel);
    EXPECT_EQ(suggestion->titleLabel()->text(), "Display changed");
    EXPECT_EQ(suggestion->questionLabel()->text(), "Restore \"Desk & <b>Studio</b>\"?");
    EXPECT_EQ(suggestion->restoreButton()->text(), "Restore");
    EXPECT_EQ(drawnBounds(shot, panel->geometry()), panel->geometry());
    EXPECT_TRUE(containsColor(shot, suggestion->restoreButton()->geometry().translated(panel->pos()), QColor(10, 132, 255),
                         20))
        << "the default button in the accent colour";

    const std::vector<DisplayRestoreSuggestionOption> options = {{QUuid::createUuid(), "Desk"},
                                                                 {QUuid::createUuid(), "Tom & Jerry"}};
    std::vector<QUuid> chosen;
    overlay.showDisplayRestoreSuggestionChooser(options, [&](const QUuid& id) { chosen.push_back(id); });
    settle();
    shot = rootScreenshot();
    folder.save(shot, "suggestion-chooser");
    panel = overlay.displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->geometry(), toastSlot.adjusted(0, 0, 0, 112));
    auto* chooser = contentOf<DisplayRestoreSuggestionChooserToastContentView>(panel);
    EXPECT_EQ(chooser->explanationLabel()->text(), "Multiple saved layouts match this display setup.");
    EXPECT_EQ(chooser->chooseButton()->text(), "Choose Layout");
    EXPECT_EQ(drawnBounds(shot, panel->geometry()), panel->geometry());

    // "Choose Layout" pops the layouts up under the button; choosing one restores it.
    x.click(chooser->chooseButton());
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }));
    settle();
    folder.save(rootScreenshot(), "suggestion-chooser-menu");
    const QPoint below = chooser->chooseButton()->mapToGlobal(QPoint(0, chooser->chooseButton()->height() + 4));
    EXPECT_EQ(menu->geometry().topLeft(), below);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[1]->text(), "Tom && Jerry");
    x.click(menu, menu->actionGeometry(menu->actions()[1]).center());
    ASSERT_TRUE(waitFor([&] { return !chosen.empty(); }));
    EXPECT_EQ(chosen, std::vector<QUuid>{options[1].snapshotID});
    EXPECT_TRUE(waitFor([&] { return !overlay.isDisplayRestoreSuggestionVisible(); }));

    // None of them took the focus.
    EXPECT_EQ(QApplication::focusWidget(), focusBefore);
    EXPECT_EQ(QApplication::activeWindow(), nullptr);
}

// A monitor named like the ones xrandr --setmonitor makes, as a layout saves it.
DisplayRecord savedMonitor(const QString& name, CGRect frame, bool primary)
{
    DisplayRecord d;
    d.id = stableDisplayID(name.toUtf8());
    d.localizedName = name;
    d.frame = CGRectCodable(frame);
    d.visibleFrame = CGRectCodable(frame);
    d.isPrimary = primary;
    return d;
}

TEST_F(OverlayLiveTest, PluggingInAMonitorOffersTheLayoutMadeForItAndRestoresIt)
{
    if (!hasTool("xrandr"))
        GTEST_SKIP() << "xrandr is not installed";
    QTemporaryDir data;
    const SnapshotStore store(data.filePath("Snapshots"));

    // A window to put back, and two layouts: one for the monitors after the plug-in, one for
    // a monitor that never comes.
    TestClientProcess client({"--class", "zen-overlay-live,ZenOverlayLive", "--window",
                              "title=Plugged,geometry=300x200+120+140"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<LiveWindow> window;
    ASSERT_TRUE(waitFor([&] { return (window = findLiveWindow(platform->services(), "Plugged")).has_value(); }));

    const DisplayRecord left = savedMonitor("ZEN-LEFT", CGRect(0, 0, 1280, 800), true);
    const DisplayRecord right = savedMonitor("ZEN-RIGHT", CGRect(1280, 0, 1024, 768), false);
    const DisplayRecord third = savedMonitor("ZEN-THIRD", CGRect(0, 800, 800, 600), false);
    const CGRect& frame = window->window.frame;
    const CGRect target(frame.minX() + 350, frame.minY() + 120, frame.width(), frame.height());
    const WindowRecord record = recordPlacing(*window, target, left);
    Snapshot threeMonitors;
    threeMonitors.name = QStringLiteral("Three monitors");
    threeMonitors.sourceDisplayState = DisplayState::make({left, right, third}, left.id);
    threeMonitors.windows = {record};
    Snapshot elsewhere = threeMonitors;
    elsewhere.id = QUuid::createUuid();
    elsewhere.name = QStringLiteral("Projector");
    elsewhere.sourceDisplayState =
        DisplayState::make({left, right, savedMonitor("ZEN-PROJECTOR", CGRect(0, 800, 1920, 1080), false)}, left.id);
    ASSERT_TRUE(store.save(threeMonitors));
    ASSERT_TRUE(store.save(elsewhere));

    // What the offer is asked to show, on top of the real panels.
    struct CountingPresenter final : DisplayRestoreSuggestionPresenting {
        OperationOverlayController overlay{OperationOverlayController::Durations{},
                                           OperationOverlayController::PresentationBarrier{},
                                           OperationOverlayController::Environment{}};
        std::vector<QString> offered;
        bool isDisplayRestoreSuggestionVisible() const override { return overlay.isDisplayRestoreSuggestionVisible(); }
        void showDisplayRestoreSuggestion(const QString& name, std::function<void()> restore) override
        {
            offered.push_back(name);
            overlay.showDisplayRestoreSuggestion(name, std::move(restore));
        }
        void showDisplayRestoreSuggestionChooser(const std::vector<DisplayRestoreSuggestionOption>& options,
                                                 std::function<void(const QUuid&)> restore) override
        {
            offered.push_back(QStringLiteral("chooser"));
            overlay.showDisplayRestoreSuggestionChooser(options, std::move(restore));
        }
        void hideDisplayRestoreSuggestion() override { overlay.hideDisplayRestoreSuggestion(); }
    };
    auto presenter = std::make_shared<CountingPresenter>();
    std::vector<QUuid> restored;
    bool restoreSucceeded = false;
    DisplayChangeRestoreController::Options options;
    options.debounceInterval = 1.0;
    options.log = [](QtMsgType, const QString& message) { qInfo("displays: %s", qUtf8Printable(message)); };
    auto controller = std::make_unique<DisplayChangeRestoreController>(
        [&] {
            std::vector<Snapshot> all;
            auto summaries = store.listSummaries();
            if (!summaries)
                return std::expected<std::vector<Snapshot>, SnapshotStoreError>(std::unexpected(summaries.error()));
            for (const auto& summary : *summaries) {
                auto snapshot = store.loadSnapshot(summary.id);
                if (!snapshot)
                    return std::expected<std::vector<Snapshot>, SnapshotStoreError>(std::unexpected(snapshot.error()));
                all.push_back(*snapshot);
            }
            return std::expected<std::vector<Snapshot>, SnapshotStoreError>(all);
        },
        [] { return true; }, [] { return true; }, [] { return false; }, presenter,
        [&](const QUuid& id) {
            restored.push_back(id);
            const auto result = RestoreEngine::live(store, std::make_shared<NoOpTelemetryLogger>()).restoreSnapshot(id);
            restoreSucceeded = result.has_value() && result->restoredWindows == 1;
        },
        options);
    QCursor::setPos(640, 400);
    controller->start();

    struct RemoveMonitor {
        ~RemoveMonitor() { QProcess::execute("xrandr", {"--delmonitor", "ZEN-THIRD"}); }
    } removeMonitor;
    const auto plugIn = [] {
        return QProcess::execute("xrandr", {"--setmonitor", "ZEN-THIRD", "800/200x600/150+0+800", "none"}) == 0;
    };
    ASSERT_TRUE(plugIn());
    ASSERT_TRUE(waitFor([&] { return presenter->isDisplayRestoreSuggestionVisible(); }));
    pumpEventsFor(1500); // later notifications of the same change offer nothing more
    EXPECT_EQ(presenter->offered, std::vector<QString>{"Three monitors"});

    // Unplugged: the offer goes at once, well before the quiet period is over.
    QDeadlineTimer unplugged(600);
    ASSERT_EQ(QProcess::execute("xrandr", {"--delmonitor", "ZEN-THIRD"}), 0);
    ASSERT_TRUE(waitFor([&] { return !presenter->isDisplayRestoreSuggestionVisible(); }, 3000));
    EXPECT_FALSE(unplugged.hasExpired());
    pumpEventsFor(1500);
    EXPECT_EQ(presenter->offered.size(), 1u);

    // Plugged in again: offered again; accepting restores it onto the real window.
    ASSERT_TRUE(plugIn());
    ASSERT_TRUE(waitFor([&] { return presenter->isDisplayRestoreSuggestionVisible(); }));
    EXPECT_EQ(presenter->offered.size(), 2u);
    auto* toast = contentOf<DisplayRestoreSuggestionToastContentView>(presenter->overlay.displayRestoreSuggestionWindow());
    ASSERT_TRUE(toast);
    pumpEventsFor(300);
    x.click(toast->restoreButton());
    ASSERT_TRUE(waitFor([&] { return !restored.empty(); })) << "the Restore button did not take the click";
    EXPECT_EQ(restored, std::vector<QUuid>{threeMonitors.id});
    EXPECT_TRUE(restoreSucceeded);
    EXPECT_TRUE(waitFor([&] { return liveWindowAt(platform->services(), "Plugged", target); })) << "the window was not put where the layout says";
}

// Under a compositing manager the overlay covers each monitor and dims what is on it,
// instead of hiding it behind an opaque window.
TEST(OverlayCompositedLiveTest, TheOverlayDimsEachMonitorUnderACompositingManager)
{
    if (!X11Platform::connect() || QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "no X server";
    if (!hasTool("picom") || !QFile::exists("/usr/bin/import"))
        GTEST_SKIP() << "needs picom and ImageMagick's import";
    QProcess compositor;
    if (!compositingManagerRunning()) {
        compositor.start("picom", {"--backend", "xrender", "--no-fading-openclose"});
        ASSERT_TRUE(compositor.waitForStarted());
    }
    struct Stop {
        QProcess& process;
        ~Stop()
        {
            if (process.state() != QProcess::NotRunning) {
                process.terminate();
                process.waitForFinished(5000);
            }
        }
    } stop{compositor};
    ASSERT_TRUE(waitFor([] { return compositingManagerRunning(); })) << "picom did not start";

    // Something bright behind the overlay on the left monitor.
    TestClientProcess client({"--class", "zen-dimmed,ZenDimmed", "--window", "title=Dimmed,geometry=300x200+40+500"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    pumpEventsFor(500);
    const QImage before = rootScreenshot();
    const QPoint probe(150, 620);
    ASSERT_GT(before.pixelColor(probe).lightness(), 200) << "the client draws white";

    ScreenshotFolder folder;
    OperationOverlayController overlay(
        OperationOverlayController::Durations{}, OperationOverlayController::PresentationBarrier{},
        OperationOverlayController::Environment{.isCompositing = compositingManagerRunning});
    bool shown = false;
    overlay.showOverlay(OperationOverlayKind::save, [&] { shown = true; });
    ASSERT_TRUE(waitFor([&] { return shown; }));
    pumpEventsFor(500); // the fade-in
    const QImage shot = rootScreenshot();
    folder.save(shot, "overlay-composited");
    ASSERT_EQ(overlay.overlayWindows().size(), 2u);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(overlay.overlayWindows()[i]->geometry(), QGuiApplication::screens()[i]->geometry());
    const int dimmed = shot.pixelColor(probe).lightness();
    EXPECT_GT(dimmed, 150) << "the monitor must stay visible through the overlay";
    EXPECT_LT(dimmed, before.pixelColor(probe).lightness() - 20) << "and be dimmed";
    const QPoint middle = QGuiApplication::screens()[0]->geometry().center();
    EXPECT_TRUE(containsColor(shot, QRect(middle - QPoint(60, 40), QSize(120, 80)), Qt::white, 30)) << "the card's message";

    overlay.hideOverlay();
    ASSERT_TRUE(waitFor([&] { return overlay.overlayWindows().empty(); }));
}

// A window raised while a toast is up does not cover the toast, and clicking the toast does
// not take the focus from it.
TEST_F(OverlayLiveTest, ToastsStayAboveWindowsRaisedLater)
{
    OperationOverlayController overlay(
        OperationOverlayController::Durations{}, OperationOverlayController::PresentationBarrier{},
        OperationOverlayController::Environment{.isCompositing = compositingManagerRunning});
    QCursor::setPos(640, 400);
    overlay.showDisplayRestoreSuggestion("Desk", [] {});
    settle();
    FloatingFeedbackPanel* panel = overlay.displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    const QRect area = panel->geometry();
    TestClientProcess client({"--class", "zen-raised,ZenRaised", "--window",
                              QStringLiteral("title=Raised,geometry=%1x%2+%3+%4")
                                  .arg(area.width() + 100)
                                  .arg(area.height() + 100)
                                  .arg(area.x() - 50)
                                  .arg(area.y() - 20)});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    QProcess::execute("xdotool", {"search", "--name", "^Raised$", "windowraise", "windowactivate"});
    settle();
    const QImage shot = rootScreenshot();
    EXPECT_EQ(shot.pixelColor(area.x() + 200, area.bottom() - 6), ToastCardView::fill(false))
        << "the client window covers the toast";

    // Clicking the toast leaves the user's window active.
    const auto activeWindow = [] {
        QProcess xdotool;
        xdotool.start("xdotool", {"getactivewindow"});
        xdotool.waitForFinished(5000);
        return xdotool.readAllStandardOutput().trimmed();
    };
    const QByteArray active = activeWindow();
    ASSERT_FALSE(active.isEmpty());
    auto* toast = contentOf<DisplayRestoreSuggestionToastContentView>(panel);
    x.click(toast->closeButton());
    ASSERT_TRUE(waitFor([&] { return !overlay.isDisplayRestoreSuggestionVisible(); }));
    EXPECT_EQ(activeWindow(), active);
}

} // namespace
} // namespace zen
