#include "MenuBar/OperationOverlayController.h"

#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"
#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/FloatingFeedbackPanel.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/OperationOverlayContentView.h"
#include "MenuBar/OperationToastCloseButton.h"
#include "MenuBar/StatusNoticeContentView.h"
#include "MenuBar/ToastTextLabel.h"
#include "Support/ManualScheduler.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zen {
namespace {

using namespace std::chrono_literals;
using Controller = OperationOverlayController;
using Kind = Controller::PanelKind;

template <typename View>
View* contentOf(FloatingFeedbackPanel* panel)
{
    return panel ? qobject_cast<View*>(panel->contentView()) : nullptr;
}

// Two monitors side by side, a panel along the top of the left one; the pointer on the right.
struct Harness {
    std::vector<Controller::Screen> screens{{QRect(0, 0, 1280, 800), QRect(0, 30, 1280, 770)},
                                            {QRect(1280, 0, 1024, 768), QRect(1280, 0, 1024, 768)}};
    std::optional<Controller::Screen> mainScreen = screens[0];
    QPoint pointer{1500, 300};
    bool compositing = false;
    std::vector<std::function<void()>> barriers;
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    std::unique_ptr<Controller> controller;

    Harness()
    {
        Controller::Environment e;
        e.screens = [this] { return screens; };
        e.mainScreen = [this] { return mainScreen; };
        e.pointerLocation = [this] { return pointer; };
        e.isCompositing = [this] { return compositing; };
        e.scheduler = scheduler;
        e.monotonicClock = [this] { return scheduler->now; };
        controller = std::make_unique<Controller>(
            Controller::Durations{}, [this](std::function<void()> done) { barriers.push_back(std::move(done)); },
            std::move(e));
    }

    void passBarriers()
    {
        for (auto& done : std::exchange(barriers, {}))
            done();
    }
    std::vector<QPointer<FloatingFeedbackPanel>> overlays() const { return controller->overlayWindows(); }
    // The overlay slot's panels, checked to be on screen, fully faded in.
    std::vector<FloatingFeedbackPanel*> shownOverlays() const
    {
        std::vector<FloatingFeedbackPanel*> shown;
        for (const auto& panel : controller->overlayWindows())
            if (panel && panel->isVisible() && panel->targetOpacity() == 1.0)
                shown.push_back(panel);
        return shown;
    }
};

TEST(OperationOverlayControllerTest, ToastSizesFollowTheVisibleFrame)
{
    const struct {
        Kind kind;
        QRect visible;
        std::optional<int> lines;
        QRect expected;
    } cases[] = {
        {Kind::completionToast, QRect(0, 0, 1000, 800), std::nullopt, QRect(270, 28, 460, 76)},
        {Kind::completionToast, QRect(0, 0, 1000, 800), 1, QRect(270, 28, 460, 100)},
        {Kind::completionToast, QRect(0, 0, 1000, 800), 5, QRect(270, 28, 460, 172)},
        {Kind::completionToast, QRect(0, 0, 1000, 200), 5, QRect(270, 28, 460, 152)},
        {Kind::completionToast, QRect(0, 0, 300, 800), std::nullopt, QRect(10, 28, 280, 76)},
        {Kind::completionToast, QRect(0, 0, 400, 800), 1, QRect(24, 28, 352, 100)},
        // A very low usable area still leaves the toast room for its summary.
        {Kind::completionToast, QRect(0, 0, 1000, 100), 3, QRect(270, 28, 460, 76)},
        {Kind::completionToast, QRect(0, 0, 1000, 10), std::nullopt, QRect(270, 28, 460, 76)},
        {Kind::statusNotice, QRect(0, 0, 300, 800), std::nullopt, QRect(0, 28, 300, 78)},
        {Kind::statusNotice, QRect(1280, 30, 1024, 738), std::nullopt, QRect(1562, 58, 460, 78)},
        {Kind::suggestionToast, QRect(0, 0, 300, 800), std::nullopt, QRect(-10, 28, 320, 112)},
        {Kind::suggestionChooser, QRect(-1920, 0, 1920, 1080), std::nullopt, QRect(-1190, 28, 460, 112)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Controller::toastGeometry(c.kind, c.visible, c.lines), c.expected)
            << int(c.kind) << " " << c.visible.width() << "x" << c.visible.height();

    const std::pair<QString, int> details[] = {{"", 1}, {"one", 1}, {"a\nb", 2}, {"a\n\nb", 3}, {"a\n", 2}};
    for (const auto& [detail, lines] : details)
        EXPECT_EQ(Controller::detailLineCount(detail), lines) << detail.toStdString();
}

TEST(OperationOverlayControllerTest, ProgressOverlayComesUpOnEveryMonitorBeforeTheWorkStarts)
{
    for (const bool compositing : {false, true}) {
        Harness h;
        h.compositing = compositing;
        int started = 0;
        h.controller->showOverlay(OperationOverlayKind::save, [&] { ++started; });
        EXPECT_EQ(started, 0);
        const auto panels = h.shownOverlays();
        ASSERT_EQ(panels.size(), 2u);
        for (size_t i = 0; i < panels.size(); ++i) {
            const QRect frame = h.screens[i].frame;
            EXPECT_FALSE(panels[i]->appearance().acceptsMouse);
            EXPECT_EQ(panels[i]->appearance().translucent, compositing);
            auto* content = contentOf<OperationOverlayContentView>(panels[i]);
            ASSERT_TRUE(content);
            EXPECT_EQ(content->messageLabel()->text(), "Saving layout...");
            if (compositing) {
                EXPECT_EQ(panels[i]->geometry(), frame);
            } else {
                // Nothing can be seen through a window: only the card, centred, never the monitor.
                EXPECT_EQ(panels[i]->geometry().center(), frame.center());
                EXPECT_GE(panels[i]->width(), 190);
                EXPECT_GE(panels[i]->height(), 112);
                EXPECT_LT(panels[i]->width(), frame.width() / 2);
            }
        }
        EXPECT_FALSE(h.controller->hasShownAt());
        h.passBarriers();
        EXPECT_EQ(started, 1);
        EXPECT_TRUE(h.controller->hasShownAt());
    }
}

TEST(OperationOverlayControllerTest, TheOverlayStaysAtLeastItsMinimumTimeAndThenFades)
{
    const struct {
        std::chrono::milliseconds hideAfter;
        std::chrono::milliseconds fadeStartsAfterHide;
    } cases[] = {{100ms, 300ms}, {1000ms, 0ms}, {400ms, 0ms}};
    for (const auto& c : cases) {
        Harness h;
        h.controller->showOverlay(OperationOverlayKind::restore, {});
        h.passBarriers();
        h.scheduler->advance(c.hideAfter);
        const auto panels = h.overlays();
        h.controller->hideOverlay();
        if (c.fadeStartsAfterHide > 0ms) {
            h.scheduler->advance(c.fadeStartsAfterHide - 1ms);
            EXPECT_EQ(panels[0]->targetOpacity(), 1.0);
            h.scheduler->advance(1ms);
        } else {
            h.scheduler->advance(0ms);
        }
        EXPECT_EQ(panels[0]->targetOpacity(), 0.0); // fading out
        EXPECT_FALSE(panels[0]->isOrderedOut());
        h.scheduler->advance(179ms);
        EXPECT_FALSE(panels[1]->isOrderedOut());
        h.scheduler->advance(1ms);
        EXPECT_TRUE(panels[0]->isOrderedOut());
        EXPECT_TRUE(panels[1]->isOrderedOut());
        EXPECT_TRUE(h.overlays().empty());
        EXPECT_FALSE(h.controller->hasShownAt());
    }

    // Hidden before it was fully presented: no extra wait.
    Harness early;
    early.controller->showOverlay(OperationOverlayKind::save, {});
    early.controller->hideOverlay();
    early.scheduler->advance(0ms);
    EXPECT_EQ(early.overlays()[0]->targetOpacity(), 0.0);
}

TEST(OperationOverlayControllerTest, ARestoreCompletionReplacesTheOverlayAtOnceOnEveryMonitor)
{
    Harness h;
    h.controller->showOverlay(OperationOverlayKind::restore, {});
    const auto overlay = h.overlays();
    h.passBarriers();
    h.controller->hideOverlay(); // an earlier hide still waiting for the minimum time
    h.controller->showRestoreCompletion("Restored \"A & <b>B</b>\": 2 windows restored.",
                                        QStringLiteral("\"Mail\" skipped\n\"Notes\" skipped"));
    EXPECT_TRUE(overlay[0]->isOrderedOut()); // no fade
    EXPECT_TRUE(overlay[1]->isOrderedOut());

    const auto toasts = h.shownOverlays();
    ASSERT_EQ(toasts.size(), 2u);
    EXPECT_EQ(toasts[0]->geometry(), QRect(410, 58, 460, 118));
    EXPECT_EQ(toasts[1]->geometry(), QRect(1562, 28, 460, 118));
    auto* content = contentOf<OperationCompletionToastContentView>(toasts[0]);
    ASSERT_TRUE(content);
    EXPECT_EQ(content->summaryLabel()->text(), "Restored \"A & <b>B</b>\": 2 windows restored.");
    EXPECT_EQ(content->detailLabel()->text(), "\"Mail\" skipped\n\"Notes\" skipped");
    EXPECT_TRUE(toasts[0]->appearance().acceptsMouse);

    // The earlier hide finds a newer showing and leaves the toasts alone.
    h.scheduler->advance(1s);
    EXPECT_EQ(h.shownOverlays().size(), 2u);
    // They go by themselves after 15 seconds.
    h.scheduler->advance(14s - 1ms);
    EXPECT_EQ(toasts[0]->targetOpacity(), 1.0);
    h.scheduler->advance(1ms);
    EXPECT_EQ(toasts[0]->targetOpacity(), 0.0);
    h.scheduler->advance(180ms);
    EXPECT_TRUE(h.overlays().empty());

    // An empty detail is still a line of detail.
    h.controller->showRestoreCompletion("Restored.", QString());
    EXPECT_EQ(h.overlays()[0]->height(), 100);
    ASSERT_TRUE(contentOf<OperationCompletionToastContentView>(h.overlays()[0])->detailLabel());
    h.controller->showRestoreCompletion("Restored.", std::nullopt);
    EXPECT_EQ(h.overlays()[0]->height(), 76);
    EXPECT_FALSE(contentOf<OperationCompletionToastContentView>(h.overlays()[0])->detailLabel());
}

TEST(OperationOverlayControllerTest, ClosingOneCompletionToastClosesThemAll)
{
    Harness h;
    h.controller->showRestoreCompletion("Restored.", std::nullopt);
    const auto toasts = h.overlays();
    h.scheduler->advance(2s);
    contentOf<OperationCompletionToastContentView>(toasts[1])->closeButton()->click();
    EXPECT_EQ(toasts[0]->targetOpacity(), 0.0);
    h.scheduler->advance(180ms);
    EXPECT_TRUE(toasts[0]->isOrderedOut());
    EXPECT_TRUE(toasts[1]->isOrderedOut());
    EXPECT_TRUE(h.overlays().empty());

    // A new overlay is not cut short by the old toasts' timeout.
    h.controller->showOverlay(OperationOverlayKind::save, {});
    h.scheduler->advance(20s);
    EXPECT_EQ(h.shownOverlays().size(), 2u);
}

TEST(OperationOverlayControllerTest, StatusNoticesAppearUnderThePointerAndReplaceEachOther)
{
    Harness h;
    const QString access = "Window access is required to restore layouts. Open Zentharion to enable access.";
    h.controller->showStatusNotice(access, 6.0);
    FloatingFeedbackPanel* first = h.controller->statusNoticeWindow();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->geometry(), QRect(1562, 28, 460, 78));
    EXPECT_FALSE(first->appearance().acceptsMouse);
    EXPECT_EQ(contentOf<StatusNoticeContentView>(first)->messageLabel()->text(), access);

    // A second notice: the first vanishes at once, and its timer leaves the second alone.
    h.scheduler->advance(4s);
    h.controller->showStatusNotice("Second", 6.0);
    FloatingFeedbackPanel* second = h.controller->statusNoticeWindow();
    EXPECT_TRUE(first->isOrderedOut());
    h.scheduler->advance(2s + 180ms);
    EXPECT_EQ(second->targetOpacity(), 1.0);
    h.scheduler->advance(4s);
    EXPECT_EQ(second->targetOpacity(), 0.0);

    // A notice shown while the previous one fades out after a hide stays.
    h.controller->showStatusNotice("Third", 6.0);
    h.controller->hideStatusNotice();
    FloatingFeedbackPanel* fading = h.controller->statusNoticeWindow();
    h.pointer = QPoint(-50, -50); // on no monitor: the main one
    h.controller->showStatusNotice("Fourth", 6.0);
    FloatingFeedbackPanel* fourth = h.controller->statusNoticeWindow();
    EXPECT_TRUE(fading->isOrderedOut());
    EXPECT_EQ(fourth->geometry(), QRect(410, 58, 460, 78));
    h.scheduler->advance(180ms);
    EXPECT_EQ(h.controller->statusNoticeWindow(), fourth);
    EXPECT_FALSE(fourth->isOrderedOut());

    // No monitor to show it on: the old notice is still removed.
    h.mainScreen.reset();
    h.controller->showStatusNotice("Fifth", 6.0);
    EXPECT_TRUE(fourth->isOrderedOut());
    EXPECT_FALSE(h.controller->statusNoticeWindow());
    h.controller->hideStatusNotice(); // nothing up: nothing happens
    h.scheduler->advance(10s);
    EXPECT_FALSE(h.controller->statusNoticeWindow());
}

TEST(OperationOverlayControllerTest, NoticeDurationsThatAreNoNumberOrHugeStayHarmless)
{
    const struct {
        double duration;
        std::chrono::seconds stillUpAfter; // 0: gone at once
    } cases[] = {{std::nan(""), 0s}, {-5, 0s}, {-std::numeric_limits<double>::infinity(), 0s},
                 {std::numeric_limits<double>::infinity(), 0s}, {1e300, 3600s}};
    for (const auto& c : cases) {
        Harness h;
        h.controller->showStatusNotice("Notice", c.duration);
        FloatingFeedbackPanel* notice = h.controller->statusNoticeWindow();
        h.scheduler->advance(c.stillUpAfter);
        EXPECT_EQ(notice->targetOpacity(), c.stillUpAfter > 0s ? 1.0 : 0.0) << c.duration;
    }
}

TEST(OperationOverlayControllerTest, ASuggestionOffersOneLayoutOnThePointersMonitor)
{
    Harness h;
    int restores = 0;
    h.controller->showDisplayRestoreSuggestion("Desk & <i>Studio</i>", [&] { ++restores; });
    FloatingFeedbackPanel* panel = h.controller->displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(h.controller->isDisplayRestoreSuggestionVisible());
    EXPECT_EQ(panel->geometry(), QRect(1562, 28, 460, 112));
    auto* content = contentOf<DisplayRestoreSuggestionToastContentView>(panel);
    EXPECT_EQ(content->titleLabel()->text(), "Display changed");
    EXPECT_EQ(content->questionLabel()->text(), "Restore \"Desk & <i>Studio</i>\"?");
    EXPECT_TRUE(content->restoreButton()->isDefault());
    EXPECT_EQ(content->restoreButton()->text(), "Restore");

    // Restore: the toast fades and stays reported while it does; the restore runs at once.
    content->restoreButton()->click();
    EXPECT_EQ(restores, 1);
    EXPECT_TRUE(h.controller->isDisplayRestoreSuggestionVisible());
    h.scheduler->advance(179ms);
    EXPECT_TRUE(h.controller->isDisplayRestoreSuggestionVisible());
    h.scheduler->advance(1ms);
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
    EXPECT_TRUE(panel->isOrderedOut());

    // A newer suggestion replaces one at once; a save removes it without restoring.
    h.controller->showDisplayRestoreSuggestion("One", [&] { ++restores; });
    FloatingFeedbackPanel* one = h.controller->displayRestoreSuggestionWindow();
    h.controller->showDisplayRestoreSuggestion("Two", [&] { ++restores; });
    EXPECT_TRUE(one->isOrderedOut());
    h.controller->showOverlay(OperationOverlayKind::save, {});
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
    EXPECT_EQ(restores, 1);

    // Closed with its button, or taken back by the display-change side.
    h.controller->showDisplayRestoreSuggestion("Three", [&] { ++restores; });
    contentOf<DisplayRestoreSuggestionToastContentView>(h.controller->displayRestoreSuggestionWindow())
        ->closeButton()
        ->click();
    h.scheduler->advance(180ms);
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
    h.controller->showDisplayRestoreSuggestion("Four", [&] { ++restores; });
    h.controller->hideDisplayRestoreSuggestion();
    h.scheduler->advance(180ms);
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
    EXPECT_EQ(restores, 1);

    // Accepting still restores when the controller is gone.
    h.controller->showDisplayRestoreSuggestion("Five", [&] { ++restores; });
    QPointer<FloatingFeedbackPanel> five = h.controller->displayRestoreSuggestionWindow();
    auto* fiveContent = contentOf<DisplayRestoreSuggestionToastContentView>(five);
    fiveContent->setParent(nullptr); // keep the view alive past its panel
    h.controller.reset();
    fiveContent->restoreLayout();
    EXPECT_EQ(restores, 2);
    delete fiveContent;
}

TEST(OperationOverlayControllerTest, AChooserOffersSeveralLayoutsInOrder)
{
    Harness h;
    const std::vector<DisplayRestoreSuggestionOption> options = {
        {QUuid::createUuid(), "Desk"}, {QUuid::createUuid(), "Tom & Jerry"}, {QUuid::createUuid(), "Evening"}};
    std::vector<QUuid> chosen;
    h.pointer = QPoint(10, 10);
    h.controller->showDisplayRestoreSuggestionChooser(options, [&](const QUuid& id) { chosen.push_back(id); });
    FloatingFeedbackPanel* panel = h.controller->displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->geometry(), QRect(410, 58, 460, 112));
    auto* content = contentOf<DisplayRestoreSuggestionChooserToastContentView>(panel);
    EXPECT_EQ(content->explanationLabel()->text(), "Multiple saved layouts match this display setup.");
    EXPECT_EQ(content->chooseButton()->text(), "Choose Layout");
    EXPECT_FALSE(content->chooseButton()->isDefault());

    std::unique_ptr<QMenu> menu(content->makeLayoutMenu());
    const auto items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Desk");
    EXPECT_EQ(items[1]->text(), "Tom && Jerry");
    EXPECT_EQ(items[2]->text(), "Evening");

    // An item without a layout id does nothing; the chooser stays.
    QAction stray("Stray");
    content->restoreLayout(&stray);
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(panel->targetOpacity(), 1.0);

    items[1]->trigger();
    EXPECT_EQ(chosen, std::vector<QUuid>{options[1].snapshotID});
    EXPECT_EQ(panel->targetOpacity(), 0.0);
    h.scheduler->advance(180ms);
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
}

TEST(OperationOverlayControllerTest, AChooserOfManyLayoutsListsAsManyAsTheTrayAndLeavesTheRestToTheDashboard)
{
    Harness h;
    int dashboards = 0;
    h.controller->setOpenDashboard([&] { ++dashboards; });
    std::vector<DisplayRestoreSuggestionOption> options;
    for (int i = 0; i < 51; ++i)
        options.push_back({QUuid::createUuid(), QStringLiteral("Layout %1").arg(i)});
    std::vector<QUuid> chosen;
    h.pointer = QPoint(10, 10);
    h.controller->showDisplayRestoreSuggestionChooser(options, [&](const QUuid& id) { chosen.push_back(id); });
    FloatingFeedbackPanel* panel = h.controller->displayRestoreSuggestionWindow();
    ASSERT_TRUE(panel);
    auto* content = contentOf<DisplayRestoreSuggestionChooserToastContentView>(panel);

    std::unique_ptr<QMenu> menu(content->makeLayoutMenu());
    const auto items = menu->actions();
    ASSERT_EQ(items.size(), 7 + 2);
    EXPECT_EQ(items[6]->text(), "Layout 6");
    EXPECT_TRUE(items[7]->isSeparator());
    EXPECT_EQ(items[8]->text(), "More Layouts…");
    items[8]->trigger();
    EXPECT_EQ(dashboards, 1);
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(panel->targetOpacity(), 1.0) << "the offer stays while the user looks";

    // Seven fit without the extra item.
    options.resize(7);
    h.controller->showDisplayRestoreSuggestionChooser(options, [](const QUuid&) {});
    content = contentOf<DisplayRestoreSuggestionChooserToastContentView>(h.controller->displayRestoreSuggestionWindow());
    menu.reset(content->makeLayoutMenu());
    EXPECT_EQ(menu->actions().size(), 7);
}

TEST(OperationOverlayControllerTest, WithoutAnyMonitorNothingIsShownAndNothingBreaks)
{
    Harness h;
    h.screens.clear();
    h.mainScreen.reset();
    int started = 0;
    h.controller->showOverlay(OperationOverlayKind::restore, [&] { ++started; });
    h.passBarriers();
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(h.controller->hasShownAt());
    h.controller->hideOverlay();
    h.controller->showRestoreCompletion("Restored.", std::nullopt);
    h.controller->showDisplayRestoreSuggestion("Desk", [] {});
    EXPECT_FALSE(h.controller->isDisplayRestoreSuggestionVisible());
    h.scheduler->advance(30s);
    EXPECT_TRUE(h.overlays().empty());
}

} // namespace
} // namespace zen
