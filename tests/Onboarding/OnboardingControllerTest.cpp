#include "Onboarding/OnboardingController.h"
#include "Onboarding/OnboardingStore.h"
#include "Onboarding/OnboardingWindowSupport.h"
#include "Permissions/PermissionCoordinator.h"
#include "Shared/UserDefaults.h"

#include "Support/ManualScheduler.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace zen {
namespace {

using namespace std::chrono_literals;
using Step = OnboardingController::Step;
using State = AccessibilityAuthorizationState;
using test::ManualScheduler;

class OnboardingControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        coordinator = std::make_unique<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [this] { ++settingsOpened; });
    }

    std::unique_ptr<OnboardingController> makeController()
    {
        OnboardingStore store([this] { return stored; },
                              [this](OnboardingStatus status) {
                                  stored = status;
                                  writes.push_back(status);
                              });
        return std::make_unique<OnboardingController>(store, coordinator.get(), scheduler);
    }

    // Access changes as the coordinator would publish it.
    void setTrusted(bool value)
    {
        trusted = value;
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::appDidBecomeActive);
    }

    bool trusted = false;
    int settingsOpened = 0;
    std::optional<OnboardingStatus> stored;
    std::vector<OnboardingStatus> writes;
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::unique_ptr<PermissionCoordinator> coordinator;
};

// The first-launch decision for every stored outcome, with and without access, and that it is
// taken once per process whatever the answer.
TEST_F(OnboardingControllerTest, FirstLaunchDecisionFollowsTheStoredOutcome)
{
    struct Row {
        std::optional<OnboardingStatus> stored;
        bool trusted;
        bool opens;
        Step step;
        QString title;
    };
    const QString welcome = OnboardingWindowSupport::welcomeTitle();
    const QString required = OnboardingWindowSupport::accessibilityRequiredTitle();
    const std::vector<Row> rows = {
        {std::nullopt, false, true, Step::welcome, welcome},
        {std::nullopt, true, true, Step::authorizedReady, welcome},
        {OnboardingStatus::deferred, false, true, Step::permission, required},
        {OnboardingStatus::deferred, true, false, Step::authorizedReady, welcome},
        {OnboardingStatus::completedAuthorized, false, false, Step::welcome, welcome},
        {OnboardingStatus::completedAuthorized, true, false, Step::authorizedReady, welcome},
    };
    for (const auto& row : rows) {
        stored = row.stored;
        setTrusted(row.trusted);
        auto controller = makeController();
        EXPECT_EQ(controller->shouldPresentOnFirstLaunch(), row.opens);
        EXPECT_EQ(controller->startFirstLaunchIfNeeded(), row.opens);
        EXPECT_EQ(controller->step(), row.step);
        EXPECT_EQ(controller->windowTitle(), row.title);
        EXPECT_FALSE(controller->startFirstLaunchIfNeeded()) << "asked twice in one process";
        EXPECT_TRUE(writes.empty()) << "deciding writes nothing";
    }
}

// Text stored by hand that is not exactly one of the outcomes counts as nothing stored.
TEST_F(OnboardingControllerTest, UnrecognisedStoredTextCountsAsNothingStored)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("prefs.conf")));
    OnboardingStore store(defaults);
    EXPECT_EQ(store.readStatus(), std::nullopt);
    for (const char* text : {"Deferred", " deferred", "completedauthorized", "completedAuthorized ", ""}) {
        defaults.setString(QString::fromLatin1(OnboardingStore::statusKey), QString::fromLatin1(text));
        EXPECT_EQ(store.readStatus(), std::nullopt) << text;
    }
    store.writeStatus(OnboardingStatus::deferred);
    EXPECT_EQ(defaults.stringForKey(QString::fromLatin1(OnboardingStore::statusKey)), QStringLiteral("deferred"));
    store.writeStatus(OnboardingStatus::completedAuthorized);
    EXPECT_EQ(store.readStatus(), OnboardingStatus::completedAuthorized);

    // The controller over the real store: unrecognised text opens the welcome page.
    defaults.setString(QString::fromLatin1(OnboardingStore::statusKey), QStringLiteral("skipped"));
    OnboardingController controller(OnboardingStore(defaults), coordinator.get(), scheduler);
    EXPECT_TRUE(controller.startFirstLaunchIfNeeded());
    EXPECT_EQ(controller.step(), Step::welcome);
}

// The permission-required flow counts as the process's first-launch decision and leaves no
// stale request behind.
TEST_F(OnboardingControllerTest, PermissionRequiredFlowPreemptsTheFirstLaunchCheck)
{
    auto controller = makeController();
    controller->finishWithoutDashboard();
    ASSERT_TRUE(controller->shouldCloseWindow());
    controller->startPermissionRequiredFlow();
    EXPECT_EQ(controller->step(), Step::permission);
    EXPECT_EQ(controller->windowTitle(), OnboardingWindowSupport::accessibilityRequiredTitle());
    EXPECT_FALSE(controller->shouldCloseWindow());
    EXPECT_FALSE(controller->startFirstLaunchIfNeeded());
    EXPECT_EQ(controller->step(), Step::permission);
}

// Every trigger that moves the page, from each page it applies to.
TEST_F(OnboardingControllerTest, StepTransitions)
{
    auto controller = makeController();
    ASSERT_EQ(controller->step(), Step::welcome);

    // Access granted on the welcome page changes nothing; "Get Started" then skips the
    // permission page.
    setTrusted(true);
    controller->handleAuthorizationState(State::authorized);
    EXPECT_EQ(controller->step(), Step::welcome);
    EXPECT_FALSE(controller->showsPermissionSuccess());
    controller->getStarted();
    EXPECT_EQ(controller->step(), Step::authorizedReady);

    // Access lost on a ready page brings the permission page back, title unchanged.
    setTrusted(false);
    controller->handleAuthorizationState(State::unauthorized);
    EXPECT_EQ(controller->step(), Step::permission);
    EXPECT_EQ(controller->windowTitle(), OnboardingWindowSupport::welcomeTitle());

    // Without access "Get Started" leads to the permission page.
    auto fresh = makeController();
    fresh->getStarted();
    EXPECT_EQ(fresh->step(), Step::permission);

    // Lost access on the welcome or permission page keeps the page.
    fresh->handleAuthorizationState(State::unauthorized);
    EXPECT_EQ(fresh->step(), Step::permission);
}

// Access granted on the permission page shows the success face at once and turns to the
// ready page 0.8 s later, exactly; a second report does not extend the wait.
TEST_F(OnboardingControllerTest, SuccessAdvanceRunsOnVirtualTime)
{
    auto controller = makeController();
    controller->startPermissionRequiredFlow();
    setTrusted(true);
    controller->checkAgain();
    EXPECT_TRUE(controller->showsPermissionSuccess());
    EXPECT_EQ(controller->step(), Step::permission);

    scheduler->advance(500ms);
    controller->handleAuthorizationState(State::authorized);
    scheduler->advance(299ms);
    EXPECT_EQ(controller->step(), Step::permission);
    scheduler->advance(1ms);
    EXPECT_EQ(controller->step(), Step::ready);
    EXPECT_FALSE(controller->showsPermissionSuccess());
}

// Every operation that leaves the permission page cancels a pending advance.
TEST_F(OnboardingControllerTest, LeavingThePermissionPageCancelsTheAdvance)
{
    struct Case {
        const char* name;
        std::function<void(OnboardingController&)> leave;
        Step expected;
    };
    const std::vector<Case> cases = {
        {"access lost", [this](OnboardingController& c) { setTrusted(false); c.handleAuthorizationState(State::unauthorized); },
         Step::permission},
        {"get started", [](OnboardingController& c) { c.getStarted(); }, Step::authorizedReady},
        {"permission flow again", [](OnboardingController& c) { c.startPermissionRequiredFlow(); }, Step::permission},
        {"first launch", [](OnboardingController& c) { c.startFirstLaunchIfNeeded(); }, Step::authorizedReady},
        {"window closed", [](OnboardingController& c) { c.windowWillClose(); }, Step::permission},
    };
    for (const auto& testCase : cases) {
        setTrusted(false);
        auto controller = makeController();
        stored.reset();
        controller->getStarted();
        ASSERT_EQ(controller->step(), Step::permission);
        setTrusted(true);
        controller->reconcileCurrentAuthorizationState();
        ASSERT_TRUE(controller->showsPermissionSuccess());
        // The first-launch case needs the decision still open; the flow above took none.
        testCase.leave(*controller);
        EXPECT_FALSE(controller->showsPermissionSuccess()) << testCase.name;
        scheduler->advance(1s);
        EXPECT_EQ(controller->step(), testCase.expected) << testCase.name;
    }
}

// "Open System Settings" raises the waiting flag until the program is active again on the
// permission page.
TEST_F(OnboardingControllerTest, WaitingForSettingsEndsOnActivation)
{
    auto controller = makeController();
    controller->startPermissionRequiredFlow();
    controller->openAccessibilitySettings();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_TRUE(controller->hasOpenedSystemSettings());
    controller->applicationDidBecomeActive();
    EXPECT_FALSE(controller->hasOpenedSystemSettings());
}

// The outcomes written by the finishing actions and the window's close, and that a finished
// onboarding is never set back to deferred.
TEST_F(OnboardingControllerTest, OutcomesWrittenOnFinishingAndClosing)
{
    // "Done" without access writes nothing; the close that follows defers.
    auto controller = makeController();
    controller->finishWithoutDashboard();
    EXPECT_TRUE(writes.empty());
    EXPECT_TRUE(controller->shouldCloseWindow());
    controller->windowWillClose();
    EXPECT_EQ(writes, std::vector<OnboardingStatus>{OnboardingStatus::deferred});

    // "Open Dashboard" completes even without access, raising the dashboard request first.
    writes.clear();
    std::vector<const char*> order;
    QObject::connect(controller.get(), &OnboardingController::shouldOpenDashboardChanged,
                     [&](bool on) { if (on) order.push_back("dashboard"); });
    QObject::connect(controller.get(), &OnboardingController::shouldCloseWindowChanged,
                     [&](bool on) { if (on) order.push_back("close"); });
    controller->consumeWindowCloseRequest();
    controller->openDashboardAndComplete();
    EXPECT_EQ(writes, std::vector<OnboardingStatus>{OnboardingStatus::completedAuthorized});
    EXPECT_EQ(order, (std::vector<const char*>{"dashboard", "close"}));

    // Closing without access afterwards leaves the completed outcome alone.
    writes.clear();
    controller->windowWillClose();
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(stored, OnboardingStatus::completedAuthorized);

    // With access, "Done" and a close on a ready page complete.
    stored.reset();
    setTrusted(true);
    auto ready = makeController();
    ASSERT_EQ(ready->step(), Step::authorizedReady);
    ready->finishWithoutDashboard();
    ready->windowWillClose();
    EXPECT_EQ(stored, OnboardingStatus::completedAuthorized);
    EXPECT_EQ(writes.back(), OnboardingStatus::completedAuthorized);

    // Closed on the permission page after access came but before the advance: deferred.
    stored.reset();
    auto waiting = makeController();
    waiting->startPermissionRequiredFlow();
    waiting->reconcileCurrentAuthorizationState();
    ASSERT_TRUE(waiting->showsPermissionSuccess());
    waiting->windowWillClose();
    EXPECT_EQ(stored, OnboardingStatus::deferred);
    scheduler->advance(1s);
    EXPECT_EQ(waiting->step(), Step::permission);
}

} // namespace
} // namespace zen
