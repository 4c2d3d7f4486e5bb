#include "Onboarding/OnboardingContainerView.h"
#include "Onboarding/OnboardingController.h"
#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/OnboardingStepViews.h"
#include "Onboarding/OnboardingWindowSupport.h"
#include "Onboarding/TextStyle.h"
#include "Permissions/PermissionCoordinator.h"
#include "Shared/AnimationPolicy.h"

#include "Support/AnimationSwitch.h"
#include "Support/ManualScheduler.h"

#include <QApplication>
#include <QGraphicsEffect>
#include <QKeyEvent>
#include <QPointer>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace zen {
namespace {

using namespace std::chrono_literals;
using Step = OnboardingController::Step;

QStringList labelTexts(const QWidget* widget)
{
    QStringList texts;
    for (const auto* label : widget->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

QStringList buttonTexts(const QWidget* widget)
{
    QStringList texts;
    for (const auto* button : widget->findChildren<QPushButton*>())
        texts << button->text();
    return texts;
}

void processEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class OnboardingWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        coordinator = std::make_unique<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [this] { ++settingsOpened; });
        controller = std::make_unique<OnboardingController>(
            OnboardingStore([this] { return stored; }, [this](OnboardingStatus s) { stored = s; }), coordinator.get(),
            scheduler);
    }

    std::unique_ptr<OnboardingContainerView> makeWindow()
    {
        return std::make_unique<OnboardingContainerView>(controller.get(), coordinator.get(),
                                                         [this] { ++dashboardOpens; });
    }

    void setTrusted(bool value)
    {
        trusted = value;
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::appDidBecomeActive);
    }

    bool trusted = false;
    int settingsOpened = 0;
    int dashboardOpens = 0;
    std::optional<OnboardingStatus> stored;
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    std::unique_ptr<PermissionCoordinator> coordinator;
    std::unique_ptr<OnboardingController> controller;
};

// Each page's words and buttons, with "Done" left of "Open Dashboard" on both ready pages.
TEST_F(OnboardingWindowTest, PagesShowTheirTextsAndButtons)
{
    int started = 0, opened = 0, done = 0;
    OnboardingWelcomeStep welcome([&] { ++started; });
    EXPECT_TRUE(labelTexts(&welcome).contains(QStringLiteral("Zentharion")));
    EXPECT_TRUE(labelTexts(&welcome).contains(QStringLiteral(
        "Save your window layout. Restore it anytime from the tray menu or with a keyboard shortcut.")));
    EXPECT_EQ(buttonTexts(&welcome), QStringList{QStringLiteral("Get Started")});
    welcome.getStartedButton()->click();
    EXPECT_EQ(started, 1);

    OnboardingAuthorizedReadyStep authorized([&] { ++opened; }, [&] { ++done; });
    EXPECT_TRUE(labelTexts(&authorized).contains(QStringLiteral("Zentharion is ready.")));
    EXPECT_TRUE(labelTexts(&authorized).contains(QStringLiteral(
        "Zentharion is ready. Save your window layout and restore it anytime from the tray menu or with a keyboard "
        "shortcut.")));
    OnboardingReadyStep ready([&] { ++opened; }, [&] { ++done; });
    EXPECT_TRUE(labelTexts(&ready).contains(QStringLiteral("You're ready to save your first layout.")));
    EXPECT_TRUE(labelTexts(&ready).contains(QStringLiteral(
        "Arrange your windows the way you want, then save the current layout from the dashboard.")));
    for (QWidget* page : {static_cast<QWidget*>(&authorized), static_cast<QWidget*>(&ready)}) {
        page->resize(500, 420);
        page->show();
        processEvents();
        auto* buttons = page->findChild<OnboardingCompletionButtons*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->secondaryButton()->text(), QStringLiteral("Done"));
        EXPECT_EQ(buttons->primaryButton()->text(), QStringLiteral("Open Dashboard"));
        EXPECT_LT(buttons->secondaryButton()->x(), buttons->primaryButton()->x());
        buttons->primaryButton()->click();
        buttons->secondaryButton()->click();
    }
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(done, 2);
}

// White on a pale tint was barely readable: the prominent button's own fill, as painted,
// must carry its text at 4.5:1 or better, and stand apart from the plain button beside it.
TEST_F(OnboardingWindowTest, ProminentButtonsArePaintedInAReadableAccentFill)
{
    auto paintedFill = [](QPushButton* button) {
        const QImage image = button->grab().toImage();
        return image.pixelColor(4, image.height() / 2);
    };
    const QColor text = QApplication::palette().color(QPalette::HighlightedText);

    OnboardingWelcomeStep welcome([] {});
    OnboardingReadyStep ready([] {}, [] {});
    welcome.resize(500, 420);
    ready.resize(500, 420);
    welcome.show();
    ready.show();
    processEvents();
    auto* buttons = ready.findChild<OnboardingCompletionButtons*>();
    ASSERT_NE(buttons, nullptr);
    for (QPushButton* button : {welcome.getStartedButton(), buttons->primaryButton()}) {
        const QColor fill = paintedFill(button);
        EXPECT_GE(TextStyle::contrastRatio(fill, text), 4.5)
            << button->text().toStdString() << " " << fill.name().toStdString();
    }
    EXPECT_LT(TextStyle::contrastRatio(paintedFill(buttons->secondaryButton()), text), 2.0)
        << "the plain button keeps the plain look";
}

// The window follows the controller: page, title, success face; "Open Dashboard" opens the
// dashboard before the window closes, and the close is reported once.
TEST_F(OnboardingWindowTest, WindowFollowsTheFlowAndCarriesOutItsRequests)
{
    ASSERT_TRUE(controller->startFirstLaunchIfNeeded());
    auto window = makeWindow();
    window->show();
    processEvents();
    EXPECT_EQ(window->windowTitle(), OnboardingWindowSupport::welcomeTitle());
    EXPECT_GE(window->width(), OnboardingContainerView::minimumContentSize.width());
    EXPECT_NE(qobject_cast<OnboardingWelcomeStep*>(window->currentPage()), nullptr);

    qobject_cast<OnboardingWelcomeStep*>(window->currentPage())->getStartedButton()->click();
    auto* education = qobject_cast<OnboardingPermissionEducationView*>(window->currentPage());
    ASSERT_NE(education, nullptr);
    EXPECT_FALSE(education->showsSuccess());
    education->openSystemSettingsButton()->click();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(education->hasOpenedSystemSettings());

    // Access arrives while the page shows: success face at once, the ready page 0.8 s later.
    setTrusted(true);
    EXPECT_TRUE(education->showsSuccess());
    scheduler->advance(800ms);
    auto* ready = qobject_cast<OnboardingReadyStep*>(window->currentPage());
    ASSERT_NE(ready, nullptr);

    // Access lost again on the ready page brings the permission page back.
    setTrusted(false);
    EXPECT_NE(qobject_cast<OnboardingPermissionEducationView*>(window->currentPage()), nullptr);
    setTrusted(true);
    scheduler->advance(800ms);
    ready = qobject_cast<OnboardingReadyStep*>(window->currentPage());
    ASSERT_NE(ready, nullptr);

    int closesSeen = 0;
    QObject::connect(controller.get(), &OnboardingController::shouldCloseWindowChanged,
                     [&](bool on) {
                         if (on) {
                             EXPECT_EQ(dashboardOpens, 1) << "dashboard first";
                             ++closesSeen;
                         }
                     });
    ready->buttons()->primaryButton()->click();
    processEvents();
    EXPECT_EQ(dashboardOpens, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(controller->shouldCloseWindow());
    EXPECT_FALSE(controller->shouldOpenDashboard());
    EXPECT_EQ(closesSeen, 1);
    EXPECT_EQ(stored, OnboardingStatus::completedAuthorized);
}

TEST_F(OnboardingWindowTest, AChangeOfStepFadesInTheNewPageUnlessAnimationIsOff)
{
    if (!animationsEnabled())
        GTEST_SKIP() << "the desktop running the tests asks for no animation";
    ASSERT_TRUE(controller->startFirstLaunchIfNeeded());
    auto window = makeWindow();
    window->show();
    processEvents();
    EXPECT_EQ(window->stepTransition(), nullptr) << "the first page comes with the window";

    qobject_cast<OnboardingWelcomeStep*>(window->currentPage())->getStartedButton()->click();
    QWidget* holder = window->currentPage()->parentWidget();
    auto* fade = qobject_cast<QPropertyAnimation*>(window->stepTransition());
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->targetObject(), static_cast<QObject*>(holder->graphicsEffect()));
    EXPECT_EQ(fade->propertyName(), "opacity");
    EXPECT_EQ(fade->duration(), 180);
    EXPECT_EQ(fade->easingCurve().type(), QEasingCurve::InOutQuad);
    EXPECT_EQ(fade->state(), QAbstractAnimation::Running);
    fade->setCurrentTime(fade->duration());
    EXPECT_EQ(window->stepTransition(), nullptr);
    EXPECT_EQ(holder->graphicsEffect(), nullptr) << "painted directly once faded in";

    test::AnimationsOff off;
    setTrusted(true);
    scheduler->advance(800ms);
    ASSERT_NE(qobject_cast<OnboardingReadyStep*>(window->currentPage()), nullptr);
    EXPECT_EQ(window->stepTransition(), nullptr);
    EXPECT_EQ(window->currentPage()->parentWidget()->graphicsEffect(), nullptr);
}

// As a dialog takes keys, from the first one: each page opens with its default button focused
// and the focus drawn; Return and Space press the focused button, Escape closes the window.
TEST_F(OnboardingWindowTest, EachPageOpensWithItsDefaultButtonFocusedAndAnswersTheKeys)
{
    ASSERT_TRUE(controller->startFirstLaunchIfNeeded());
    auto window = makeWindow();
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    processEvents();
    const auto press = [&](int key) {
        // To the focused widget, as the window system's keys go; a press may end the page.
        QPointer<QWidget> target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        if (target)
            QApplication::sendEvent(target, &up);
        processEvents();
    };
    const auto expectFocusShown = [&](QPushButton* button) {
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(QApplication::focusWidget(), button) << button->text().toStdString();
        const QImage focused = button->grab().toImage();
        button->clearFocus();
        EXPECT_NE(button->grab().toImage(), focused) << "the focus is not drawn on " << button->text().toStdString();
        button->setFocus(Qt::OtherFocusReason);
    };

    auto* welcome = qobject_cast<OnboardingWelcomeStep*>(window->currentPage());
    ASSERT_NE(welcome, nullptr);
    expectFocusShown(welcome->getStartedButton());
    press(Qt::Key_Return);
    auto* education = qobject_cast<OnboardingPermissionEducationView*>(window->currentPage());
    ASSERT_NE(education, nullptr) << "Return did not get started";
    expectFocusShown(education->openSystemSettingsButton());
    press(Qt::Key_Space);
    EXPECT_EQ(settingsOpened, 1);
    // Return on another button presses that one, not the default.
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), education->checkAgainButton());
    press(Qt::Key_Return);
    EXPECT_EQ(settingsOpened, 1);

    setTrusted(true);
    scheduler->advance(800ms);
    auto* ready = qobject_cast<OnboardingReadyStep*>(window->currentPage());
    ASSERT_NE(ready, nullptr);
    expectFocusShown(ready->buttons()->primaryButton());
    press(Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible()) << "Escape did not close the window";
    EXPECT_EQ(dashboardOpens, 0);
}

// Opened for a refused save: the permission page with the access-required title; closing it
// with the close button defers, once.
TEST_F(OnboardingWindowTest, PermissionRequiredFlowAndClosingByHand)
{
    controller->startPermissionRequiredFlow();
    auto window = makeWindow();
    window->show();
    processEvents();
    EXPECT_EQ(window->windowTitle(), OnboardingWindowSupport::accessibilityRequiredTitle());
    EXPECT_NE(qobject_cast<OnboardingPermissionEducationView*>(window->currentPage()), nullptr);
    window->close();
    EXPECT_EQ(stored, OnboardingStatus::deferred);
    stored.reset();
    window->close();
    EXPECT_EQ(stored, std::nullopt) << "one close, one report";
}

} // namespace
} // namespace zen
