// Records are built with designated initializers; unnamed fields keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "Support/FakePlatform.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"
#include "WindowDiscovery/WindowSignatureFactory.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

using testsupport::FakeDesktop;
namespace Reason = WindowDiscoveryDiagnosticReason;

constexpr std::int32_t appPid = 100;
const QString appId = QStringLiteral("org.example.editor");

struct DiscoveryTest : ::testing::Test {
    FakeDesktop desktop;
    WindowDiscoveryEngine engine;

    void SetUp() override
    {
        engine = WindowDiscoveryEngine::forPlatform(desktop.services());
        engine.currentProcessIdentifier = 1;
        desktop.addApplication(appPid, appId);
    }

    WindowDiscoveryResult discover()
    {
        auto result = engine.discoverRunningWindowsWithDiagnostics();
        EXPECT_TRUE(result.has_value());
        return result.value_or(WindowDiscoveryResult {});
    }

    // Adds an accessibility window and, separately, window-list entries for the same app.
    AXUIElement axWindow(std::uint32_t number, CGRect frame, std::optional<QString> title = std::nullopt,
                         QString role = QStringLiteral("AXWindow"), std::optional<QString> subrole = QStringLiteral("AXStandardWindow"))
    {
        FakeDesktop::Window w;
        w.number = number;
        w.frame = frame;
        w.title = title;
        w.role = role;
        w.subrole = subrole;
        w.inWindowList = false;
        return desktop.addWindow(appPid, w);
    }
    void listEntry(std::uint32_t number, CGRect bounds, std::optional<QString> title = std::nullopt, std::int64_t layer = 0)
    {
        auto entry = testsupport::windowListEntry(number, appPid, bounds, layer, true, title);
        desktop.windowServer->all->push_back(entry);
        desktop.windowServer->onScreen->push_back(entry);
    }
};

TEST_F(DiscoveryTest, WithoutTrustFailsBeforeReadingAnything)
{
    desktop.accessibility->trusted = false;
    desktop.addWindow(appPid, {.number = 1, .frame = CGRect(0, 0, 100, 100)});
    auto result = engine.discoverRunningWindowsWithDiagnostics();
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().errorDescription(), "Window access is required to capture layouts.");
    EXPECT_TRUE(desktop.accessibility->reads.empty());
    EXPECT_EQ(desktop.windowServer->queries, 0);
}

TEST_F(DiscoveryTest, ExaminesOnlyEligibleApplications)
{
    desktop.addApplication(1, QStringLiteral("self"));                        // this process
    desktop.addApplication(201, std::nullopt);                               // no bundle id
    desktop.addApplication(202, QStringLiteral("gone"), ActivationPolicy::regular, true);
    desktop.addApplication(203, QStringLiteral("panel"), ActivationPolicy::prohibited);
    desktop.addApplication(204, QStringLiteral("tray"), ActivationPolicy::accessory);
    for (std::int32_t pid : {1, 201, 202, 203, 204, appPid})
        desktop.addWindow(pid, {.number = std::uint32_t(pid), .frame = CGRect(0, 0, 100, 100)});

    const auto result = discover();
    ASSERT_EQ(result.applications.size(), 2u);
    EXPECT_EQ(result.applications[0].pid, appPid);
    EXPECT_EQ(result.applications[1].bundleIdentifier, "tray");
    for (const auto& [element, attribute] : desktop.accessibility->reads)
        EXPECT_TRUE(element.processIdentifier == appPid || element.processIdentifier == 204);
}

TEST_F(DiscoveryTest, ApplicationWithoutWindowsIsLeftOutSilently)
{
    const auto result = discover();
    EXPECT_TRUE(result.applications.empty());
    EXPECT_TRUE(result.diagnostics.empty());
}

TEST_F(DiscoveryTest, UnusableFramesAreReportedInOrder)
{
    axWindow(1, CGRect(0, 0, 0, 300));                   // zero width
    const AXUIElement noPosition = axWindow(2, CGRect(0, 0, 100, 100));
    desktop.accessibility->attributes[{appPid, noPosition.window}].erase(AXAttribute::position);
    axWindow(3, CGRect(10, 10, 200, 100), QStringLiteral("ok"));
    desktop.accessibility->set({appPid, 4}, AXAttribute::position, QStringLiteral("not a point"));
    std::get<std::vector<AXUIElement>>(desktop.accessibility->attributes[{appPid, 0}][AXAttribute::windows]).push_back({appPid, 4});

    const auto result = discover();
    ASSERT_EQ(result.applications.size(), 1u);
    EXPECT_EQ(result.applications[0].windows.size(), 1u);
    const WindowDiscoveryDiagnostic expected {appId, appPid, Reason::missingOrInvalidFrame};
    EXPECT_EQ(result.diagnostics, (std::vector<WindowDiscoveryDiagnostic> {expected, expected, expected}));
}

TEST_F(DiscoveryTest, AWindowListCutAtThePlatformsCapIsReportedAfterTheWindowsItHolds)
{
    axWindow(1, CGRect(0, 0, 0, 300)); // zero width
    axWindow(2, CGRect(10, 10, 200, 100), QStringLiteral("ok"));
    EXPECT_FALSE(discover().windowListTruncated);

    desktop.windowServer->truncated = true;
    const auto result = discover();
    EXPECT_TRUE(result.windowListTruncated);
    ASSERT_EQ(result.applications.size(), 1u);
    EXPECT_EQ(result.diagnostics,
              (std::vector<WindowDiscoveryDiagnostic> {{appId, appPid, Reason::missingOrInvalidFrame},
                                                       {std::nullopt, std::nullopt, Reason::windowListTruncated}}));
}

TEST_F(DiscoveryTest, JoinToleratesEightPointsAndNoMore)
{
    axWindow(1, CGRect(100, 100, 400, 300));
    axWindow(2, CGRect(600, 100, 400, 300));
    listEntry(11, CGRect(108, 92, 392, 308));    // exactly 8 on every side
    listEntry(12, CGRect(608.5, 100, 400, 300)); // 8.5 off

    const auto windows = discover().applications.at(0).windows;
    EXPECT_EQ(windows[0].cgWindowID, 11u);
    EXPECT_FALSE(windows[1].cgWindowID.has_value());
    EXPECT_FALSE(windows[1].cgLayer.has_value());
    EXPECT_TRUE(windows[1].isVisible); // no entry, not hidden
}

TEST_F(DiscoveryTest, JoinPrefersEqualTitleThenNearestThenFirst)
{
    // Titles are compared trimmed; a blank title never ranks.
    const std::vector<CGWindowMetadata> pool {
        {.windowID = 1, .bounds = CGRect(0, 0, 100, 100), .title = QStringLiteral("  ")},
        {.windowID = 2, .bounds = CGRect(4, 0, 100, 100), .title = QStringLiteral("Notes")},
    };
    EXPECT_EQ(WindowDiscoveryEngine::bestCGWindowMatch(CGRect(0, 0, 100, 100), QStringLiteral(" Notes\n"), pool)->index, 1u);
    EXPECT_EQ(WindowDiscoveryEngine::bestCGWindowMatch(CGRect(0, 0, 100, 100), QStringLiteral(" "), pool)->index, 0u);

    axWindow(1, CGRect(0, 0, 100, 100), QStringLiteral("  Notes "));
    listEntry(10, CGRect(0, 0, 100, 100), QStringLiteral("Other"));
    listEntry(11, CGRect(5, 5, 100, 100), QStringLiteral("Notes"));
    axWindow(2, CGRect(500, 0, 100, 100));
    listEntry(20, CGRect(503, 0, 100, 100));
    listEntry(21, CGRect(501, 0, 100, 100));
    axWindow(3, CGRect(900, 0, 100, 100));
    listEntry(30, CGRect(901, 0, 100, 100));
    listEntry(31, CGRect(899, 0, 100, 100));

    const auto windows = discover().applications.at(0).windows;
    EXPECT_EQ(windows[0].cgWindowID, 11u); // equal title beats the closer entry
    EXPECT_EQ(windows[1].cgWindowID, 21u); // same rank: the smaller difference
    EXPECT_EQ(windows[2].cgWindowID, 30u); // full tie: listed first
}

TEST_F(DiscoveryTest, EntryIsClaimedByTheFirstWindowEvenWhenRejected)
{
    axWindow(1, CGRect(0, 0, 300, 200), std::nullopt, QStringLiteral("AXSheet"), std::nullopt);
    axWindow(2, CGRect(0, 0, 300, 200));
    axWindow(3, CGRect(0, 0, 300, 200), std::nullopt, QStringLiteral("AXDialog"), std::nullopt);
    listEntry(7, CGRect(0, 0, 300, 200));

    const auto result = discover();
    ASSERT_EQ(result.applications.at(0).windows.size(), 1u);
    EXPECT_FALSE(result.applications[0].windows[0].cgWindowID.has_value());
    EXPECT_EQ(result.diagnostics,
              (std::vector<WindowDiscoveryDiagnostic> {{appId, appPid, Reason::transientRole}, {appId, appPid, Reason::unmanageableDialog}}));
}

TEST(WindowDiscoveryRejection, RulesApplyInOrder)
{
    const CGWindowMetadata layer3 {.windowID = 1, .layer = 3};
    const CGWindowMetadata layer0 {.windowID = 1, .layer = 0};
    using E = WindowDiscoveryEngine;
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXSheet", "AXFloatingWindow", layer3), Reason::nonzeroCGWindowLayer);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXPopover", std::nullopt, layer0), Reason::transientRole);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXMenu", "AXSystemDialog", std::nullopt), Reason::transientRole);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXWindow", "AXSystemDialog", layer0), Reason::transientSubrole);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXWindow", "AXFloatingWindow", std::nullopt), Reason::transientSubrole);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXDialog", std::nullopt, std::nullopt), Reason::unmanageableDialog);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXDialog", std::nullopt, layer0), std::nullopt);
    EXPECT_EQ(E::unmanageableWindowRejectionReason("AXWindow", "AXDialog", std::nullopt), std::nullopt);
}

TEST_F(DiscoveryTest, KeptWindowCarriesReadingAndEntry)
{
    desktop.addWindow(appPid, {.number = 5, .frame = CGRect(-50, 20, 640, 480), .title = QStringLiteral("Doc"),
                               .minimized = true, .fullscreen = true, .layer = 0, .onScreen = false});
    desktop.accessibility->set({appPid, 5}, AXAttribute::main, true);
    const auto result = discover();
    const DiscoveredApplication& app = result.applications.at(0);
    const DiscoveredWindow& w = app.windows.at(0);
    EXPECT_EQ(w.frame, CGRect(-50, 20, 640, 480));
    EXPECT_TRUE(w.isMinimized);
    EXPECT_TRUE(w.isFullscreen);
    EXPECT_TRUE(w.isMain);
    EXPECT_FALSE(w.isVisible); // its entry is off screen
    EXPECT_EQ(w.isOnScreen, false);
    EXPECT_FALSE(w.zOrderHint.has_value());

    const WindowSignature s = makeWindowSignature(app, w);
    EXPECT_EQ(s.bundleIdentifier, appId);
    EXPECT_EQ(s.owningPid, appPid);
    EXPECT_EQ(s.windowTitle, "Doc");
    EXPECT_EQ(s.role, "AXWindow");
    EXPECT_EQ(s.subrole, "AXStandardWindow");
    EXPECT_EQ(s.capturedFrame.x, -50);
    EXPECT_EQ(s.capturedFrame.width, 640);
    EXPECT_EQ(s.cgWindowID, 5u);
}

TEST_F(DiscoveryTest, HiddenApplicationHidesWindowsUnlessTheWindowSaysOtherwise)
{
    desktop.accessibility->set({appPid, 0}, AXAttribute::hidden, true);
    desktop.addWindow(appPid, {.number = 1, .frame = CGRect(0, 0, 100, 100)});
    desktop.addWindow(appPid, {.number = 2, .frame = CGRect(200, 0, 100, 100)});
    desktop.accessibility->set({appPid, 2}, AXAttribute::hidden, false);
    const auto windows = discover().applications.at(0).windows;
    EXPECT_FALSE(windows[0].isVisible);
    EXPECT_TRUE(windows[1].isVisible);
}

TEST_F(DiscoveryTest, RoleDefaultsToWindowWhenUnreadable)
{
    const AXUIElement e = axWindow(1, CGRect(0, 0, 100, 100));
    desktop.accessibility->attributes[{appPid, e.window}].erase(AXAttribute::role);
    EXPECT_EQ(discover().applications.at(0).windows.at(0).role, "AXWindow");
}

TEST(WindowDiscoveryFrame, ValidityRules)
{
    using E = WindowDiscoveryEngine;
    EXPECT_TRUE(E::isValidDiscoveredWindowFrame(CGRect(-10, -10, 1, 1)));
    EXPECT_FALSE(E::isValidDiscoveredWindowFrame(CGRect(0, 0, -10, 10)));
    EXPECT_FALSE(E::isValidDiscoveredWindowFrame(CGRect(0, 0, 10, 0)));
    EXPECT_FALSE(E::isValidDiscoveredWindowFrame(CGRect::null()));
    EXPECT_FALSE(E::isValidDiscoveredWindowFrame(CGRect(std::nan(""), 0, 10, 10)));
    EXPECT_FALSE(E::isValidDiscoveredWindowFrame(CGRect(0, 0, INFINITY, 10)));
}

} // namespace
} // namespace zen
