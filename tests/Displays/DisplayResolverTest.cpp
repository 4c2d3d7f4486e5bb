// Records are built with designated initializers; unnamed fields keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "Displays/DisplayResolver.h"
#include "Support/FakePlatform.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

using Screen = DisplayResolver::ScreenSnapshot;
namespace Reason = DisplayFallbackReason;

DisplayRecord display(std::uint32_t id, CGRect frame, std::optional<QString> name = std::nullopt,
                      std::optional<std::uint32_t> vendor = std::nullopt, std::optional<std::uint32_t> product = std::nullopt,
                      std::optional<std::uint32_t> serial = std::nullopt, bool primary = false)
{
    DisplayRecord d;
    d.id = id;
    d.localizedName = name;
    d.frame = CGRectCodable(frame);
    d.visibleFrame = CGRectCodable(frame);
    d.isPrimary = primary;
    d.vendorID = vendor;
    d.productID = product;
    d.serialNumber = serial;
    return d;
}

WindowRecord savedWindow(std::optional<std::uint32_t> displayID, NormalizedRect n, CGRect frame = CGRect(1, 2, 3, 4))
{
    WindowRecord w;
    w.displayID = displayID;
    w.normalizedFrame = n;
    w.frame = CGRectCodable(frame);
    return w;
}

TEST(DisplayResolverScreens, AlignmentFlipsAroundTheReferenceScreen)
{
    Screen main {.id = 1, .frame = CGRect(0, 0, 1440, 900), .visibleFrame = CGRect(0, 0, 1440, 875)};
    Screen above {.id = 2, .frame = CGRect(0, 900, 1920, 1080), .visibleFrame = CGRect(0, 900, 1920, 1080)};
    auto aligned = Screen::alignedToAccessibilityCoordinates({main, above}, 1);
    EXPECT_EQ(aligned[0].frame, CGRect(0, 0, 1440, 900));
    EXPECT_EQ(aligned[0].visibleFrame, CGRect(0, 25, 1440, 875));
    EXPECT_EQ(aligned[1].frame, CGRect(0, -1080, 1920, 1080));

    // No screen with the id and none primary: unchanged.
    aligned = Screen::alignedToAccessibilityCoordinates({main, above}, 7);
    EXPECT_EQ(aligned[1].frame, CGRect(0, 900, 1920, 1080));
    // Falls back to the screen flagged primary.
    above.isPrimary = true;
    aligned = Screen::alignedToAccessibilityCoordinates({main, above}, 7);
    EXPECT_EQ(aligned[0].frame, CGRect(0, 1080, 1440, 900));
}

TEST(DisplayResolverScreens, CaptureSortsAndTakesPrimaryAndHardwareNumbers)
{
    auto source = std::make_shared<testsupport::FakeScreenSource>();
    source->list = {
        {.id = 9, .frame = CGRect(1440, -200, 1920, 1080), .visibleFrame = CGRect(1440, -200, 1920, 1080), .vendorNumber = 0x10AC, .modelNumber = 0, .serialNumber = 77},
        {.id = 4, .localizedName = QStringLiteral("Built-in"), .frame = CGRect(0, 0, 1440, 900), .visibleFrame = CGRect(0, 0, 1440, 900)},
    };
    source->mainID = 4;
    const DisplayState state = DisplayResolver(source).captureDisplayState();
    ASSERT_EQ(state.displays.size(), 2u);
    EXPECT_EQ(state.displays[0].id, 4u);
    EXPECT_TRUE(state.displays[0].isPrimary);
    EXPECT_EQ(state.primaryDisplayID, 4u);
    EXPECT_EQ(state.displays[1].vendorID, 0x10ACu);
    EXPECT_FALSE(state.displays[1].productID.has_value());
    EXPECT_EQ(state.displays[1].serialNumber, 77u);
    EXPECT_EQ(state.virtualDesktopBoundsRect(), CGRect(0, -200, 3360, 1100));

    const DisplayState none = DisplayResolver([] { return std::vector<Screen> {}; }).captureDisplayState();
    EXPECT_TRUE(none.displays.empty());
    EXPECT_FALSE(none.primaryDisplayID.has_value());
    EXPECT_EQ(none.virtualDesktopBoundsRect(), CGRect(0, 0, 0, 0));
}

TEST(DisplayResolverLiveWindow, OverlapPassAndNearestPassBreakTiesOppositeWays)
{
    const std::vector<DisplayRecord> displays {display(1, CGRect(0, 0, 1000, 800)), display(2, CGRect(1000, 0, 1000, 800))};
    EXPECT_EQ(DisplayResolver::resolveDisplay(CGRect(500, 100, 1000, 400), displays)->id, 2u);  // halves: larger minX
    EXPECT_EQ(DisplayResolver::resolveDisplay(CGRect(100, 100, 1000, 400), displays)->id, 1u);  // larger overlap
    EXPECT_EQ(DisplayResolver::resolveDisplay(CGRect(950, 900, 100, 100), displays)->id, 1u);   // outside, equidistant: smaller minX
    EXPECT_EQ(DisplayResolver::resolveDisplay(CGRect(1900, 900, 100, 100), displays)->id, 2u);  // outside: nearest centre
    EXPECT_FALSE(DisplayResolver::resolveDisplay(CGRect(0, 0, 1, 1), std::vector<DisplayRecord> {}).has_value());
    // Equal in every key: the earlier one stays.
    const std::vector<DisplayRecord> twins {display(5, CGRect(0, 0, 100, 100)), display(5, CGRect(0, 0, 100, 100), "b")};
    EXPECT_FALSE(DisplayResolver::resolveDisplay(CGRect(0, 0, 10, 10), twins)->localizedName.has_value());
}

TEST(DisplayResolverLiveWindow, NormalizesAgainstTheDisplayFrame)
{
    const NormalizedRect n = DisplayResolver::normalizedFrame(CGRect(-100, 450, 500, 450), display(1, CGRect(0, 0, 1000, 900)));
    EXPECT_DOUBLE_EQ(n.xRatio, -0.1);
    EXPECT_DOUBLE_EQ(n.yRatio, 0.5);
    EXPECT_DOUBLE_EQ(n.widthRatio, 0.5);
    const NormalizedRect zero = DisplayResolver::normalizedFrame(CGRect(1, 1, 1, 1), display(1, CGRect(0, 0, 0, 900)));
    EXPECT_EQ(zero.xRatio + zero.yRatio + zero.widthRatio + zero.heightRatio, 0);
}

struct RestoreChoice : ::testing::Test {
    DisplayState saved;
    DisplayState current;
    std::optional<DisplayResolver::Resolution> resolve(std::optional<std::uint32_t> id)
    {
        return DisplayResolver::resolvedRestoreDisplay(id, saved, current);
    }
};

TEST_F(RestoreChoice, HardwareIdentityFindsAMovedMonitor)
{
    saved = DisplayState::make({display(1, CGRect(0, 0, 1000, 800), "Dell", 10, 20, 30)}, 1);
    current = DisplayState::make({display(2, CGRect(0, 0, 1000, 800)), display(3, CGRect(1000, 0, 1000, 800), "Dell", 10, 20, 30)}, 2);
    auto r = resolve(1);
    EXPECT_EQ(r->display.id, 3u);
    EXPECT_EQ(r->reason, Reason::hardwareMatch);

    current.displays[1].id = 1; // same hardware, same id: no fallback
    EXPECT_EQ(resolve(1)->reason, std::nullopt);
}

TEST_F(RestoreChoice, IdenticalMonitorsFallThroughToTheSameId)
{
    saved = DisplayState::make({display(1, CGRect(0, 0, 1000, 800), "Twin", 10, 20, 30)}, 1);
    current = DisplayState::make({display(5, CGRect(0, 0, 1000, 800), "Twin", 10, 20, 30), display(1, CGRect(1000, 0, 1000, 800), "Twin", 10, 20, 30)}, 5);
    auto r = resolve(1);
    EXPECT_EQ(r->display.id, 1u);
    EXPECT_EQ(r->reason, std::nullopt);
}

TEST_F(RestoreChoice, SameIdNeedsNothingContradicting)
{
    saved = DisplayState::make({display(1, CGRect(0, 0, 1000, 800))}, 1);
    current = DisplayState::make({display(2, CGRect(0, 0, 500, 500), std::nullopt, 1, 1, 1), display(1, CGRect(500, 0, 10, 10), "Other")}, 2);
    EXPECT_EQ(resolve(1)->display.id, 1u); // saved has no numbers and no name
    EXPECT_EQ(resolve(1)->reason, std::nullopt);

    saved.displays[0].localizedName = QStringLiteral("Mine");
    auto r = resolve(1);
    EXPECT_EQ(r->display.id, 2u); // names differ: falls to the primary
    EXPECT_EQ(r->reason, Reason::primaryDisplay);
}

TEST_F(RestoreChoice, TrimmedNameAndNearestFrame)
{
    saved = DisplayState::make({display(1, CGRect(0, 0, 1000, 800), QStringLiteral("  Studio \n"))}, 1);
    current = DisplayState::make({display(7, CGRect(0, 0, 800, 600), "Other", std::nullopt, std::nullopt, std::nullopt, true),
                                display(8, CGRect(2000, 0, 1000, 800), "Studio"), display(9, CGRect(100, 0, 1000, 800), "Studio")},
                               std::nullopt);
    auto r = resolve(1);
    EXPECT_EQ(r->display.id, 9u);
    EXPECT_EQ(r->reason, Reason::semanticMatch);
}

TEST_F(RestoreChoice, UnknownSavedDisplayAndPrimaryFallbacks)
{
    saved = DisplayState::make({}, std::nullopt);
    current = DisplayState::make({display(3, CGRect(500, 0, 100, 100)), display(4, CGRect(0, 0, 100, 100))}, std::nullopt);
    auto r = resolve(3); // not in the layout, but attached under that id
    EXPECT_EQ(r->display.id, 3u);
    EXPECT_EQ(r->reason, std::nullopt);

    r = resolve(std::nullopt); // no primary at all: left-most
    EXPECT_EQ(r->display.id, 4u);
    EXPECT_EQ(r->reason, Reason::primaryDisplay);
    current.displays[0].isPrimary = true;
    EXPECT_EQ(resolve(std::nullopt)->display.id, 3u);
    current.primaryDisplayID = 4;
    EXPECT_EQ(resolve(std::nullopt)->display.id, 4u);

    current = DisplayState::make({}, std::nullopt);
    EXPECT_FALSE(resolve(1).has_value());
}

TEST(DisplayRestorePlan, PlacesClampsAndReports)
{
    const DisplayState saved = DisplayState::make({display(1, CGRect(0, 0, 1000, 800), "A", 1, 2, 3)}, 1);
    DisplayRecord target = display(2, CGRect(1000, 0, 800, 600), "A", 1, 2, 3);
    target.visibleFrame = CGRectCodable(1000, 25, 800, 575);
    const DisplayState current = DisplayState::make({target}, 2);

    const auto plan = DisplayResolver::restorePlan(savedWindow(1, {0.9, 0.0, 1.5, 0.5}), saved, current);
    EXPECT_EQ(plan.targetFrame, CGRect(1000, 25, 800, 300)); // too wide: shrunk and pushed left; pushed below the top inset
    EXPECT_EQ(plan.resolvedDisplayID, 2u);
    ASSERT_TRUE(plan.fallback.has_value());
    EXPECT_EQ(plan.fallback->savedDisplayID, 1u);
    EXPECT_EQ(plan.fallback->resolvedDisplayID, 2u);
    EXPECT_EQ(plan.fallback->reason, Reason::hardwareMatch);

    const auto nothing = DisplayResolver::restorePlan(savedWindow(1, {}), saved, DisplayState::make({}, std::nullopt));
    EXPECT_EQ(nothing.targetFrame, CGRect(1, 2, 3, 4));
    EXPECT_FALSE(nothing.resolvedDisplayID.has_value());
    EXPECT_EQ(nothing.fallback->reason, Reason::noDisplaysAvailable);
    EXPECT_EQ(nothing.fallback->savedDisplayID, 1u);
    EXPECT_FALSE(nothing.fallback->resolvedDisplayID.has_value());

    const auto same = DisplayResolver::restorePlan(savedWindow(2, {0.25, 0.5, 0.5, 0.25}), saved, current);
    EXPECT_EQ(same.targetFrame, CGRect(1200, 300, 400, 150));
    EXPECT_FALSE(same.fallback.has_value());
}

TEST(DisplayRestorePlan, ClampKeepsSmallWindowsAndIgnoresEmptyBounds)
{
    EXPECT_EQ(DisplayResolver::clamped(CGRect(-50, 10, 100, 100), CGRect(0, 0, 500, 500)), CGRect(0, 10, 100, 100));
    EXPECT_EQ(DisplayResolver::clamped(CGRect(450, 450, 100, 100), CGRect(0, 0, 500, 500)), CGRect(400, 400, 100, 100));
    EXPECT_EQ(DisplayResolver::clamped(CGRect(450, 450, 100, 100), CGRect(0, 0, 0, 500)), CGRect(450, 450, 100, 100));
    EXPECT_EQ(DisplayResolver::clamped(CGRect(450, 450, 100, 100), CGRect::null()), CGRect(450, 450, 100, 100));
}

} // namespace
} // namespace zen
