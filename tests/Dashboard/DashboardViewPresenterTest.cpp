#include "Dashboard/DashboardViewPresenter.h"

#include "Dashboard/DashboardWindowFixture.h"


#include <gtest/gtest.h>

namespace zen {
namespace {

using test::DashboardWindowFixture;
using test::makeWindow;

// Every value a signal delivered, in order.
template <typename Sender, typename Signal>
std::shared_ptr<std::vector<QUuid>> record(Sender* sender, Signal signal)
{
    auto seen = std::make_shared<std::vector<QUuid>>();
    QObject::connect(sender, signal, [seen](auto&&... args) {
        if constexpr (sizeof...(args) == 1)
            (seen->push_back(args), ...);
        else
            seen->push_back(QUuid());
    });
    return seen;
}

struct Presenter : DashboardWindowFixture {
    std::unique_ptr<DashboardViewPresenter> presenter;

    DashboardViewPresenter& make(std::optional<QString> bootstrapError = std::nullopt)
    {
        refresh();
        presenter = std::make_unique<DashboardViewPresenter>(
            bootstrapError, router, controller, [](const QString& id) {
                DashboardAppIdentity identity;
                identity.bundleIdentifier = id;
                identity.name = id.section('.', -1);
                return identity;
            });
        return *presenter;
    }
    std::optional<QUuid> selected() const { return presenter->selectedSnapshotID(); }
};

TEST(DashboardViewPresenterTest, FirstAppearanceSelectsAndLoadsTheFirstLayoutAndFocusesTheList)
{
    Presenter f;
    const auto newest = f.add("Newest", 0);
    f.add("Older", 10);
    auto& p = f.make();
    const auto focus = record(&p, &DashboardViewPresenter::focusLayoutListRequested);
    EXPECT_FALSE(f.selected());

    p.appear();
    EXPECT_EQ(f.selected(), newest.id);
    ASSERT_TRUE(p.selectedSnapshot());
    EXPECT_EQ(p.selectedSnapshot()->name, "Newest");
    EXPECT_EQ(focus->size(), 1u);
}

// The panes follow every announcement: one that named a layout before it was read would show
// "No Saved Layouts" for a moment and build that face for nothing.
TEST(DashboardViewPresenterTest, EachSelectionIsAnnouncedOnceTogetherWithItsLayout)
{
    Presenter f;
    const auto newest = f.add("Newest", 0);
    const auto older = f.add("Older", 10);
    auto& p = f.make();
    std::vector<bool> withLayout;
    QObject::connect(&p, &DashboardViewPresenter::changed, [&] {
        withLayout.push_back(p.selectedSnapshotID() && p.selectedSnapshot()
                             && p.selectedSnapshot()->id == *p.selectedSnapshotID());
    });
    p.appear();
    EXPECT_EQ(withLayout, std::vector<bool>{true});
    p.selectSnapshot(older.id);
    p.selectSnapshot(newest.id);
    EXPECT_EQ(withLayout, (std::vector<bool>{true, true, true}));
}

// Confirming a request for a layout that is gone would select nothing and end in a
// not-found error; a request for a layout still listed stays.
TEST(DashboardViewPresenterTest, ConfirmationsLeaveWithTheirLayoutAndAnEmptyListClearsEverything)
{
    Presenter f;
    const auto work = f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)});
    const auto home = f.add("Home", 5);
    auto& p = f.make();
    p.appear();
    p.requestUpdateOfSelectedSnapshot();
    p.requestWindowRemoval(p.selectedSnapshot()->windows.front());
    p.deleteSnapshot(*p.selectedSummary());
    ASSERT_TRUE(p.pendingUpdate() && p.pendingDeletion() && p.pendingWindowRemoval());
    const auto withdrawnUpdate = record(&p, &DashboardViewPresenter::pendingUpdateChanged);

    f.controller->deleteSnapshot(work.id); // removed elsewhere, e.g. another window
    EXPECT_FALSE(p.pendingUpdate());
    EXPECT_FALSE(p.pendingDeletion());
    EXPECT_FALSE(p.pendingWindowRemoval());
    EXPECT_EQ(withdrawnUpdate->size(), 1u);
    EXPECT_EQ(f.selected(), home.id);

    p.requestUpdateOfSelectedSnapshot();
    const auto other = f.add("Other", 1);
    f.refresh();
    ASSERT_TRUE(p.pendingUpdate());
    EXPECT_EQ(p.pendingUpdate()->id, home.id);

    f.controller->deleteSnapshot(other.id);
    f.controller->deleteSnapshot(home.id);
    EXPECT_FALSE(f.selected());
    EXPECT_FALSE(p.selectedSnapshot());
    EXPECT_FALSE(p.pendingUpdate());
    const auto menu = p.commandContext().availability;
    EXPECT_TRUE(menu.canCreateLayout);
    EXPECT_FALSE(menu.canRestoreLayout || menu.canUpdateLayout || menu.canRenameLayout || menu.canAssignHotkey
                 || menu.canClearHotkey || menu.canDeleteLayout);
}

TEST(DashboardViewPresenterTest, DeletingTheSelectionMovesItToTheFirstRemainingLayoutThenToNothing)
{
    Presenter f;
    const auto a = f.add("A", 0);
    const auto b = f.add("B", 5);
    const auto c = f.add("C", 9);
    auto& p = f.make();
    p.appear();
    p.selectSnapshot(b.id);

    p.deleteSnapshot(*p.selectedSummary());
    ASSERT_TRUE(p.pendingDeletion());
    EXPECT_EQ(p.deleteConfirmationMessage(), "Delete \"B\"? This cannot be undone.");
    p.confirmDeletion();
    EXPECT_FALSE(p.pendingDeletion());
    EXPECT_FALSE(QFile::exists(f.store.fileURL(b.id)));
    EXPECT_EQ(f.selected(), a.id);

    for (const auto& id : {a.id, c.id}) {
        p.selectSnapshot(id);
        p.requestDeletionOfSelectedSnapshot();
        p.confirmDeletion();
    }
    EXPECT_FALSE(f.selected());
    EXPECT_EQ(p.deleteConfirmationMessage(), "This cannot be undone.");
}

TEST(DashboardViewPresenterTest, ASavedLayoutIsSelectedAndRevealedWhateverWasSelectedBefore)
{
    Presenter f;
    f.add("A", 0);
    const auto b = f.add("B", 5);
    auto& p = f.make();
    p.appear();
    p.selectSnapshot(b.id);
    const auto reveal = record(&p, &DashboardViewPresenter::newLayoutRevealRequested);

    p.saveSnapshot();
    ASSERT_TRUE(f.selected());
    EXPECT_EQ(p.selectedSummary()->name, "Fresh");
    EXPECT_EQ(p.selectedSnapshot()->name, "Fresh");
    ASSERT_EQ(reveal->size(), 1u);
    EXPECT_EQ(reveal->front(), *f.selected());
}

TEST(DashboardViewPresenterTest, ARowActionOnAnotherLayoutSelectsItFirst)
{
    struct Case {
        const char* action;
        std::function<void(DashboardViewPresenter&, const SnapshotSummary&)> run;
    };
    const std::vector<Case> cases = {
        {"set hotkey", [](auto& p, const auto& s) { p.assignHotkey(s); }},
        {"clear hotkey", [](auto& p, const auto& s) { p.clearHotkey(s); }},
        {"delete", [](auto& p, const auto& s) { p.deleteSnapshot(s); }},
    };
    for (const auto& c : cases) {
        Presenter f;
        f.add("A", 0);
        const auto b = f.add("B", 5, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
        auto& p = f.make();
        p.appear();
        const auto hotkeyRequests = record(&p, &DashboardViewPresenter::hotkeyEditRequested);
        const SnapshotSummary row = f.controller->snapshotSummaries().at(1);

        c.run(p, row);
        EXPECT_EQ(f.selected(), b.id) << c.action;
        ASSERT_TRUE(p.selectedSnapshot()) << c.action;
        EXPECT_EQ(p.selectedSnapshot()->id, b.id) << c.action;
        EXPECT_EQ(int(hotkeyRequests->size()), c.action == std::string("set hotkey") ? 1 : 0) << c.action;
        EXPECT_EQ(p.pendingDeletion().has_value(), c.action == std::string("delete")) << c.action;
        EXPECT_EQ(f.store.loadSnapshot(b.id)->hotkey.has_value(), c.action != std::string("clear hotkey")) << c.action;
    }
}

TEST(DashboardViewPresenterTest, RenamingKeepsTheSelectionAndReloadsTheLayout)
{
    Presenter f;
    f.add("A", 0);
    const auto b = f.add("B", 5);
    auto& p = f.make();
    p.appear();
    p.selectSnapshot(b.id);

    EXPECT_FALSE(p.renameSnapshotInline(b.id, "   "));
    EXPECT_EQ(f.statusMessage(), "Layout names cannot be empty.");
    EXPECT_TRUE(p.renameSnapshotInline(b.id, " Evening "));
    EXPECT_EQ(f.selected(), b.id);
    EXPECT_EQ(p.selectedSnapshot()->name, "Evening");
}

TEST(DashboardViewPresenterTest, UpdateAndRestoreAskForAccessAndWithoutItShowTheEducationInstead)
{
    Presenter f;
    const auto a = f.add("A", 0);
    const auto b = f.add("B", 5);
    auto& p = f.make();
    p.appear();
    p.selectSnapshot(b.id);

    f.trusted = false;
    p.requestUpdateOfSelectedSnapshot();
    EXPECT_EQ(p.updateConfirmationMessage(), "Replace the saved windows in \"B\" with the current window state? "
                                             "The layout name and hotkey will be kept.");
    p.confirmUpdate();
    EXPECT_TRUE(f.updated.empty());
    EXPECT_FALSE(p.pendingUpdate());
    EXPECT_TRUE(f.router->showsDashboardPermissionEducation());
    p.restoreSelectedSnapshot();
    p.saveSnapshot();
    EXPECT_TRUE(f.restored.empty());
    EXPECT_EQ(f.controller->snapshotSummaries().size(), 2u);

    // Choosing another layout hides the education.
    p.selectSnapshot(a.id);
    EXPECT_FALSE(f.router->showsDashboardPermissionEducation());

    f.trusted = true;
    p.selectSnapshot(b.id);
    p.requestUpdateOfSelectedSnapshot();
    p.selectSnapshot(a.id);
    p.confirmUpdate(); // the pending layout is selected again and updated
    EXPECT_EQ(f.updated, std::vector<QUuid>{b.id});
    EXPECT_EQ(f.selected(), b.id);
    p.restoreSelectedSnapshot();
    EXPECT_EQ(f.restored, std::vector<QUuid>{b.id});
}

// A restore asked for while a save or another restore still runs (Return in the list on a
// slow machine) starts nothing and says why.
TEST(DashboardViewPresenterTest, ARestoreThatCannotStartWhileAnotherOperationRunsSaysWhy)
{
    Presenter f;
    f.add("A", 0);
    const auto b = f.add("B", 5);
    auto& p = f.make();
    p.appear();
    for (const bool duringSave : {true, false}) {
        SCOPED_TRACE(duringSave ? "during a save" : "during a restore");
        p.selectSnapshot(b.id);
        f.restored.clear();
        std::optional<SnapshotMenuController::Status> told;
        f.whileOperating = [&] {
            p.restoreSelectedSnapshot();
            told = f.controller->status();
        };
        duringSave ? p.saveSnapshot() : p.restoreSelectedSnapshot();
        EXPECT_EQ(f.restored, duringSave ? std::vector<QUuid>{} : std::vector<QUuid>{b.id});
        ASSERT_TRUE(told);
        EXPECT_TRUE(told->isError());
        EXPECT_EQ(told->message, "Cannot restore \"B\" while another layout operation is in progress.");
    }
}

TEST(DashboardViewPresenterTest, TheCommandContextFollowsSelectionHotkeyAndActionLock)
{
    struct Case {
        const char* state;
        bool withLayouts, withHotkey, storageFailed;
        bool create, onSelection, clear;
        const char* title;
    };
    const Case cases[] = {
        {"no layouts", false, false, false, true, false, false, "Set Hotkey"},
        {"layout without hotkey", true, false, false, true, true, false, "Set Hotkey"},
        {"layout with hotkey", true, true, false, true, true, true, "Change Hotkey"},
        {"storage failed", true, true, true, false, false, false, "Change Hotkey"},
    };
    for (const auto& c : cases) {
        Presenter f;
        if (c.withLayouts)
            f.add("A", 0, {makeWindow("org.example.Editor", 1, 1)},
                  c.withHotkey ? std::optional(test::commandK) : std::nullopt);
        auto& p = f.make(c.storageFailed ? std::optional<QString>("No folder.") : std::nullopt);
        p.appear();
        const auto a = p.commandContext().availability;
        EXPECT_EQ(a.canCreateLayout, c.create) << c.state;
        for (bool flag : {a.canRestoreLayout, a.canUpdateLayout, a.canRenameLayout, a.canAssignHotkey, a.canDeleteLayout})
            EXPECT_EQ(flag, c.onSelection) << c.state;
        EXPECT_EQ(a.canClearHotkey, c.clear) << c.state;
        EXPECT_EQ(a.hotkeyCommandTitle, c.title) << c.state;
    }
}

TEST(DashboardViewPresenterTest, ContextActionsActOnTheSelectionOfTheMomentAndRequestTheDetailPane)
{
    Presenter f;
    const auto a = f.add("A", 0, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
    auto& p = f.make();
    p.appear();
    const auto context = p.commandContext();
    const auto renames = record(&p, &DashboardViewPresenter::inlineRenameRequested);
    const auto hotkeys = record(&p, &DashboardViewPresenter::hotkeyEditRequested);

    context.renameLayout();
    context.assignHotkey();
    context.restoreLayout();
    EXPECT_EQ(int(renames->size()), 1);
    EXPECT_EQ(int(hotkeys->size()), 1);
    EXPECT_EQ(p.inlineRenameRequestID(), renames->front());
    EXPECT_EQ(f.restored, std::vector<QUuid>{a.id});
    context.clearHotkey();
    EXPECT_FALSE(f.store.loadSnapshot(a.id)->hotkey);

    // The layout is gone: the old context's actions find nothing selected.
    f.controller->deleteSnapshot(a.id);
    context.updateLayout();
    context.deleteLayout();
    context.restoreLayout();
    context.renameLayout();
    EXPECT_FALSE(p.pendingUpdate());
    EXPECT_FALSE(p.pendingDeletion());
    EXPECT_EQ(f.restored.size(), 1u);
    EXPECT_EQ(int(renames->size()), 1);
}

TEST(DashboardViewPresenterTest, WindowRemovalAsksWithTheLastWindowNoteOnlyForASavedDisplay)
{
    // The layout saved display 1 only; display 7 is not among its displays.
    struct Case {
        const char* window;
        std::optional<std::uint32_t> display;
        bool isLast;
    };
    const Case cases[] = {
        {"without display", std::nullopt, false},
        {"alone on a saved display", 1u, true},
        {"alone on a display the layout did not save", 7u, false},
        {"sharing its display", 2u, false},
    };
    for (const auto& c : cases) {
        Presenter f;
        auto window = makeWindow("org.example.Mail", c.display, 3);
        window.windowTitle = "Inbox";
        std::vector<WindowRecord> windows = {window, makeWindow("org.example.Editor", 2, 1),
                                             makeWindow("org.example.Editor", 2, 2)};
        auto layout = test::makeSnapshot("Work", windows);
        layout.sourceDisplayState.displays.push_back(test::makeDisplay(2, CGRect(1440, 0, 1280, 800)));
        ASSERT_TRUE(f.store.save(layout));
        auto& p = f.make();
        p.appear();

        p.requestWindowRemoval(c.display == 2u ? windows[1] : window);
        ASSERT_TRUE(p.pendingWindowRemoval()) << c.window;
        EXPECT_EQ(p.pendingWindowRemoval()->isLastWindowOnDisplay, c.isLast) << c.window;
        EXPECT_EQ(p.pendingWindowRemoval()->snapshotName, "Work") << c.window;
    }

    Presenter f;
    auto single = f.add("Single");
    auto& p = f.make();
    p.appear();
    p.requestWindowRemoval(single.windows.front());
    EXPECT_FALSE(p.pendingWindowRemoval());
    EXPECT_EQ(f.statusMessage(), "A layout must keep at least one saved window. Delete the layout instead.");
}

TEST(DashboardViewPresenterTest, ConfirmedWindowRemovalGoesThroughTheControllerAndReloads)
{
    Presenter f;
    auto mail = makeWindow("org.example.Mail", 1, 2);
    mail.windowTitle = "Inbox";
    const auto work = f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), mail});
    auto& p = f.make();
    p.appear();

    p.requestWindowRemoval(mail);
    p.confirmWindowRemoval();
    EXPECT_FALSE(p.pendingWindowRemoval());
    EXPECT_EQ(f.statusMessage(), "Removed \"Inbox\" from \"Work\".");
    EXPECT_EQ(p.selectedSnapshot()->windows.size(), 1u);
    EXPECT_EQ(f.store.loadSnapshot(work.id)->windows.size(), 1u);
}

} // namespace
} // namespace zen
