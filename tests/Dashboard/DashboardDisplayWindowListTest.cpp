#include "Dashboard/DashboardDisplayWindowList.h"
#include "Dashboard/DashboardDisplayWindowRow.h"
#include "Support/AnimationSwitch.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <memory>

namespace zen {
namespace {

using test::makeWindow;

void click(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent down(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), button, button, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &down);
    QApplication::sendEvent(&widget, &up);
}

class DashboardDisplayWindowListTest : public ::testing::Test {
protected:
    DashboardDisplayWindowListTest() : resolver(test::makeTableResolver({{"org.a", "Alpha"}}))
    {
        for (int i = 0; i < 4; ++i) {
            WindowRecord w = makeWindow("org.a", 5, i + 1);
            w.windowTitle = QStringLiteral("W%1").arg(i + 1);
            windows.push_back(w);
        }
    }

    std::unique_ptr<DashboardDisplayWindowList> makeList(std::vector<WindowRecord> shown)
    {
        return std::make_unique<DashboardDisplayWindowList>(
            5, std::move(shown), resolver, [this](const WindowRecord& w) { removed.push_back(w.id); },
            [this](std::uint32_t displayID, const std::vector<QUuid>& ids) {
                calls.push_back({displayID, ids});
                return accept;
            });
    }

    std::vector<QUuid> ids(std::initializer_list<int> numbers) const
    {
        std::vector<QUuid> out;
        for (int n : numbers)
            out.push_back(windows[n - 1].id);
        return out;
    }

    static std::vector<QUuid> shownOrder(const DashboardDisplayWindowList& list)
    {
        std::vector<QUuid> out;
        for (const DashboardDisplayWindowRow& row : list.rows())
            out.push_back(row.window().id);
        return out;
    }

    // Delivers a drop of `text` onto the row showing window `target` the way the toolkit does.
    static bool drop(DashboardDisplayWindowList& list, const QString& text, const QUuid& target)
    {
        const int index = list.indexOfWindow(target);
        if (index < 0)
            return false;
        list.resize(360, list.sizeHint().height());
        QMimeData data;
        data.setText(text);
        const QPointF where = QRectF(list.rowRect(index)).center();
        QDragEnterEvent enter(where.toPoint(), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&list, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(where, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&list, &dropEvent);
        return dropEvent.isAccepted();
    }

    // The row's context-menu item of that title, run when enabled; false when it was disabled.
    static bool runMenuItem(DashboardDisplayWindowList& list, const QUuid& id, const QString& title)
    {
        QMenu menu;
        list.fillContextMenu(menu, list.indexOfWindow(id));
        for (QAction* action : menu.actions()) {
            if (action->text() == title) {
                if (!action->isEnabled())
                    return false;
                action->trigger();
                return true;
            }
        }
        ADD_FAILURE() << "no menu item " << title.toStdString();
        return false;
    }
    static bool moveEarlier(DashboardDisplayWindowList& list, const QUuid& id)
    {
        return runMenuItem(list, id, DashboardDisplayWindowRow::moveEarlierTitle());
    }
    static bool moveLater(DashboardDisplayWindowList& list, const QUuid& id)
    {
        return runMenuItem(list, id, DashboardDisplayWindowRow::moveLaterTitle());
    }
    static QPoint removeButtonOf(DashboardDisplayWindowList& list, const QUuid& id)
    {
        list.resize(360, list.sizeHint().height());
        return DashboardDisplayWindowRow::removeButtonRect(list.rowRect(list.indexOfWindow(id))).center();
    }

    DashboardAppIdentityResolver resolver;
    std::vector<WindowRecord> windows;
    std::vector<std::pair<std::uint32_t, std::vector<QUuid>>> calls;
    std::vector<QUuid> removed;
    bool accept = true;
};

TEST_F(DashboardDisplayWindowListTest, DropsMoveTheDraggedRowToTheTargetsPlace)
{
    struct Case {
        const char* name;
        int dragged, target;
        std::optional<std::vector<int>> stored;
    };
    const std::vector<Case> cases {
        {"downwards lands after the target", 1, 3, std::vector {2, 3, 1, 4}},
        {"upwards lands before the target", 4, 2, std::vector {1, 4, 2, 3}},
        {"onto the next row", 2, 3, std::vector {1, 3, 2, 4}},
        {"onto itself is refused", 2, 2, std::nullopt},
    };
    for (const Case& c : cases) {
        calls.clear();
        // Stored order differs from the restore order: the list shows the latter.
        auto list = makeList({windows[3], windows[1], windows[0], windows[2]});
        ASSERT_EQ(shownOrder(*list), ids({1, 2, 3, 4}));
        // The payload a row hands to the drag.
        const std::unique_ptr<QMimeData> payload(list->dragPayload(list->indexOfWindow(windows[c.dragged - 1].id)));
        const bool taken = drop(*list, payload->text(), windows[c.target - 1].id);
        EXPECT_EQ(taken, c.stored.has_value()) << c.name;
        if (!c.stored) {
            EXPECT_TRUE(calls.empty()) << c.name;
            EXPECT_EQ(shownOrder(*list), ids({1, 2, 3, 4})) << c.name;
            continue;
        }
        std::vector<QUuid> expected;
        for (int n : *c.stored)
            expected.push_back(windows[n - 1].id);
        ASSERT_EQ(calls.size(), 1u) << c.name;
        EXPECT_EQ(calls[0].first, 5u);
        EXPECT_EQ(calls[0].second, expected) << c.name;
        EXPECT_EQ(shownOrder(*list), expected) << c.name;
    }
}

TEST_F(DashboardDisplayWindowListTest, ForeignAndMalformedPayloadsAreRefused)
{
    auto list = makeList(windows);
    const WindowRecord elsewhere = makeWindow("org.a", 6, 1);
    for (const QString& payload :
         {uuidText(elsewhere.id), QStringLiteral("not a window"), QString(), QStringLiteral("{") + uuidText(windows[0].id) + "}",
          QStringLiteral(" ") + uuidText(windows[0].id)}) {
        EXPECT_FALSE(drop(*list, payload, windows[1].id)) << payload.toStdString();
    }
    EXPECT_TRUE(calls.empty());
    // Only the first of several texts counts; lower case is still the standard form.
    EXPECT_TRUE(drop(*list, uuidText(windows[0].id).toLower() + "\n" + uuidText(windows[3].id), windows[1].id));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, ids({2, 1, 3, 4}));
}

TEST_F(DashboardDisplayWindowListTest, MoveActionsSwapWithTheNeighbourAndStopAtTheEnds)
{
    auto single = makeList({windows[0]});
    EXPECT_FALSE(moveEarlier(*single, windows[0].id));
    EXPECT_FALSE(moveLater(*single, windows[0].id));
    auto list = makeList(windows);
    EXPECT_FALSE(moveEarlier(*list, windows[0].id));
    EXPECT_FALSE(moveLater(*list, windows[3].id));
    list->moveWindow(windows[0].id, -1);
    list->moveWindow(windows[3].id, +1);
    EXPECT_TRUE(calls.empty());

    EXPECT_TRUE(moveLater(*list, windows[1].id));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, ids({1, 3, 2, 4}));
    EXPECT_EQ(shownOrder(*list), ids({1, 3, 2, 4}));

    // The same through assistive technology.
    QAccessibleInterface* accessibleList = QAccessible::queryAccessibleInterface(list.get());
    ASSERT_NE(accessibleList, nullptr);
    ASSERT_EQ(accessibleList->childCount(), 4);
    QAccessibleInterface* accessible = accessibleList->child(list->indexOfWindow(windows[2].id));
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::ListItem);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Alpha, W3");
    EXPECT_EQ(accessibleList->indexOfChild(accessible), 1);
    ASSERT_NE(accessible->actionInterface(), nullptr);
    const QStringList names = accessible->actionInterface()->actionNames();
    EXPECT_TRUE(names.contains("Move Earlier in Restore Order"));
    EXPECT_TRUE(names.contains("Move Later in Restore Order"));
    accessible->actionInterface()->doAction("Move Earlier in Restore Order");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].second, ids({3, 1, 2, 4}));
}

TEST_F(DashboardDisplayWindowListTest, AltArrowsMoveTheFocusedRow)
{
    auto list = makeList(windows);
    list->show();
    QApplication::setActiveWindow(list.get());
    list->setFocus();
    list->setCurrentRow(list->indexOfWindow(windows[2].id));
    ASSERT_TRUE(list->hasFocus());
    const auto keyAction = [&](const QKeySequence& keys) -> QAction* {
        for (QAction* action : list->actions()) {
            if (action->shortcut() == keys)
                return action;
        }
        return nullptr;
    };
    ASSERT_NE(keyAction(QKeySequence(Qt::ALT | Qt::Key_Up)), nullptr);
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Up))->trigger();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, ids({1, 3, 2, 4}));
    // The moved row stays current, so the keys can move it on.
    ASSERT_EQ(list->currentRow(), list->indexOfWindow(windows[2].id));
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Up))->trigger();
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Up))->trigger();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].second, ids({3, 1, 2, 4}));
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Down))->trigger();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].second, ids({1, 3, 2, 4}));
}

TEST_F(DashboardDisplayWindowListTest, ARefusedStoreKeepsTheShownOrder)
{
    accept = false;
    auto list = makeList(windows);
    EXPECT_FALSE(drop(*list, uuidText(windows[0].id), windows[2].id));
    EXPECT_TRUE(moveLater(*list, windows[1].id));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(shownOrder(*list), ids({1, 2, 3, 4}));
}

TEST_F(DashboardDisplayWindowListTest, ReloadKeepsTheStoredOrderAndFollowsNewHints)
{
    auto list = makeList(windows);
    ASSERT_TRUE(drop(*list, uuidText(windows[3].id), windows[0].id));
    EXPECT_EQ(shownOrder(*list), ids({4, 1, 2, 3}));

    // The store wrote the new hints; the reloaded layout shows the same order.
    std::vector<WindowRecord> reloaded;
    const std::vector<int> order {4, 1, 2, 3};
    for (std::size_t i = 0; i < order.size(); ++i)
        reloaded.push_back(windows[order[i] - 1].withZOrderHint(static_cast<std::int64_t>(i)));
    list->setWindows(reloaded);
    EXPECT_EQ(shownOrder(*list), ids({4, 1, 2, 3}));

    // A reload whose hints say otherwise wins over the local order.
    list->setWindows(windows);
    EXPECT_EQ(shownOrder(*list), ids({1, 2, 3, 4}));

    // A removed window: the list re-reads the stored order of what is left.
    list->setWindows({windows[2], windows[0]});
    EXPECT_EQ(shownOrder(*list), ids({1, 3}));
}

TEST_F(DashboardDisplayWindowListTest, AReloadInsideTheDropLeavesAConsistentList)
{
    auto list = makeList(windows);
    list->setCurrentRow(0);
    // The drop stores the order and the dashboard reloads the layout, all inside the drag.
    ASSERT_TRUE(drop(*list, uuidText(windows[0].id), windows[3].id));
    EXPECT_EQ(list->currentRow(), 3) << "the dragged window stays current where it landed";
    list->setWindows({windows[1], windows[2], windows[3]});
    EXPECT_EQ(list->rows().size(), 3u);
    EXPECT_EQ(list->currentRow(), -1) << "its window is gone";
    EXPECT_EQ(list->sizeHint().height(), list->rowRect(2).bottom() + 1);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(list.get());
    EXPECT_EQ(accessible->childCount(), 3);
}

TEST_F(DashboardDisplayWindowListTest, SharedIdsDoNotBreakTheList)
{
    WindowRecord twin = windows[1];
    twin.windowTitle = QStringLiteral("Twin");
    auto list = makeList({windows[0], windows[1], twin});
    EXPECT_EQ(list->rows().size(), 3u);
    moveLater(*list, windows[0].id);
    EXPECT_LE(calls.size(), 1u);
}

TEST_F(DashboardDisplayWindowListTest, NothingChangesWhileEditingIsOff)
{
    auto list = makeList(windows);
    list->setEditingEnabled(false);
    EXPECT_FALSE(drop(*list, uuidText(windows[0].id), windows[2].id));
    EXPECT_FALSE(moveLater(*list, windows[1].id));
    list->moveWindow(windows[1].id, 1);
    EXPECT_FALSE(list->moveWindow(windows[0].id, windows[2].id));
    EXPECT_FALSE(runMenuItem(*list, windows[0].id, "Remove Window from Layout"));
    click(*list, removeButtonOf(*list, windows[0].id));
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(removed.empty());

    list->setEditingEnabled(true);
    click(*list, removeButtonOf(*list, windows[0].id));
    EXPECT_EQ(removed, ids({1}));
    EXPECT_TRUE(runMenuItem(*list, windows[1].id, "Remove Window from Layout"));
    EXPECT_EQ(removed, ids({1, 2}));
    EXPECT_TRUE(drop(*list, uuidText(windows[0].id), windows[2].id));
    // Rows built after the change keep the current state.
    list->setEditingEnabled(false);
    list->setWindows({windows[3], windows[2]});
    EXPECT_FALSE(moveLater(*list, windows[3].id));
}

TEST_F(DashboardDisplayWindowListTest, KeysMenuTooltipAndDragFeedback)
{
    auto list = makeList(windows);
    list->resize(360, list->sizeHint().height());
    list->show();
    QApplication::setActiveWindow(list.get());

    // Tab shows where focus is; the mouse leaves no frame behind.
    QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
    list->setFocus(Qt::TabFocusReason);
    QApplication::sendEvent(list.get(), &tabIn);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(list->showsFocusFrame());
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &down);
    EXPECT_EQ(list->currentRow(), 1);
    click(*list, list->rowRect(2).center());
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_FALSE(list->showsFocusFrame());

    // The menu offers both moves with their keys, and remove; Delete asks to remove too.
    QMenu menu;
    list->fillContextMenu(menu, 0);
    QStringList items;
    for (QAction* action : menu.actions())
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->text() + (action->isEnabled() ? "" : " (off)") + " "
                                              + action->shortcut().toString());
    EXPECT_EQ(items, QStringList({"Move Earlier in Restore Order (off) Alt+Up", "Move Later in Restore Order Alt+Down",
                                  "-", "Remove Window from Layout "}));
    QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list.get(), &remove);
    EXPECT_EQ(removed, ids({3}));
    EXPECT_TRUE(DashboardDisplayWindowRow::toolTip().contains("Alt+Up / Alt+Down"));

    // A drag over the list shows where the row lands: after the target going down, before it
    // going up; nothing for itself or a foreign window.
    const auto landing = [&](const QString& text, int overRow) -> std::optional<int> {
        QMimeData data;
        data.setText(text);
        // The toolkit delivers moves only to the widget that took the drag's entry.
        QDragEnterEvent enter(list->rowRect(0).center(), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.get(), &enter);
        QDragMoveEvent move(list->rowRect(overRow).center(), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.get(), &move);
        return list->dropLandingIndex();
    };
    EXPECT_EQ(landing(uuidText(windows[0].id), 2), 3);
    EXPECT_EQ(landing(uuidText(windows[3].id), 1), 1);
    EXPECT_EQ(landing(uuidText(windows[1].id), 1), std::nullopt);
    EXPECT_EQ(landing(uuidText(makeWindow("org.a", 6, 1).id), 1), std::nullopt);
    EXPECT_EQ(landing(uuidText(windows[0].id), 2), 3);
    QDragLeaveEvent leave;
    QApplication::sendEvent(list.get(), &leave);
    EXPECT_EQ(list->dropLandingIndex(), std::nullopt);
}

TEST_F(DashboardDisplayWindowListTest, AReorderSpringsIntoPlaceUnlessTheDesktopAsksForNoAnimation)
{
    for (const bool animate : {true, false}) {
        // A desktop that asks for no animation, as the style tells it.
        std::optional<test::AnimationsOff> still;
        if (!animate)
            still.emplace();
        auto list = makeList(windows);
        list->resize(360, list->sizeHint().height());
        list->show();
        QVariantAnimation* animation = list->reorderAnimation();
        EXPECT_EQ(animation->duration(), 160);
        EXPECT_EQ(animation->easingCurve().type(), QEasingCurve::OutBack);
        list->moveWindow(windows[0].id, +1);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(animation->state() == QAbstractAnimation::Running, animate) << animate;
        calls.clear();
    }
}

TEST(DashboardDisplayWindowRowTest, StateLabelsAndTitles)
{
    struct Case {
        bool fullscreen, minimized, visible;
        QStringList labels;
    };
    const std::vector<Case> cases {
        {false, false, true, {}},
        {true, true, true, {"Fullscreen", "Minimized"}},
        {false, true, false, {"Minimized"}},
        {false, false, false, {"Hidden"}},
        {true, false, false, {"Fullscreen", "Hidden"}},
    };
    for (const Case& c : cases) {
        WindowRecord w = makeWindow("org.a", 1);
        w.isFullscreen = c.fullscreen;
        w.isMinimized = c.minimized;
        w.isVisible = c.visible;
        EXPECT_EQ(DashboardDisplayWindowRow::stateLabels(w), c.labels);
    }

    const DashboardAppIdentity identity {"org.example.Editor", "Editor", {}, Qt::red};
    WindowRecord w = makeWindow("org.example.Editor", 1);
    for (const auto& [title, shown] : std::vector<std::pair<std::optional<QString>, QString>> {
             {QStringLiteral(" Notes \n"), "Notes"}, {QStringLiteral("   "), "org.example.Editor"}, {std::nullopt, "org.example.Editor"}}) {
        w.windowTitle = title;
        EXPECT_EQ(DashboardDisplayWindowRow::displayTitle(w, identity), shown);
    }
}

TEST(DashboardDisplayWindowRowTest, PaintsItsTextsAndOffersTheRemoveButton)
{
    WindowRecord w = makeWindow("org.a", 1);
    w.windowTitle = QStringLiteral("<b>bold</b> & <a href='x'>link</a>");
    w.isMinimized = true;
    int removals = 0;
    DashboardAppIdentityResolver resolver([](const QString&) {
        return std::optional(DashboardAppIdentityResolver::ApplicationEntry {"<i>App</i>", "org.a.desktop", "solid"});
    });
    DashboardDisplayWindowList list(1, {w}, resolver, [&removals](const WindowRecord&) { ++removals; },
                                    [](std::uint32_t, const std::vector<QUuid>&) { return true; });
    list.resize(360, list.sizeHint().height());
    const DashboardDisplayWindowRow& row = list.rows()[0];
    EXPECT_EQ(row.accessibleName(), "<i>App</i>, <b>bold</b> & <a href='x'>link</a>");
    EXPECT_EQ(DashboardDisplayWindowRow::removeTitle(), "Remove Window from Layout");
    const QRect button = DashboardDisplayWindowRow::removeButtonRect(list.rowRect(0));
    EXPECT_EQ(button.size(), QSize(22, 22));
    click(list, button.center());
    EXPECT_EQ(removals, 1);

    const QImage image = list.grab().toImage();
    EXPECT_GE(button.right(), 355);
    // The colour bar in the application's accent, right of the 14-point handle.
    const int height = list.rowRect(0).height();
    EXPECT_GT(test::countPixels(image, QRect(24, height / 2 - 5, 8, 12), row.identity().accentColor, 10), 60);
    // Texts between the icon and the button.
    EXPECT_GT(test::countOtherPixels(image, QRect(66, 0, 360 - 66 - 30, height), image.pixelColor(66, 0), 60), 20);
}

TEST(DashboardDisplayWindowRowTest, ANameSharedByListsOfTwoWidthsFitsEach)
{
    // Rows share each name's elided layout: a narrow list painted after a wide one must not
    // draw the name elided for the wide one into its gap before the remove button.
    auto resolver = test::makeTableResolver({{"org.long", QStringLiteral("An Application Whose Name Goes On And On")}});
    WindowRecord w = makeWindow("org.long", 1);
    w.windowTitle = QStringLiteral("T");
    const auto paintAt = [&](int width) {
        DashboardDisplayWindowList list(1, {w}, resolver, {}, {});
        list.resize(width, list.sizeHint().height());
        return std::pair(list.grab().toImage(), list.rowRect(0));
    };
    for (const int width : {600, 180, 600, 240}) {
        const auto [image, row] = paintAt(width);
        const QRect button = DashboardDisplayWindowRow::removeButtonRect(row);
        const QRect gap(button.left() - 6, row.top(), 5, row.height() / 2);
        EXPECT_EQ(test::countOtherPixels(image, gap, image.pixelColor(gap.topLeft()), 60), 0) << width;
        // The name is there, not elided away.
        EXPECT_GT(test::countOtherPixels(image, QRect(66, row.top(), 40, row.height() / 2), image.pixelColor(gap.topLeft()), 60), 10)
            << width;
    }
}

} // namespace
} // namespace zen
