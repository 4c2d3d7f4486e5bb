#include "Snapshots/SnapshotStore.h"

#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;
using Kind = SnapshotStoreError::Kind;

namespace {

class SnapshotEditsTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    SnapshotStore store{root.filePath("Snapshots"), [] { return fixedDate(30); }};
    const QDateTime editTime = fixedDate(40);

    Snapshot saved(const QString& name, std::vector<WindowRecord> windows = {makeWindow("org.example.Editor", 1, 1)},
                   std::optional<HotkeyBinding> hotkey = std::nullopt, int updatedDay = 0)
    {
        Snapshot s = makeSnapshot(name, std::move(windows));
        s.hotkey = hotkey;
        s.updatedAt = fixedDate(updatedDay);
        EXPECT_TRUE(store.save(s).has_value());
        return s;
    }
    QByteArray bytesOf(const Snapshot& s) const { return readFile(store.fileURL(s.id)); }
    Snapshot reload(const Snapshot& s) const { return store.loadSnapshot(s.id).value(); }

    static WindowRecord withID(WindowRecord w, const char16_t* id)
    {
        w.id = *parseUuidStrict(QStringView(id));
        return w;
    }
    std::optional<std::int64_t> hintOf(const Snapshot& s, const QUuid& windowID) const
    {
        for (const WindowRecord& w : reload(s).windows)
            if (w.id == windowID)
                return w.zOrderHint;
        ADD_FAILURE() << "no such window";
        return std::nullopt;
    }
};

} // namespace

TEST_F(SnapshotEditsTest, RenameTrimsAndChecksTheNameBeforeLookingForTheLayout)
{
    const Snapshot s = saved("Old");
    ASSERT_TRUE(store.renameSnapshot(s.id, "  New name \n", editTime).has_value());
    const Snapshot back = reload(s);
    EXPECT_EQ(back.name, QStringLiteral("New name"));
    EXPECT_EQ(back.updatedAt, editTime);
    EXPECT_EQ(back.createdAt, s.createdAt);

    EXPECT_EQ(store.renameSnapshot(QUuid::createUuid(), "   ").error().kind(), Kind::invalidName);
    EXPECT_EQ(store.renameSnapshot(QUuid::createUuid(), "Fine").error().kind(), Kind::notFound);
    // Without an explicit time the store's clock stamps the edit.
    ASSERT_TRUE(store.renameSnapshot(s.id, "Clocked").has_value());
    EXPECT_EQ(reload(s).updatedAt, fixedDate(30));
}

TEST_F(SnapshotEditsTest, HotkeysNeedACommandOptionOrControlModifierAndMustBeUnique)
{
    const Snapshot first = saved("First", {makeWindow("org.a", 1, 1)}, HotkeyBinding{40, 0x900, "⌥⌘K"}, 2);
    const Snapshot second = saved("Second", {makeWindow("org.b", 1, 1)}, std::nullopt, 1);

    for (std::uint32_t bad : {0x200u, 0x0u, 0x800u | 0x4000u, 0x100u | 0x1u})
        EXPECT_EQ(store.setHotkey(second.id, HotkeyBinding{12, bad, "x"}).error().kind(), Kind::invalidHotkeyAssignment)
            << bad;
    EXPECT_EQ(store.setHotkey(QUuid::createUuid(), HotkeyBinding{12, 0x200, "x"}).error().kind(), Kind::notFound);

    const auto taken = store.setHotkey(second.id, HotkeyBinding{40, 0x900, "another text"});
    ASSERT_FALSE(taken.has_value());
    EXPECT_EQ(taken.error().localizedDescription(), QStringLiteral("\"First\" already uses that hotkey."));
    EXPECT_FALSE(reload(second).hotkey.has_value());

    ASSERT_TRUE(store.setHotkey(first.id, HotkeyBinding{40, 0x900, "⌥⌘K"}, editTime).has_value());
    EXPECT_EQ(reload(first).updatedAt, editTime);
    const HotkeyBinding commandShift{12, 0x300, "⇧⌘Q"};
    ASSERT_TRUE(store.setHotkey(second.id, commandShift, editTime).has_value());
    EXPECT_EQ(reload(second).hotkey, commandShift);

    ASSERT_TRUE(store.setHotkey(second.id, std::nullopt, fixedDate(50)).has_value());
    ASSERT_TRUE(store.setHotkey(second.id, std::nullopt, fixedDate(51)).has_value());
    EXPECT_FALSE(reload(second).hotkey.has_value());
    EXPECT_EQ(reload(second).updatedAt, fixedDate(51)) << "clearing an absent hotkey still saves";
}

TEST_F(SnapshotEditsTest, RemovingWindowsKeepsAtLeastOne)
{
    const WindowRecord a1 = makeWindow("org.a", 1, 4), a2 = makeWindow("org.a", 1, 9), a3 = makeWindow("org.a", 2);
    const WindowRecord b1 = makeWindow("org.b", 1, 2), c1 = makeWindow("org.c", 2, 1);
    const Snapshot s = saved("Five", {a1, b1, a2, c1, a3});
    const QByteArray before = bytesOf(s);

    EXPECT_FALSE(store.removeWindow(QUuid::createUuid(), s.id, editTime).value());
    EXPECT_EQ(store.removeApp("org.none", s.id, editTime).value(), 0);
    EXPECT_EQ(bytesOf(s), before) << "nothing to remove saves nothing";

    EXPECT_EQ(store.removeApp("org.a", s.id, editTime).value(), 3);
    Snapshot back = reload(s);
    ASSERT_EQ(back.windows.size(), 2u);
    EXPECT_EQ(back.windows[0].id, b1.id);
    EXPECT_EQ(back.windows[0].zOrderHint, 2) << "hints keep their gaps";
    EXPECT_EQ(back.updatedAt, editTime);

    EXPECT_TRUE(store.removeWindow(b1.id, s.id).value());
    const QByteArray single = bytesOf(s);
    EXPECT_EQ(store.removeWindow(c1.id, s.id).error().localizedDescription(),
              QStringLiteral("A layout must keep at least one saved window. Delete the layout instead."));
    EXPECT_EQ(store.removeApp("org.c", s.id).error().kind(), Kind::layoutRequiresWindow);
    EXPECT_EQ(bytesOf(s), single);
}

TEST_F(SnapshotEditsTest, ReorderRenumbersAcrossDisplaysWithoutGaps)
{
    const WindowRecord w1 = makeWindow("org.a", 1, 1), w2 = makeWindow("org.b", 2, 2);
    const WindowRecord w3 = makeWindow("org.c", 1, 3), w4 = makeWindow("org.d", 2);
    const Snapshot s = saved("Two displays", {w1, w2, w3, w4});

    EXPECT_FALSE(store.reorderDisplayWindows(s.id, 1, {w1.id, w3.id}, editTime).value());
    EXPECT_EQ(reload(s).updatedAt, fixedDate(0));

    EXPECT_TRUE(store.reorderDisplayWindows(s.id, 1, {w3.id, w1.id}, editTime).value());
    EXPECT_EQ(hintOf(s, w3.id), 1);
    EXPECT_EQ(hintOf(s, w2.id), 2);
    EXPECT_EQ(hintOf(s, w1.id), 3);
    EXPECT_EQ(hintOf(s, w4.id), std::nullopt);
    const Snapshot back = reload(s);
    EXPECT_EQ(back.updatedAt, editTime);
    EXPECT_EQ(back.windows[0].id, w1.id) << "the stored order never changes";
    EXPECT_EQ(back.windows[3].id, w4.id);
}

TEST_F(SnapshotEditsTest, ReorderOfUnhintedWindowsStartsFromTheIdTextOrder)
{
    const WindowRecord w5 = withID(makeWindow("org.a", 1), u"00000000-0000-0000-0000-00000000000A");
    const WindowRecord w6 = withID(makeWindow("org.b", 1), u"B0000000-0000-0000-0000-000000000000");
    const WindowRecord elsewhere = makeWindow("org.c", 2);
    const Snapshot s = saved("Unhinted", {w6, elsewhere, w5});

    EXPECT_FALSE(store.reorderDisplayWindows(s.id, 1, {w5.id, w6.id}).value());
    EXPECT_TRUE(store.reorderDisplayWindows(s.id, 1, {w6.id, w5.id}).value());
    EXPECT_EQ(hintOf(s, w6.id), 1);
    EXPECT_EQ(hintOf(s, w5.id), 2);
    EXPECT_EQ(hintOf(s, elsewhere.id), std::nullopt);
}

TEST_F(SnapshotEditsTest, ReorderRefusesAnythingButAPermutationOfTheDisplaysWindows)
{
    const WindowRecord w1 = makeWindow("org.a", 1, 1), w2 = makeWindow("org.b", 1, 2), w3 = makeWindow("org.c", 2, 3);
    const Snapshot s = saved("Checks", {w1, w2, w3});
    const QByteArray before = bytesOf(s);

    EXPECT_FALSE(store.reorderDisplayWindows(s.id, 99, {}).value());
    const std::vector<std::vector<QUuid>> bad = {
        {w1.id}, {w1.id, w1.id}, {w1.id, w3.id}, {w1.id, w2.id, w3.id}, {w2.id, QUuid::createUuid()}};
    for (const auto& order : bad)
        EXPECT_EQ(store.reorderDisplayWindows(s.id, 1, order).error().kind(), Kind::invalidWindowOrder);
    EXPECT_EQ(store.reorderDisplayWindows(s.id, 99, {w1.id}).error().localizedDescription(),
              QStringLiteral("Window order must include each saved window for that display exactly once."));
    EXPECT_EQ(bytesOf(s), before);
}
