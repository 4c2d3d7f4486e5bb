#include "Support/FakePlatform.h"
#include "WindowDiscovery/AXAttributeReader.h"
#include "WindowDiscovery/CGWindowMetadataReader.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

using testsupport::windowListEntry;

TEST(CGWindowMetadataReader, EmptyProcessSetMakesNoQuery)
{
    auto server = std::make_shared<testsupport::FakeWindowServer>();
    CGWindowMetadataReader reader(server);
    EXPECT_TRUE(reader.readWindowMetadata({}).empty());
    EXPECT_EQ(server->queries, 0);
    reader.readWindowMetadata({1, 2, 3});
    EXPECT_EQ(server->queries, 2);
}

TEST(CGWindowMetadataReader, DropsMalformedEntriesAndKeepsZeroSize)
{
    auto server = std::make_shared<testsupport::FakeWindowServer>();
    QVariantMap noNumber = windowListEntry(1, 10, CGRect(0, 0, 10, 10));
    noNumber.remove(WindowListKey::number);
    QVariantMap noPid = windowListEntry(2, 10, CGRect(0, 0, 10, 10));
    noPid.remove(WindowListKey::ownerPID);
    QVariantMap textPid = windowListEntry(3, 10, CGRect(0, 0, 10, 10));
    textPid[WindowListKey::ownerPID] = QStringLiteral("10");
    QVariantMap noBounds = windowListEntry(4, 10, CGRect(0, 0, 10, 10));
    noBounds.remove(WindowListKey::bounds);
    QVariantMap nanBounds = windowListEntry(5, 10, CGRect(std::nan(""), 0, 10, 10));
    QVariantMap oddLayer = windowListEntry(6, 10, CGRect(0, 0, 0, 0));
    oddLayer[WindowListKey::layer] = QStringLiteral("3");
    oddLayer[WindowListKey::isOnscreen] = QStringLiteral("yes");
    oddLayer[WindowListKey::name] = 42;
    QVariantMap otherProcess = windowListEntry(7, 11, CGRect(0, 0, 10, 10));
    server->all = std::vector<QVariantMap> {noNumber, noPid, textPid, noBounds, nanBounds, oddLayer, otherProcess};
    server->onScreen = std::vector<QVariantMap> {oddLayer};

    const auto map = CGWindowMetadataReader(server).readWindowMetadata({10});
    ASSERT_EQ(map.size(), 1u);
    ASSERT_EQ(map.at(10).size(), 1u);
    const CGWindowMetadata& m = map.at(10)[0];
    EXPECT_EQ(m.windowID, 6u);
    EXPECT_EQ(m.layer, 0);
    EXPECT_FALSE(m.isOnScreen);
    EXPECT_FALSE(m.title.has_value());
    EXPECT_FALSE(m.zOrderHint.has_value()); // off screen, though listed on screen
}

TEST(CGWindowMetadataReader, OnScreenPositionsCountEveryEntry)
{
    auto server = std::make_shared<testsupport::FakeWindowServer>();
    const auto a = windowListEntry(1, 10, CGRect(0, 0, 10, 10));
    const auto b = windowListEntry(2, 10, CGRect(0, 0, 10, 10));
    const auto foreign = windowListEntry(9, 99, CGRect(0, 0, 10, 10));
    QVariantMap broken;
    server->all = std::vector<QVariantMap> {a, b};
    server->onScreen = std::vector<QVariantMap> {broken, b, foreign, a, b};
    auto map = CGWindowMetadataReader(server).readWindowMetadata({10});
    EXPECT_EQ(map.at(10)[0].zOrderHint, 3);
    EXPECT_EQ(map.at(10)[1].zOrderHint, 4); // a later duplicate overwrites

    server->onScreen.reset();
    map = CGWindowMetadataReader(server).readWindowMetadata({10});
    EXPECT_EQ(map.at(10).size(), 2u);
    EXPECT_FALSE(map.at(10)[0].zOrderHint.has_value());

    server->all.reset();
    EXPECT_TRUE(CGWindowMetadataReader(server).readWindowMetadata({10}).empty());
}

TEST(AXAttributeReader, TypedReadsRejectOtherTypes)
{
    auto ax = std::make_shared<testsupport::FakeAccessibility>();
    const AXUIElement w {1, 2};
    ax->set(w, "text", QStringLiteral("true"));
    ax->set(w, "number", 1.0);
    ax->set(w, "size", CGSize {3, 4});
    AXAttributeReader reader(ax);
    EXPECT_EQ(reader.boolean(w, "text"), std::nullopt);
    EXPECT_EQ(reader.boolean(w, "number"), true);
    EXPECT_EQ(reader.point(w, "size"), std::nullopt);
    EXPECT_EQ(reader.size(w, "size"), (CGSize {3, 4}));
    EXPECT_EQ(reader.elementArray(w, "text"), std::nullopt);
    EXPECT_EQ(reader.string(w, "missing"), std::nullopt);

    EXPECT_FALSE(reader.setPoint(CGPoint {std::nan(""), 0}, w, AXAttribute::position));
    EXPECT_FALSE(reader.setSize(CGSize {INFINITY, 10}, w, AXAttribute::size));
    EXPECT_TRUE(ax->writes.empty());
    EXPECT_TRUE(reader.setPoint(CGPoint {1, 2}, w, AXAttribute::position));
    ax->writesSucceed = false;
    EXPECT_FALSE(reader.performAction(AXAction::raise, w));
}

} // namespace
} // namespace zen
