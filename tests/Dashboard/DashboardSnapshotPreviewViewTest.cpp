#include "Dashboard/DashboardSnapshotPreviewView.h"

#include "Dashboard/DashboardDisplayCanvas.h"
#include "Dashboard/DashboardDisplayPreviewCard.h"
#include "Dashboard/DashboardDisplayWindowRow.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardRemoveWindowButton.h"
#include "Dashboard/DashboardUnassignedWindowsView.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Shared/Uuid.h"
#include "Support/ManualScheduler.h"
#include "Support/SnapshotFixtures.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace zen {
namespace {

using test::makeDisplay;
using test::makeSnapshot;
using test::makeWindow;

WindowRecord placed(const QString& app, std::uint32_t display, std::int64_t hint, NormalizedRect frame,
                    const QString& title)
{
    WindowRecord w = makeWindow(app, display, hint);
    w.normalizedFrame = frame;
    w.windowTitle = title;
    return w;
}

// A layout over two displays, one of them unnamed, with a window on a display it did not save.
Snapshot sampleLayout()
{
    Snapshot s = makeSnapshot("Work", {});
    DisplayRecord laptop = makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    laptop.localizedName = QStringLiteral("Built-in Display");
    DisplayRecord external = makeDisplay(2, CGRect(1440, -180, 2560, 1440));
    external.localizedName.reset();
    DisplayRecord unused = makeDisplay(3, CGRect(-1920, 0, 1920, 1080));
    s.sourceDisplayState = DisplayState::make({laptop, external, unused}, 1);
    WindowRecord terminal = placed("org.example.Terminal", 1, 3, {0.05, 0.08, 0.5, 0.55}, "~/src/zentharion — make");
    WindowRecord mail = placed("org.example.Mail", 1, 1, {0.4, 0.3, 0.55, 0.6}, "Inbox (3)");
    mail.isMinimized = true;
    WindowRecord browser = placed("org.example.Browser", 2, 2, {0, 0, 1, 1}, "Release notes & <b>changes</b>");
    browser.isFullscreen = true;
    WindowRecord editor = placed("org.example.Editor", 2, 4, {0.1, 0.1, 0.35, 0.4}, "");
    WindowRecord stray = placed("org.example.Chat", 9, 5, {0.1, 0.1, 0.3, 0.3}, " Team\nchat ");
    s.windows = {terminal, mail, browser, editor, stray};
    return s;
}

class DashboardSnapshotPreviewViewTest : public ::testing::Test {
protected:
    DashboardSnapshotPreviewViewTest()
        : resolver(test::makeTableResolver({{"org.example.Terminal", "Terminal"}, {"org.example.Mail", "Mail"},
                                            {"org.example.Browser", "Browser"}, {"org.example.Editor", "Editor"}},
                                           QColor(90, 110, 140)))
    {
    }

    std::unique_ptr<DashboardSnapshotPreviewView> makeView(const Snapshot& snapshot, int width = 760)
    {
        auto view = std::make_unique<DashboardSnapshotPreviewView>(
            snapshot, resolver, [this](const WindowRecord& w) { removed.push_back(w.id); },
            [this](std::uint32_t display, const std::vector<QUuid>& ids) {
                reorders.push_back({display, ids});
                return true;
            });
        view->resize(width, view->sizeHint().height());
        view->resize(width, view->heightForWidth(width) > 0 ? view->heightForWidth(width) : view->sizeHint().height());
        view->grab(); // delivers the pending resize and lays the grid out
        return view;
    }

    DashboardAppIdentityResolver resolver;
    std::vector<QUuid> removed;
    std::vector<std::pair<std::uint32_t, std::vector<QUuid>>> reorders;
};

TEST_F(DashboardSnapshotPreviewViewTest, CardsPerSavedDisplayAndTheUnassignedBox)
{
    const Snapshot layout = sampleLayout();
    auto view = makeView(layout);
    EXPECT_TRUE(view->emptyMessage().isEmpty());
    ASSERT_EQ(view->cards().size(), 2u);
    const auto title = [](const DashboardDisplayPreviewCard* card) {
        return card->findChild<QLabel*>("displayTitle")->text();
    };
    EXPECT_EQ(title(view->cards()[0]), "Built-in Display");
    EXPECT_EQ(title(view->cards()[1]), "Display 2");
    EXPECT_NE(view->cards()[0]->findChild<QLabel*>("primaryBadge"), nullptr);
    EXPECT_EQ(view->cards()[1]->findChild<QLabel*>("primaryBadge"), nullptr);
    EXPECT_EQ(view->cards()[0]->findChild<QLabel*>("windowCount")->text(), "2 windows");
    // The list under the picture is in restore order.
    const auto& rows = view->cards()[0]->windowList()->rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].window().bundleIdentifier, "org.example.Mail");

    ASSERT_NE(view->unassignedWindowsView(), nullptr);
    ASSERT_EQ(view->unassignedWindowsView()->removeButtons().size(), 1u);
    // Trimmed, on one line, as plain text.
    const QLabel* strayTitle = view->unassignedWindowsView()->findChild<QLabel*>("windowTitle");
    EXPECT_EQ(strayTitle->text(), "Team chat");
    EXPECT_EQ(strayTitle->textFormat(), Qt::PlainText);
    view->unassignedWindowsView()->removeButtons()[0]->click();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], layout.windows[4].id);

    // Two columns of at least 280 fit in 760 less the padding; the cards are equally tall.
    EXPECT_EQ(view->columnCount(), 2);
    EXPECT_GT(view->displayCardHeight(), 174);
    for (const DashboardDisplayPreviewCard* card : view->cards())
        EXPECT_EQ(card->minimumHeight(), view->displayCardHeight());
}

TEST_F(DashboardSnapshotPreviewViewTest, EmptyStatesAndCounts)
{
    Snapshot noDisplays = sampleLayout();
    noDisplays.sourceDisplayState = DisplayState::make({}, std::nullopt);
    auto view = makeView(noDisplays);
    EXPECT_EQ(view->emptyMessage(), "No displays were saved in this layout.");
    EXPECT_TRUE(view->cards().empty());
    EXPECT_EQ(view->unassignedWindowsView()->removeButtons().size(), 5u);

    Snapshot elsewhere = makeSnapshot("Elsewhere", {makeWindow("org.example.Mail", 42)});
    view->setSnapshot(elsewhere);
    EXPECT_EQ(view->emptyMessage(), "No saved windows are assigned to saved displays.");
    ASSERT_NE(view->unassignedWindowsView(), nullptr);

    view->setSnapshot(makeSnapshot("One", {makeWindow("org.example.Mail", 1, 1)}));
    ASSERT_EQ(view->cards().size(), 1u);
    EXPECT_EQ(view->cards()[0]->findChild<QLabel*>("windowCount")->text(), "1 window");
    EXPECT_EQ(view->unassignedWindowsView(), nullptr);
}

TEST_F(DashboardSnapshotPreviewViewTest, CardsLineUpOnlyWithinARowAndShareTheWidth)
{
    Snapshot layout = sampleLayout();
    layout.windows.push_back(placed("org.example.Editor", 2, 6, {0.6, 0.6, 0.3, 0.3}, "Second"));
    layout.windows.push_back(placed("org.example.Editor", 2, 7, {0.7, 0.1, 0.2, 0.3}, "Third"));
    // Stacked, a short card keeps its own height instead of the tallest one's.
    auto view = makeView(layout, 400);
    ASSERT_EQ(view->columnCount(), 1);
    const auto& cards = view->cards();
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_LT(cards[0]->sizeHint().height(), cards[1]->sizeHint().height());
    EXPECT_EQ(cards[0]->minimumHeight(), cards[0]->sizeHint().height());
    EXPECT_EQ(view->displayCardHeight(), cards[1]->sizeHint().height());

    // Side by side they line up; a wide pane has no empty columns beside them.
    view->resize(1600, view->height());
    view->grab();
    EXPECT_EQ(view->columnCount(), 2);
    EXPECT_EQ(cards[0]->minimumHeight(), cards[1]->minimumHeight());
    EXPECT_GT(cards[0]->width() + cards[1]->width(), 1600 - 2 * 18 - 14 - 4);
}

// The preview wired to the layout-operations controller over a real store, the way the
// dashboard passes its reorder action down: each accepted edit is one stored reorder, and
// the reloaded layout shows what was stored.
TEST_F(DashboardSnapshotPreviewViewTest, ReordersGoThroughTheControllerOnce)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    SnapshotStore store(root.filePath("Snapshots"), [] { return test::fixedDate(3); });
    Snapshot layout = makeSnapshot("Work", {});
    for (int i = 0; i < 3; ++i) {
        WindowRecord w = placed("org.example.Mail", 1, i, {0.1 * i, 0.1, 0.2, 0.2}, QStringLiteral("W%1").arg(i + 1));
        layout.windows.push_back(w);
    }
    ASSERT_TRUE(store.save(layout).has_value());
    SnapshotMenuController::Options options;
    options.scheduler = std::make_shared<test::ManualScheduler>();
    options.appNameResolver = [](const QString& id) { return id; };
    SnapshotMenuController controller(store, std::nullopt, std::nullopt, options);
    ASSERT_FALSE(controller.refreshSummaries().has_value());

    int controllerCalls = 0;
    std::unique_ptr<DashboardSnapshotPreviewView> view;
    view = std::make_unique<DashboardSnapshotPreviewView>(
        layout, resolver, [](const WindowRecord&) {},
        [&](std::uint32_t display, const std::vector<QUuid>& ids) {
            ++controllerCalls;
            const bool stored = controller.reorderWindows(display, ids, layout.id);
            if (stored)
                view->setSnapshot(*controller.loadSnapshot(layout.id));
            return stored;
        });
    const auto shown = [&] {
        QStringList titles;
        for (const DashboardDisplayWindowRow& row : view->cards()[0]->windowList()->rows())
            titles << *row.window().windowTitle;
        return titles;
    };
    ASSERT_EQ(shown(), (QStringList {"W1", "W2", "W3"}));

    // Drag W1 onto W3.
    DashboardDisplayWindowList* target = view->cards()[0]->windowList();
    const QPoint onThird = target->rowRect(2).topLeft() + QPoint(5, 5);
    QMimeData data;
    data.setText(uuidText(layout.windows[0].id));
    QDragEnterEvent enter(onThird, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(onThird, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(controllerCalls, 1);
    EXPECT_EQ(shown(), (QStringList {"W2", "W3", "W1"}));
    EXPECT_EQ(controller.status()->message, "Updated restore order for \"Work\".");

    // Move W1 back up with the move action.
    QMenu menu;
    view->cards()[0]->windowList()->fillContextMenu(menu, 2);
    ASSERT_EQ(menu.actions()[0]->text(), DashboardDisplayWindowRow::moveEarlierTitle());
    menu.actions()[0]->trigger();
    EXPECT_EQ(controllerCalls, 2);
    EXPECT_EQ(shown(), (QStringList {"W2", "W1", "W3"}));
    EXPECT_EQ(shown(), [&] {
        QStringList stored;
        for (const WindowRecord& w : DashboardSnapshotPresentation::windowsForDisplayList(controller.loadSnapshot(layout.id)->windows))
            stored << *w.windowTitle;
        return stored;
    }());
}

TEST_F(DashboardSnapshotPreviewViewTest, ColumnsFollowTheWidth)
{
    for (const auto& [width, columns] : std::vector<std::pair<int, int>> {
             {0, 1}, {279, 1}, {280, 1}, {573, 1}, {574, 2}, {867, 2}, {868, 3}}) {
        EXPECT_EQ(DashboardSnapshotPreviewView::columnCount(width), columns) << width;
    }
}

TEST_F(DashboardSnapshotPreviewViewTest, AReloadOfTheSameLayoutKeepsItsCards)
{
    Snapshot layout = sampleLayout();
    auto view = makeView(layout);
    const DashboardDisplayPreviewCard* first = view->cards()[0];
    layout.windows[0].zOrderHint = 0; // the terminal moves to the front
    view->setSnapshot(layout);
    ASSERT_EQ(view->cards()[0], first);
    EXPECT_EQ(view->cards()[0]->windowList()->rows()[0].window().bundleIdentifier, "org.example.Terminal");

    Snapshot other = sampleLayout();
    view->setSnapshot(other);
    EXPECT_EQ(view->cards().size(), 2u);
}

TEST_F(DashboardSnapshotPreviewViewTest, EditingFollowsTheActionLock)
{
    auto view = makeView(sampleLayout());
    view->setEditingEnabled(false);
    for (const DashboardDisplayPreviewCard* card : view->cards()) {
        EXPECT_FALSE(card->windowList()->isEditingEnabled());
        EXPECT_FALSE(card->windowList()->acceptDrops());
    }
    EXPECT_FALSE(view->unassignedWindowsView()->removeButtons()[0]->isEnabled());
    // A reload while locked stays locked.
    view->setSnapshot(makeSnapshot("Other", {makeWindow("org.example.Mail", 1, 1), makeWindow("org.example.Mail", 7)}));
    EXPECT_FALSE(view->cards()[0]->windowList()->isEditingEnabled());
    EXPECT_FALSE(view->unassignedWindowsView()->removeButtons()[0]->isEnabled());
    view->setEditingEnabled(true);
    EXPECT_TRUE(view->cards()[0]->windowList()->isEditingEnabled());
}

TEST_F(DashboardSnapshotPreviewViewTest, RendersAPictureOfEachDisplay)
{
    auto view = makeView(sampleLayout());
    const QImage image = view->grab().toImage();
    ASSERT_FALSE(image.isNull());
    // The browser fills its display: its accent covers the middle of the second canvas.
    const DashboardDisplayCanvas* canvas = view->cards()[1]->canvas();
    const QPoint centre = canvas->mapTo(view.get(), canvas->rect().center());
    const QColor accent = resolver.identity("org.example.Browser").accentColor;
    EXPECT_GT(test::countPixels(image, QRect(centre - QPoint(10, -20), QSize(20, 10)),
                                QColor::fromRgbF(accent.redF() * 0.48 + 0.52 * view->palette().color(QPalette::Window).redF(),
                                                 accent.greenF() * 0.48 + 0.52 * view->palette().color(QPalette::Window).greenF(),
                                                 accent.blueF() * 0.48 + 0.52 * view->palette().color(QPalette::Window).blueF()),
                                6),
              100);
}

} // namespace
} // namespace zen

namespace zen {
namespace {

// Building the section for a layout at the capture cap of 4,096 windows does four times the
// work of 1,024 windows, not sixteen: counted in window comparisons and widgets, whatever the
// windows' arrangement.
TEST(DashboardSnapshotPreviewRebuildTest, WorkGrowsLinearlyWithTheWindows)
{
    enum class Arrangement { tiled, scattered, stacked };
    auto resolver = test::makeTableResolver({});
    const auto build = [&](Arrangement arrangement, int count) {
        Snapshot s = makeSnapshot("Many", {});
        s.sourceDisplayState = DisplayState::make({makeDisplay(1, CGRect(0, 0, 2560, 1440), true)}, 1);
        std::uint32_t seed = 11;
        const auto unit = [&] {
            seed = seed * 1664525u + 1013904223u;
            return double(seed >> 8) / double(1u << 24);
        };
        const int side = int(std::ceil(std::sqrt(double(count))));
        for (int i = 0; i < count; ++i) {
            NormalizedRect frame {0.1, 0.1, 0.5, 0.5};
            if (arrangement == Arrangement::tiled)
                frame = {double(i % side) / side, double(i / side) / side, 0.9 / side, 0.9 / side};
            else if (arrangement == Arrangement::scattered)
                frame = {unit() * 0.9, unit() * 0.9, 0.01 + unit() * 0.08, 0.01 + unit() * 0.08};
            s.windows.push_back(placed(QStringLiteral("org.example.App%1").arg(i % 7), 1, i, frame, "T"));
        }
        const std::uint64_t before = DashboardSnapshotPresentation::overlapTestCount();
        DashboardSnapshotPreviewView view(s, resolver, [](const WindowRecord&) {},
                                          [](std::uint32_t, const std::vector<QUuid>&) { return true; });
        view.setSnapshot(s);
        return std::pair(DashboardSnapshotPresentation::overlapTestCount() - before,
                         view.findChildren<QWidget*>().size());
    };
    for (const Arrangement arrangement : {Arrangement::tiled, Arrangement::scattered, Arrangement::stacked}) {
        const auto [smallWork, smallWidgets] = build(arrangement, 1024);
        const auto [largeWork, largeWidgets] = build(arrangement, 4096);
        EXPECT_LE(largeWork, 5 * smallWork + 4096) << int(arrangement);
        EXPECT_EQ(largeWidgets, smallWidgets) << int(arrangement);
    }
}

} // namespace
} // namespace zen
