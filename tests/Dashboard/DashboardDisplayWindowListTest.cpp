#include "Dashboard/DashboardDisplayWindowList.h"
#include "Dashboard/DashboardDisplayWindowRow.h"
#include "Dashboard/DashboardRemoveWindowButton.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>

#include <gtest/gtest.h>

#include <memory>

namespace zen {
namespace {

using test::makeWindow;

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
        for (const DashboardDisplayWindowRow* row : list.rows())
            out.push_back(row->window().id);
        return out;
    }

    // Delivers a drop of `text` onto the row showing window `target` the way the toolkit does.
    static bool drop(DashboardDisplayWindowList& list, const QString& text, const QUuid& target)
    {
        for (DashboardDisplayWindowRow* row : list.rows()) {
            if (row->window().id != target)
                continue;
            QMimeData data;
            data.setText(text);
            const QPointF where(row->width() / 2.0, row->height() / 2.0);
            QDragEnterEvent enter(where.toPoint(), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(row, &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropEvent(where, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(row, &dropEvent);
            return dropEvent.isAccepted();
        }
        return false;
    }

    DashboardDisplayWindowRow* rowOf(const DashboardDisplayWindowList& list, const QUuid& id)
    {
        for (DashboardDisplayWindowRow* row : list.rows()) {
            if (row->window().id == id)
                return row;
        }
        return nullptr;
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
        const bool taken = drop(*list, uuidText(windows[c.dragged - 1].id), windows[c.target - 1].id);
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

TEST_F(DashboardDisplayWindowListTest, RowsCarryTheirIdAsDragPayload)
{
    auto list = makeList(windows);
    const std::unique_ptr<QMimeData> payload(list->rows()[2]->dragPayload());
    EXPECT_EQ(payload->text(), uuidText(windows[2].id));
}

TEST_F(DashboardDisplayWindowListTest, MoveActionsSwapWithTheNeighbourAndStopAtTheEnds)
{
    auto list = makeList(windows);
    rowOf(*list, windows[0].id)->moveEarlierAction()->trigger();
    rowOf(*list, windows[3].id)->moveLaterAction()->trigger();
    EXPECT_TRUE(calls.empty());

    rowOf(*list, windows[1].id)->moveLaterAction()->trigger();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].second, ids({1, 3, 2, 4}));
    EXPECT_EQ(shownOrder(*list), ids({1, 3, 2, 4}));

    // The same through assistive technology.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(rowOf(*list, windows[2].id));
    ASSERT_NE(accessible, nullptr);
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
    rowOf(*list, windows[2].id)->setFocus();
    ASSERT_TRUE(rowOf(*list, windows[2].id)->hasFocus());
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
    // The moved row keeps the focus, so the keys can move it on.
    ASSERT_TRUE(rowOf(*list, windows[2].id)->hasFocus());
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Up))->trigger();
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Up))->trigger();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].second, ids({3, 1, 2, 4}));
    keyAction(QKeySequence(Qt::ALT | Qt::Key_Down))->trigger();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].second, ids({1, 3, 2, 4}));
}

TEST_F(DashboardDisplayWindowListTest, ASingleRowCannotMove)
{
    auto list = makeList({windows[0]});
    ASSERT_EQ(list->rows().size(), 1u);
    list->rows()[0]->moveEarlierAction()->trigger();
    list->rows()[0]->moveLaterAction()->trigger();
    EXPECT_TRUE(calls.empty());
}

TEST_F(DashboardDisplayWindowListTest, ARefusedStoreKeepsTheShownOrder)
{
    accept = false;
    auto list = makeList(windows);
    EXPECT_FALSE(drop(*list, uuidText(windows[0].id), windows[2].id));
    rowOf(*list, windows[1].id)->moveLaterAction()->trigger();
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

TEST_F(DashboardDisplayWindowListTest, RowsReplacedDuringADragOutliveIt)
{
    auto list = makeList(windows);
    QPointer<DashboardDisplayWindowRow> dragged = list->rows()[0];
    {
        const DashboardDisplayWindowRow::DragScope drag;
        // The drop stores the order and the dashboard reloads the layout, all inside the drag.
        ASSERT_TRUE(drop(*list, uuidText(windows[0].id), windows[3].id));
        list->setWindows({windows[1], windows[2], windows[3]});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_FALSE(dragged.isNull());
        EXPECT_TRUE(dragged->isHidden());
        EXPECT_EQ(list->rows().size(), 3u);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dragged.isNull());
}

TEST_F(DashboardDisplayWindowListTest, SharedIdsDoNotBreakTheList)
{
    WindowRecord twin = windows[1];
    twin.windowTitle = QStringLiteral("Twin");
    auto list = makeList({windows[0], windows[1], twin});
    EXPECT_EQ(list->rows().size(), 3u);
    rowOf(*list, windows[0].id)->moveLaterAction()->trigger();
    EXPECT_LE(calls.size(), 1u);
}

TEST_F(DashboardDisplayWindowListTest, NothingChangesWhileEditingIsOff)
{
    auto list = makeList(windows);
    list->setEditingEnabled(false);
    EXPECT_FALSE(drop(*list, uuidText(windows[0].id), windows[2].id));
    rowOf(*list, windows[1].id)->moveLaterAction()->trigger();
    list->moveWindow(windows[1].id, 1);
    EXPECT_FALSE(list->moveWindow(windows[0].id, windows[2].id));
    DashboardRemoveWindowButton* remove = rowOf(*list, windows[0].id)->removeButton();
    EXPECT_FALSE(remove->isEnabled());
    remove->click();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(removed.empty());

    list->setEditingEnabled(true);
    EXPECT_TRUE(rowOf(*list, windows[0].id)->removeButton()->isEnabled());
    rowOf(*list, windows[0].id)->removeButton()->click();
    EXPECT_EQ(removed, ids({1}));
    EXPECT_TRUE(drop(*list, uuidText(windows[0].id), windows[2].id));
    // Rows built after the change keep the current state.
    list->setEditingEnabled(false);
    EXPECT_FALSE(list->rows()[0]->isEditingEnabled());
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
    DashboardDisplayWindowRow row(w, {"org.a", "<i>App</i>", {}, QColor(200, 40, 40)}, [&removals] { ++removals; }, {}, {},
                                  {});
    row.resize(360, row.sizeHint().height());
    EXPECT_EQ(row.accessibleName(), "<i>App</i>, <b>bold</b> & <a href='x'>link</a>");
    EXPECT_EQ(row.removeButton()->toolTip(), "Remove Window from Layout");
    EXPECT_EQ(row.removeButton()->accessibleName(), "Remove Window from Layout");
    row.removeButton()->click();
    EXPECT_EQ(removals, 1);

    const QImage image = row.grab().toImage();
    EXPECT_EQ(row.removeButton()->geometry().right(), 359);
    // The colour bar in the application's accent, right of the 14-point handle.
    EXPECT_GT(test::countPixels(image, QRect(22, row.height() / 2 - 6, 8, 12), QColor(200, 40, 40), 10), 60);
    // Texts between the icon and the button.
    EXPECT_GT(test::countOtherPixels(image, QRect(56, 0, 360 - 56 - 30, row.height()), image.pixelColor(56, 0), 60), 20);
}

} // namespace
} // namespace zen
