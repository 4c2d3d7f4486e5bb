#include "Displays/DisplayConfigurationMatcher.h"

#include "Support/SnapshotFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zen;
using namespace zen::test;

namespace {

DisplayRecord monitor(std::uint32_t id, const QString& name, CGRect frame, double scale = 1,
                      std::optional<std::uint32_t> vendor = std::nullopt,
                      std::optional<std::uint32_t> product = std::nullopt,
                      std::optional<std::uint32_t> serial = std::nullopt)
{
    DisplayRecord d = makeDisplay(id, frame);
    d.localizedName = name;
    d.backingScaleFactor = scale;
    d.vendorID = vendor;
    d.productID = product;
    d.serialNumber = serial;
    return d;
}

Snapshot layout(const QString& name, std::vector<DisplayRecord> displays)
{
    Snapshot s = makeSnapshot(name);
    s.sourceDisplayState = DisplayState::make(std::move(displays), std::nullopt);
    return s;
}

DisplayState now(std::vector<DisplayRecord> displays)
{
    return DisplayState::make(std::move(displays), std::nullopt);
}

std::optional<DisplayConfigurationMatchReason> reason(const std::vector<DisplayRecord>& saved,
                                                      const std::vector<DisplayRecord>& current)
{
    const auto m = DisplayConfigurationMatcher().match(layout("L", saved), now(current));
    return m ? std::optional(m->reason) : std::nullopt;
}

} // namespace

TEST(DisplayConfigurationMatcherTest, LayoutWithoutDisplaysOrWithAnotherCountNeverFits)
{
    EXPECT_EQ(reason({}, {}), std::nullopt);
    const DisplayRecord a = monitor(1, "A", CGRect(0, 0, 1920, 1080));
    const DisplayRecord b = monitor(2, "B", CGRect(1920, 0, 1920, 1080));
    EXPECT_EQ(reason({a}, {a, b}), std::nullopt);
    EXPECT_EQ(reason({a, b}, {a}), std::nullopt);
}

TEST(DisplayConfigurationMatcherTest, HardwareKeyNeedsAllThreeNumbersAndIgnoresPositionAndId)
{
    const DisplayRecord saved = monitor(1, "Studio", CGRect(0, 0, 2560, 1440), 2, 0x610, 0xa032, 12345);
    DisplayRecord moved = monitor(7, "Other name", CGRect(-500, 300, 1280, 720), 1, 0x610, 0xa032, 12345);
    moved.isPrimary = !saved.isPrimary;
    moved.visibleFrame = CGRectCodable(1, 2, 3, 4);
    EXPECT_EQ(reason({saved}, {moved}), DisplayConfigurationMatchReason::hardwareIdentity)
        << "hardware identity outranks a different name, size and scale";

    // Each missing number rules the hardware key out; the names then decide.
    for (int missing = 0; missing < 3; ++missing) {
        DisplayRecord partial = saved;
        partial.id = 9;
        partial.frame = CGRectCodable(100, 100, 2560, 1440);
        (missing == 0 ? partial.vendorID : missing == 1 ? partial.productID : partial.serialNumber) = std::nullopt;
        EXPECT_EQ(reason({saved}, {partial}), DisplayConfigurationMatchReason::nameSizeScale) << missing;
        DisplayRecord renamed = partial;
        renamed.localizedName = "Else";
        EXPECT_EQ(reason({saved}, {renamed}), std::nullopt) << missing;
    }

    // Another serial number: not the same hardware, but name, size and scale still agree.
    DisplayRecord otherSerial = saved;
    otherSerial.serialNumber = 999;
    EXPECT_EQ(reason({saved}, {otherSerial}), DisplayConfigurationMatchReason::nameSizeScale);
}

TEST(DisplayConfigurationMatcherTest, TwinMonitorsWithOneSerialFallBackToNamesAndSizes)
{
    // Two identical monitors reporting the same numbers can't be told apart by hardware.
    const DisplayRecord left = monitor(1, "Twin", CGRect(0, 0, 1920, 1080), 1, 1, 2, 3);
    const DisplayRecord right = monitor(2, "Twin", CGRect(1920, 0, 1920, 1080), 1, 1, 2, 3);
    EXPECT_EQ(reason({left, right}, {left, right}), std::nullopt) << "their name keys are not distinct either";

    DisplayRecord rightRenamed = right;
    rightRenamed.localizedName = "Twin 2";
    EXPECT_EQ(reason({left, rightRenamed}, {rightRenamed, left}), DisplayConfigurationMatchReason::nameSizeScale);
}

TEST(DisplayConfigurationMatcherTest, NameSizeScaleKeyPairsInAnyOrderAndPosition)
{
    const DisplayRecord retina = monitor(1, "Built-in", CGRect(0, 0, 1920, 1080), 2);
    const DisplayRecord wide = monitor(2, "Wide", CGRect(1920, 0, 2560, 1440), 1);
    DisplayRecord retinaNow = retina;
    retinaNow.id = 5;
    retinaNow.frame = CGRectCodable(2560, 200, 1920, 1080);
    DisplayRecord wideNow = wide;
    wideNow.id = 6;
    wideNow.frame = CGRectCodable(0, 0, 2560, 1440);
    EXPECT_EQ(reason({retina, wide}, {wideNow, retinaNow}), DisplayConfigurationMatchReason::nameSizeScale);

    DisplayRecord resized = wideNow;
    resized.frame = CGRectCodable(0, 0, 1920, 1080);
    EXPECT_EQ(reason({retina, wide}, {resized, retinaNow}), std::nullopt) << "another resolution";
    DisplayRecord rescaled = wideNow;
    rescaled.backingScaleFactor = 2;
    EXPECT_EQ(reason({retina, wide}, {rescaled, retinaNow}), std::nullopt) << "another scale";
}

TEST(DisplayConfigurationMatcherTest, NamesAreTrimmedComparedCanonicallyAndMustNotBeBlank)
{
    const DisplayRecord saved = monitor(1, QString::fromUtf16(u"\u00C9cran \n"), CGRect(0, 0, 1440, 900));
    const DisplayRecord current = monitor(2, QString::fromUtf16(u"E\u0301cran"), CGRect(0, 0, 1440, 900));
    EXPECT_EQ(reason({saved}, {current}), DisplayConfigurationMatchReason::nameSizeScale);

    DisplayRecord cased = current;
    cased.localizedName = QString::fromUtf16(u"\u00E9cran");
    EXPECT_EQ(reason({saved}, {cased}), std::nullopt) << "case matters";

    DisplayRecord blank = saved;
    blank.localizedName = " \t";
    EXPECT_EQ(reason({blank}, {blank}), std::nullopt) << "a blank name makes no key, not even against itself";
    DisplayRecord unnamed = saved;
    unnamed.localizedName = std::nullopt;
    EXPECT_EQ(reason({unnamed}, {unnamed}), std::nullopt);
}

TEST(DisplayConfigurationMatcherTest, UnmeasurableSizeNeverFitsByName)
{
    DisplayRecord broken = monitor(1, "A", CGRect(0, 0, std::nan(""), 900));
    EXPECT_EQ(reason({broken}, {broken}), std::nullopt);
    DisplayRecord zeroes = monitor(1, "A", CGRect(0, 0, 0.0, 900));
    DisplayRecord negativeZeroes = monitor(2, "A", CGRect(5, 5, -0.0, 900));
    EXPECT_EQ(reason({zeroes}, {negativeZeroes}), DisplayConfigurationMatchReason::nameSizeScale);
}

TEST(DisplayConfigurationMatcherTest, MatchesKeepLayoutOrderAndUniqueMatchNeedsExactlyOne)
{
    const DisplayRecord a = monitor(1, "A", CGRect(0, 0, 1920, 1080));
    const DisplayRecord b = monitor(2, "B", CGRect(0, 0, 1280, 800));
    const Snapshot first = layout("First", {a});
    const Snapshot second = layout("Second", {b});
    const Snapshot third = layout("Third", {a});
    const DisplayConfigurationMatcher matcher;

    const auto all = matcher.matches({first, second, third}, now({a}));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], (DisplayConfigurationMatch{first.id, "First", DisplayConfigurationMatchReason::nameSizeScale}));
    EXPECT_EQ(all[1], (DisplayConfigurationMatch{third.id, "Third", DisplayConfigurationMatchReason::nameSizeScale}));
    EXPECT_EQ(matcher.uniqueMatch({first, second, third}, now({a})), std::nullopt);

    const auto unique = matcher.uniqueMatch({first, second}, now({b}));
    ASSERT_TRUE(unique);
    EXPECT_EQ(unique->snapshotID, second.id);
    EXPECT_EQ(matcher.uniqueMatch({}, now({b})), std::nullopt);
}
