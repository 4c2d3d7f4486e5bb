#include "Snapshots/Snapshot.h"

#include "Support/SnapshotFixtures.h"

#include <QSet>
#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

using namespace zen;
using namespace zen::test;

TEST(SnapshotModelTest, EqualityFollowsCanonicalTextAndNumericDoubles)
{
    HotkeyBinding a{40, 0x900, QString::fromUtf16(u"\u2325\u2318K")};
    HotkeyBinding b = a;
    b.displayString = QStringLiteral("Other");
    EXPECT_NE(a, b) << "display strings take part in equality";

    WindowSignature composed{"org.example", 1, QString::fromUtf16(u"R\u00E9sum\u00E9"), "AXWindow", std::nullopt,
                             CGRectCodable(0, 0, 10, 10), std::nullopt};
    WindowSignature decomposed = composed;
    decomposed.windowTitle = QString::fromUtf16(u"Re\u0301sume\u0301");
    decomposed.capturedFrame = CGRectCodable(-0.0, 0, 10, 10);
    EXPECT_EQ(composed, decomposed);
    EXPECT_EQ(qHash(composed), qHash(decomposed));
    EXPECT_EQ(std::hash<WindowSignature>()(composed), std::hash<WindowSignature>()(decomposed));

    WindowSignature untitled = composed;
    untitled.windowTitle = std::nullopt;
    EXPECT_NE(composed, untitled);
    WindowSignature emptyTitle = composed;
    emptyTitle.windowTitle = QString();
    EXPECT_NE(untitled, emptyTitle);

    const double nan = std::nan("");
    EXPECT_NE(CGRectCodable(nan, 0, 0, 0), CGRectCodable(nan, 0, 0, 0));

    const DisplayRecord d1 = makeDisplay(1, CGRect(0, 0, 100, 100));
    DisplayRecord d2 = d1;
    d2.serialNumber = 5;
    EXPECT_NE(d1, d2);
    EXPECT_EQ(DisplayState::make({d1, d2}, 1), DisplayState::make({d1, d2}, 1));
    EXPECT_NE(DisplayState::make({d1, d2}, 1), DisplayState::make({d2, d1}, 1)) << "order counts";

    std::unordered_set<DisplayRecord> set{d1, d2, d1};
    EXPECT_EQ(set.size(), 2u);
}

TEST(SnapshotModelTest, NormalizesAndDenormalizesAgainstTheDisplayFrame)
{
    const CGRect display(1440, -200, 1920, 1080);
    const NormalizedRect full = NormalizedRect::fromFrames(display, display);
    EXPECT_EQ(full, (NormalizedRect{0, 0, 1, 1}));

    const NormalizedRect left = NormalizedRect::fromFrames(CGRect(1340, -200, 960, 540), display);
    EXPECT_LT(left.xRatio, 0);
    const CGRect back = left.denormalized(display);
    EXPECT_NEAR(back.x(), 1340, 1e-9);
    EXPECT_NEAR(back.width(), 960, 1e-9);

    // A negative size is standardized on both sides.
    EXPECT_EQ(NormalizedRect::fromFrames(CGRect(960, 540, -960, -540), CGRect(0, 0, 1920, 1080)),
              (NormalizedRect{0, 0, 0.5, 0.5}));

    for (const CGRect& degenerate : {CGRect(0, 0, 0, 900), CGRect(0, 0, 1440, 0), CGRect(0, 0, std::nan(""), 900)})
        EXPECT_EQ(NormalizedRect::fromFrames(CGRect(10, 10, 100, 100), degenerate), NormalizedRect{});
    EXPECT_EQ(NormalizedRect{}.denormalized(display), CGRect(1440, -200, 0, 0));
}

TEST(SnapshotModelTest, DisplayStateBoundsAreTheUnionOfFramesUnlessGiven)
{
    const DisplayRecord a = makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    const DisplayRecord b = makeDisplay(2, CGRect(1440, -200, 1920, 1080));
    EXPECT_EQ(DisplayState::make({a, b}, 1).virtualDesktopBounds, CGRectCodable(0, -200, 3360, 1100));
    EXPECT_EQ(DisplayState::make({}, std::nullopt).virtualDesktopBounds, CGRectCodable(0, 0, 0, 0));
    EXPECT_EQ(DisplayState::make({a, b}, 1, CGRectCodable(5, 5, 1, 1)).virtualDesktopBounds, CGRectCodable(5, 5, 1, 1));
    // A zero-size display still widens the bounds, as a point.
    const DisplayRecord point = makeDisplay(3, CGRect(-100, 0, 0, 0));
    EXPECT_EQ(DisplayState::make({a, point}, 1).virtualDesktopBounds, CGRectCodable(-100, 0, 1540, 900));
}

