#include "Permissions/PermissionInterventionRouter.h"

#include "Permissions/PermissionCoordinator.h"


#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zen {
namespace {

using Source = PrivilegedActionSource;
using Kind = PrivilegedActionKind;

class RecordingNoticePresenter final : public StatusNoticePresenting {
public:
    void showStatusNotice(const QString& message, double duration) override { shown.push_back({message, duration}); }
    void hideStatusNotice() override { ++hides; }

    std::vector<PassivePermissionNotice> shown;
    int hides = 0;
};

// How many times a signal was emitted.
template <typename Object, typename... Args>
std::shared_ptr<int> countEmissions(Object* sender, void (Object::*signal)(Args...))
{
    auto count = std::make_shared<int>(0);
    QObject::connect(sender, signal, [count] { ++*count; });
    return count;
}

const PassivePermissionNotice expectedNotice {
    QStringLiteral("Window access is required to restore layouts. Open Zentharion to enable access."), 6.0};

class PermissionInterventionRouterTest : public ::testing::Test {
protected:
    PermissionInterventionRouterTest()
        : coordinator(std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [this] { ++settingsOpened; }))
        , presenter(std::make_shared<RecordingNoticePresenter>())
        , router(coordinator, presenter)
    {
    }

    void showEducationInView()
    {
        ASSERT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::dashboard));
        router.setDashboardWindowVisibility(DashboardWindowVisibility::visibleOnActiveSpace);
    }

    bool trusted = false;
    int settingsOpened = 0;
    std::shared_ptr<PermissionCoordinator> coordinator;
    std::shared_ptr<RecordingNoticePresenter> presenter;
    PermissionInterventionRouter router;
};

// Each request asks the coordinator afresh, so observers of the coordinator see a grant or a loss.
TEST_F(PermissionInterventionRouterTest, GrantedRequestsGoAheadFromEverySourceWithoutTouchingThePresenter)
{
    const auto changes = countEmissions(coordinator.get(), &PermissionCoordinator::authorizationStateChanged);
    trusted = true;
    for (Source source : {Source::dashboard, Source::displayChange, Source::menuBar, Source::hotkey, Source::settings})
        EXPECT_TRUE(router.requestAuthorization(Kind::restoreLayout, source));
    EXPECT_EQ(coordinator->authorizationState(), AccessibilityAuthorizationState::authorized);
    EXPECT_EQ(*changes, 1);
    EXPECT_TRUE(presenter->shown.empty());
    EXPECT_EQ(presenter->hides, 0) << "no notice of ours was recorded, so none is hidden";
    EXPECT_EQ(settingsOpened, 0);
    EXPECT_FALSE(router.showsDashboardPermissionEducation());

    trusted = false;
    EXPECT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::menuBar));
    EXPECT_EQ(coordinator->authorizationState(), AccessibilityAuthorizationState::unauthorized);
}

TEST_F(PermissionInterventionRouterTest, DashboardRequestWithoutAccessShowsEducationAndWithdrawsThePassiveNotice)
{
    ASSERT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    ASSERT_TRUE(router.lastPassivePermissionNotice());

    const auto education = countEmissions(&router, &PermissionInterventionRouter::showsDashboardPermissionEducationChanged);
    EXPECT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::dashboard));
    EXPECT_TRUE(router.showsDashboardPermissionEducation());
    EXPECT_EQ(*education, 1);
    EXPECT_FALSE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->hides, 1);
}

TEST_F(PermissionInterventionRouterTest, HotkeyAndDisplayChangeWithoutAccessShowTheSixSecondNoticeEachTime)
{
    const auto noticeChanges = countEmissions(&router, &PermissionInterventionRouter::lastPassivePermissionNoticeChanged);
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::displayChange));

    EXPECT_EQ(router.lastPassivePermissionNotice(), expectedNotice);
    EXPECT_EQ(PermissionInterventionRouter::passivePermissionNotice(), expectedNotice);
    ASSERT_EQ(presenter->shown.size(), 3u);
    for (const auto& shown : presenter->shown)
        EXPECT_EQ(shown, expectedNotice);
    EXPECT_EQ(*noticeChanges, 1) << "the recorded notice stays the same";
    EXPECT_FALSE(router.showsDashboardPermissionEducation());
    EXPECT_EQ(settingsOpened, 0);
}

TEST_F(PermissionInterventionRouterTest, NoNoticeWhileTheEducationIsInViewOnTheActiveDesktop)
{
    showEducationInView();
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::displayChange));
    EXPECT_TRUE(presenter->shown.empty());
    EXPECT_FALSE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->hides, 0);
}

TEST_F(PermissionInterventionRouterTest, NoticeWhenTheEducationIsOutOfView)
{
    showEducationInView();
    // Minimized or on another desktop.
    router.setDashboardWindowVisibility(dashboardWindowVisibilityFrom(true, true, true));
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_EQ(presenter->shown.size(), 1u);

    // Education in view again: the earlier notice is withdrawn.
    router.setDashboardWindowVisibility(DashboardWindowVisibility::visibleOnActiveSpace);
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::displayChange));
    EXPECT_FALSE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->hides, 1);

    // The window is in view but the panel is not shown: a notice.
    router.setShowsDashboardPermissionEducation(false);
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_EQ(presenter->shown.size(), 2u);
}

TEST_F(PermissionInterventionRouterTest, MenuBarRequestWithoutAccessClearsEveryHint)
{
    ASSERT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::dashboard));
    router.setShowsDashboardPermissionEducation(true);
    ASSERT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));

    EXPECT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::menuBar));
    EXPECT_FALSE(router.showsDashboardPermissionEducation());
    EXPECT_FALSE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->hides, 1);
    EXPECT_EQ(settingsOpened, 0);
}

TEST_F(PermissionInterventionRouterTest, SettingsRequestWithoutAccessOpensTheSettingsAndChangesNothingElse)
{
    ASSERT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    const std::size_t shownBefore = presenter->shown.size();
    const auto education = countEmissions(&router, &PermissionInterventionRouter::showsDashboardPermissionEducationChanged);
    const auto visibility = countEmissions(&router, &PermissionInterventionRouter::dashboardWindowVisibilityChanged);
    const auto notice = countEmissions(&router, &PermissionInterventionRouter::lastPassivePermissionNoticeChanged);

    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::settings));
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(*education + *visibility + *notice, 0);
    EXPECT_TRUE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->shown.size(), shownBefore);
    EXPECT_EQ(presenter->hides, 0);
}

TEST_F(PermissionInterventionRouterTest, AGrantedRequestAfterARefusalClearsEducationAndNotice)
{
    ASSERT_FALSE(router.requestAuthorization(Kind::saveLayout, Source::dashboard));
    router.setDashboardWindowVisibility(DashboardWindowVisibility::notVisible);
    ASSERT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::displayChange));
    ASSERT_TRUE(router.showsDashboardPermissionEducation());
    ASSERT_TRUE(router.lastPassivePermissionNotice());

    trusted = true;
    EXPECT_TRUE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_FALSE(router.showsDashboardPermissionEducation());
    EXPECT_FALSE(router.lastPassivePermissionNotice());
    EXPECT_EQ(presenter->hides, 1);

    EXPECT_TRUE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_EQ(presenter->hides, 1) << "a notice is hidden once";
}

TEST_F(PermissionInterventionRouterTest, AReleasedPresenterOnlyMeansNoNoticeAppears)
{
    presenter.reset();
    EXPECT_FALSE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_EQ(router.lastPassivePermissionNotice(), expectedNotice);

    trusted = true;
    EXPECT_TRUE(router.requestAuthorization(Kind::restoreLayout, Source::hotkey));
    EXPECT_FALSE(router.lastPassivePermissionNotice());
}

TEST(DashboardWindowVisibilityTest, VisibleOnlyWhenShownNotMinimizedAndOnTheActiveDesktop)
{
    EXPECT_EQ(dashboardWindowVisibilityFrom(true, false, true), DashboardWindowVisibility::visibleOnActiveSpace);
    EXPECT_EQ(dashboardWindowVisibilityFrom(false, false, true), DashboardWindowVisibility::notVisible);
    EXPECT_EQ(dashboardWindowVisibilityFrom(true, true, true), DashboardWindowVisibility::notVisible);
    EXPECT_EQ(dashboardWindowVisibilityFrom(true, false, false), DashboardWindowVisibility::notVisible);
}

} // namespace
} // namespace zen
