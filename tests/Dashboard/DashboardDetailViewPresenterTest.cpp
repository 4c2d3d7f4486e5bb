#include "Dashboard/DashboardDetailViewPresenter.h"

#include "Dashboard/DetailTestSupport.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace std::chrono_literals;
using test::DetailHarness;
using Face = DashboardDetailContentPreference;
using Issue = DashboardDetailIssue::Kind;

std::vector<Issue> issueKinds(const DashboardDetailViewPresenter& presenter)
{
    std::vector<Issue> kinds;
    for (const auto& issue : presenter.issues())
        kinds.push_back(issue.kind);
    return kinds;
}

TEST(DashboardDetailViewPresenterTest, FaceAndBannersFollowStorageAccessEducationSelectionAndStatus)
{
    struct Case {
        const char* name;
        bool storageFailed, trusted, educationRequested, selected, errorStatus;
        Face face;
        std::vector<Issue> issues;
    };
    const Case cases[] = {
        {"all well", false, true, false, true, false, Face::selectedLayout, {}},
        {"nothing selected", false, true, false, false, false, Face::emptyState, {}},
        {"access missing, not asked", false, false, false, true, false, Face::selectedLayout, {Issue::accessibilityRequired}},
        {"education wins over selection", false, false, true, true, false, Face::permissionEducation, {}},
        {"education on empty pane", false, false, true, false, true, Face::permissionEducation, {Issue::layoutActionFailed}},
        {"storage failed", true, true, false, false, false, Face::emptyState, {Issue::storageSetupFailed}},
        {"every banner, in order", true, false, false, false, true, Face::emptyState,
         {Issue::storageSetupFailed, Issue::accessibilityRequired, Issue::layoutActionFailed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetailHarness h(!c.storageFailed,
                        c.storageFailed ? std::optional<QString>("The folder is read-only.") : std::nullopt);
        h.trusted = c.trusted;
        h.coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
        if (c.educationRequested)
            h.router->requestAuthorization(PrivilegedActionKind::saveLayout, PrivilegedActionSource::dashboard);
        if (c.selected)
            h.select(h.first);
        if (c.errorStatus)
            h.controller->reportLayoutRequiresWindow();
        EXPECT_EQ(h.presenter->contentPreference(), c.face);
        EXPECT_EQ(issueKinds(*h.presenter), c.issues);
        EXPECT_EQ(h.presenter->isActionLocked(), c.storageFailed);
    }
}

TEST(DashboardDetailViewPresenterTest, BannerTextsAndTheirOneAction)
{
    DetailHarness h(false, QStringLiteral("Could not create <b>folder</b>."));
    h.trusted = false;
    h.coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
    h.controller->reportLayoutRequiresWindow();
    const auto issues = h.presenter->issues();
    ASSERT_EQ(issues.size(), 3u);
    EXPECT_EQ(issues[0], (DashboardDetailIssue{Issue::storageSetupFailed, "Storage Setup Failed",
                                               "Could not create <b>folder</b>.",
                                               "externaldrive.badge.exclamationmark", {}}));
    EXPECT_EQ(issues[1], (DashboardDetailIssue{Issue::accessibilityRequired, "Window Access Required",
                                               "Saving or restoring layouts needs an X11 session with an EWMH window manager.",
                                               "hand.raised.fill", "Open Access Help"}));
    EXPECT_EQ(issues[2].title, "Layout Action Failed");
    EXPECT_EQ(issues[2].actionTitle, "");
    h.presenter->openPermissionsFromBanner();
    EXPECT_EQ(h.settingsOpened, 1);

    // An informational status shows no banner, and the error one goes when the status clears.
    h.controller->setStatus(SnapshotMenuController::Status{"Saved.", SnapshotMenuController::Status::Kind::info});
    EXPECT_EQ(h.presenter->issues().size(), 2u);
    h.controller->reportLayoutRequiresWindow();
    h.scheduler->advance(5s);
    EXPECT_EQ(h.presenter->issues().size(), 2u);
}

TEST(DashboardDetailViewPresenterTest, RenameRequestsActOnceAndOnlyWhileALayoutShows)
{
    DetailHarness h;
    h.presenter->setInlineRenameRequestID(QUuid::createUuid());
    EXPECT_FALSE(h.presenter->editingSnapshotID()) << "no header listens on the empty pane";

    h.select(h.first);
    const QUuid request = QUuid::createUuid();
    h.presenter->setInlineRenameRequestID(request);
    EXPECT_EQ(h.presenter->editingSnapshotID(), h.first.id);
    EXPECT_EQ(h.presenter->draftSnapshotName(), "Work");
    h.presenter->cancelInlineRename();
    h.presenter->setInlineRenameRequestID(request);
    EXPECT_FALSE(h.presenter->editingSnapshotID()) << "the same request id again";

    const QUuid hotkeyRequest = QUuid::createUuid();
    h.presenter->setHotkeyEditRequestID(hotkeyRequest);
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id);
    h.presenter->cancelHotkeyEditing();
    h.presenter->setHotkeyEditRequestID(hotkeyRequest);
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
}

TEST(DashboardDetailViewPresenterTest, RenameCommitKeepsTheFieldOpenWhenRefusedAndEndsOnAnotherLayout)
{
    DetailHarness h;
    h.select(h.first);
    int focusRequests = 0;
    QObject::connect(h.presenter.get(), &DashboardDetailViewPresenter::titleFieldFocusRequested,
                     [&] { ++focusRequests; });
    h.presenter->beginInlineRename();
    EXPECT_EQ(focusRequests, 1);

    h.presenter->setDraftSnapshotName("   ");
    h.presenter->commitInlineRename();
    EXPECT_EQ(h.presenter->editingSnapshotID(), h.first.id);
    EXPECT_EQ(h.presenter->draftSnapshotName(), "   ");
    EXPECT_EQ(focusRequests, 2);
    ASSERT_FALSE(h.presenter->issues().empty());
    EXPECT_EQ(h.presenter->issues().back().message, "Layout names cannot be empty.");

    h.presenter->setDraftSnapshotName("Desk");
    h.presenter->commitInlineRename();
    EXPECT_FALSE(h.presenter->editingSnapshotID());
    EXPECT_EQ(h.store.loadSnapshot(h.first.id)->name, "Desk");

    h.presenter->beginInlineRename();
    h.select(h.second);
    EXPECT_FALSE(h.presenter->editingSnapshotID());
    EXPECT_EQ(h.presenter->draftSnapshotName(), "");
}

TEST(DashboardDetailViewPresenterTest, RenameMadeDuringAnUpdateWaitsForItSoTheUpdateCannotUndoIt)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginInlineRename();
    h.updateReadAtStart = *h.store.loadSnapshot(h.first.id);
    ASSERT_TRUE(h.controller->updateSnapshot(h.first.id));
    ASSERT_TRUE(h.controller->isOperating());
    h.presenter->setDraftSnapshotName("Desk");
    h.presenter->commitInlineRename();
    EXPECT_TRUE(h.renames.empty());
    EXPECT_TRUE(h.presenter->isRenameCommitPending());
    EXPECT_EQ(h.presenter->editingSnapshotID(), h.first.id);

    h.finishOperation();
    ASSERT_EQ(h.renames.size(), 1u);
    EXPECT_EQ(h.store.loadSnapshot(h.first.id)->name, "Desk");
    EXPECT_EQ(h.controller->status()->message, "Renamed \"Work\" to \"Desk\".");
    EXPECT_FALSE(h.presenter->editingSnapshotID());
}

TEST(DashboardDetailViewPresenterTest, NothingBeginsWhileLockedAndADoubleClickDuringAnOperationDoesNothing)
{
    {
        DetailHarness h(false, QStringLiteral("No folder."));
        h.select(h.first);
        h.presenter->beginInlineRename();
        h.presenter->beginHotkeyEditing(h.first.id);
        EXPECT_FALSE(h.presenter->editingSnapshotID());
        EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
        EXPECT_TRUE(h.captureActivity.empty());
    }
    DetailHarness h;
    h.select(h.first);
    h.holdOperation();
    EXPECT_TRUE(h.presenter->isActionLocked());
    h.presenter->beginInlineRename();
    h.presenter->beginHotkeyEditing(h.first.id);
    EXPECT_FALSE(h.presenter->editingSnapshotID());
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    EXPECT_TRUE(h.captureActivity.empty());
    h.finishOperation();
    EXPECT_FALSE(h.presenter->isActionLocked());
}

TEST(DashboardDetailViewPresenterTest, CaptureJudgesKeysAsThePromptDoes)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    EXPECT_EQ(h.captureActivity, std::vector<std::string>{"suspend"});

    h.presenter->handleCaptureKey(test::plainKPress);
    EXPECT_EQ(h.presenter->hotkeyCaptureError(), "Use a key with Super, Alt, or Ctrl.");
    // Another layout's shortcut reaches the field (shortcuts are suspended) and is refused by name.
    h.presenter->handleCaptureKey(test::commandShiftKPress);
    EXPECT_EQ(h.presenter->hotkeyCaptureError(), "\"Home\" already uses that hotkey.");
    EXPECT_FALSE(h.storedHotkey(h.first.id));
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id);
    h.presenter->setHotkeyCaptureError(std::nullopt);
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id) << "closing the popover keeps capturing";

    h.presenter->handleCaptureKey(test::commandOptionKPress);
    EXPECT_EQ(h.storedHotkey(h.first.id)->displayString, "Command-Option-K");
    EXPECT_EQ(h.controller->status()->message, "Assigned Super+Alt+K to \"Work\".");
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

TEST(DashboardDetailViewPresenterTest, ALayoutsOwnHotkeyIsAcceptedAndEscapeCancelsWithAnyModifier)
{
    DetailHarness h;
    h.select(h.second);
    h.presenter->beginHotkeyEditing(h.second.id);
    h.presenter->handleCaptureKey(test::commandShiftKPress);
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    EXPECT_TRUE(h.controller->status() && !h.controller->status()->isError());

    h.presenter->beginHotkeyEditing(h.second.id);
    h.presenter->handleCaptureKey(test::shiftEscapePress);
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    EXPECT_FALSE(h.presenter->hotkeyCaptureError());
    EXPECT_EQ(h.storedHotkey(h.second.id), test::commandShiftK);
}

TEST(DashboardDetailViewPresenterTest, EveryWayOutOfCaptureRegistersTheShortcutsAgain)
{
    struct Case {
        const char* name;
        std::function<void(DetailHarness&)> exit;
    };
    const Case cases[] = {
        {"accepted combination", [](DetailHarness& h) { h.presenter->handleCaptureKey(test::commandOptionKPress); }},
        {"escape", [](DetailHarness& h) { h.presenter->handleCaptureKey(test::shiftEscapePress); }},
        {"cancel button", [](DetailHarness& h) { h.presenter->cancelHotkeyEditing(); }},
        {"another layout selected", [](DetailHarness& h) { h.select(h.second); }},
        {"selection cleared", [](DetailHarness& h) { h.selectNothing(); }},
        {"pane hidden", [](DetailHarness& h) { h.presenter->disappeared(); }},
        {"layout deleted meanwhile", [](DetailHarness& h) { h.controller->deleteSnapshot(h.first.id); }},
        {"education shown", [](DetailHarness& h) { h.router->setShowsDashboardPermissionEducation(true); }},
        {"pane destroyed", [](DetailHarness& h) { h.presenter.reset(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetailHarness h;
        h.select(h.first);
        h.presenter->appeared();
        h.presenter->beginHotkeyEditing(h.first.id);
        h.presenter->handleCaptureKey(test::plainKPress);
        c.exit(h);
        EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
        if (h.presenter) {
            EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
            EXPECT_FALSE(h.presenter->hotkeyCaptureError());
        }
    }
}

TEST(DashboardDetailViewPresenterTest, AFailedResumeEndsCaptureAndSaysWhy)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    h.failResume = true;
    h.presenter->cancelHotkeyEditing();
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    ASSERT_TRUE(h.controller->status());
    EXPECT_TRUE(h.controller->status()->isError());
    EXPECT_EQ(issueKinds(*h.presenter), std::vector<Issue>{Issue::layoutActionFailed});
    // Nothing is left to resume: hiding the pane asks no second time.
    h.presenter->disappeared();
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

TEST(DashboardDetailViewPresenterTest, AFailedSuspendStartsNoCaptureAndLeavesTheShortcutsAsTheyWere)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->appeared();
    h.failSuspend = true;
    h.presenter->beginHotkeyEditing(h.first.id);
    EXPECT_FALSE(h.presenter->editingHotkeySnapshotID());
    ASSERT_TRUE(h.controller->status());
    EXPECT_TRUE(h.controller->status()->isError());
    EXPECT_EQ(issueKinds(*h.presenter), std::vector<Issue>{Issue::layoutActionFailed});
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
    h.presenter->disappeared();
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

// The shortcuts' suspensions nest (the tray's prompt may hold one too): a pane that starts
// capturing again must not take a second one that nothing would give back.
TEST(DashboardDetailViewPresenterTest, StartingCaptureAgainHoldsOneSuspension)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    h.presenter->beginHotkeyEditing(h.first.id);
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id);
    h.presenter->cancelHotkeyEditing();
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

// Another layout took the combination in its file after the list was read: the pane lets it
// through, the store refuses it, and the user picks another without starting over.
TEST(DashboardDetailViewPresenterTest, AStoreRefusalKeepsTheCaptureRunningWithTheStoresError)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    ASSERT_TRUE(h.store.setHotkey(h.second.id, HotkeyBinding{40, 0x900, "Command-Option-K"}, test::fixedDate(32)));
    h.presenter->handleCaptureKey(test::commandOptionKPress);
    EXPECT_FALSE(h.storedHotkey(h.first.id));
    ASSERT_TRUE(h.controller->status());
    EXPECT_EQ(h.controller->status()->message, "\"Home\" already uses that hotkey.");
    EXPECT_TRUE(h.controller->status()->isError());
    EXPECT_EQ(issueKinds(*h.presenter), std::vector<Issue>{Issue::layoutActionFailed});
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id);
    EXPECT_EQ(h.captureActivity, std::vector<std::string>{"suspend"});
}

TEST(DashboardDetailViewPresenterTest, ACombinationPressedDuringAnOperationIsStoredWhenItEnds)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    h.holdOperation();
    h.presenter->handleCaptureKey(test::commandOptionKPress);
    EXPECT_TRUE(h.presenter->isHotkeyCommitPending());
    EXPECT_FALSE(h.storedHotkey(h.first.id));
    EXPECT_EQ(h.captureActivity, std::vector<std::string>{"suspend"});

    h.finishOperation();
    EXPECT_EQ(h.storedHotkey(h.first.id)->displayString, "Command-Option-K");
    EXPECT_EQ(h.controller->status()->message, "Assigned Super+Alt+K to \"Work\".");
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));

    // Escape while one is held back drops it.
    h.presenter->beginHotkeyEditing(h.first.id);
    h.holdOperation();
    h.presenter->handleCaptureKey(test::commandShiftKPress);
    h.presenter->handleCaptureKey(test::keyPress(46, Qt::Key_L, Qt::MetaModifier));
    h.presenter->handleCaptureKey(test::shiftEscapePress);
    h.finishOperation();
    EXPECT_EQ(h.storedHotkey(h.first.id)->displayString, "Command-Option-K");
}

// The store refuses because the layout's file was removed by hand: the error is shown, the
// layout leaves the list, and with it the capture ends and the shortcuts are back.
TEST(DashboardDetailViewPresenterTest, ALayoutFoundGoneEndsTheCaptureWithTheStoresError)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->beginHotkeyEditing(h.first.id);
    ASSERT_TRUE(QFile::remove(h.store.fileURL(h.first.id)));
    h.presenter->handleCaptureKey(test::commandOptionKPress);
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), std::nullopt);
    ASSERT_TRUE(h.controller->status());
    EXPECT_TRUE(h.controller->status()->isError());
    for (const auto& summary : h.controller->snapshotSummaries())
        EXPECT_NE(summary.id, h.first.id);
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

TEST(DashboardDetailViewPresenterTest, UnavailableHotkeysAreTheOtherLayoutsInListOrder)
{
    DetailHarness h;
    const auto forFirst = h.presenter->unavailableHotkeys(h.first.id);
    ASSERT_EQ(forFirst.size(), 1u);
    EXPECT_EQ(forFirst[0].snapshotName, "Home");
    EXPECT_TRUE(h.presenter->unavailableHotkeys(h.second.id).empty());
}

TEST(DashboardDetailViewPresenterTest, TheLayoutCountsAsGivenAnewOnlyWhenItChanged)
{
    DetailHarness h;
    h.select(h.first);
    const auto revision = h.presenter->selectionRevision();
    h.select(h.first);
    EXPECT_EQ(h.presenter->selectionRevision(), revision);

    Snapshot reordered = h.first;
    reordered.windows.push_back(test::makeWindow("org.example.Mail", 1, 2));
    h.select(reordered);
    EXPECT_NE(h.presenter->selectionRevision(), revision);
    const auto grown = h.presenter->selectionRevision();
    std::swap(reordered.windows[0], reordered.windows[1]);
    h.select(reordered);
    EXPECT_NE(h.presenter->selectionRevision(), grown) << "same windows in another order";
}

TEST(DashboardDetailViewPresenterTest, HotkeyCardText)
{
    const std::pair<std::optional<HotkeyBinding>, QString> cases[] = {
        {std::nullopt, "None"},
        {HotkeyBinding{40, 0x300, "Command-Shift-K"}, "Super+Shift+K"},
        {HotkeyBinding{40, 0x1B00, "Command-Option-Control-Shift-K"}, "Super+Ctrl+Alt+Shift+K"},
        {HotkeyBinding{36, 0x100, "Command-Key 36"}, "Super+Return"},
        {HotkeyBinding{27, 0x1000, "Control--"}, "Ctrl+-"},
    };
    for (const auto& [binding, text] : cases)
        EXPECT_EQ(DashboardDetailViewPresenter::hotkeyCardText(binding), text);
}

struct EducationHarness : DetailHarness {
    EducationHarness()
    {
        trusted = false;
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
        select(first);
        presenter->appeared();
        router->requestAuthorization(PrivilegedActionKind::restoreLayout, PrivilegedActionSource::dashboard);
    }
    void grant(bool value)
    {
        trusted = value;
        coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::appDidBecomeActive);
    }
};

TEST(DashboardDetailViewPresenterTest, GrantedAccessShowsSuccessForAMomentThenTheLayout)
{
    EducationHarness h;
    EXPECT_EQ(h.presenter->contentPreference(), Face::permissionEducation);
    h.presenter->openAccessibilitySettingsFromEducation();
    EXPECT_EQ(h.settingsOpened, 1);
    EXPECT_TRUE(h.presenter->hasOpenedDashboardPermissionSettings());

    h.grant(true);
    EXPECT_TRUE(h.presenter->educationShowsSuccess());
    h.scheduler->advance(799ms);
    EXPECT_EQ(h.presenter->contentPreference(), Face::permissionEducation);
    h.scheduler->advance(1ms);
    EXPECT_EQ(h.presenter->contentPreference(), Face::selectedLayout);
    EXPECT_FALSE(h.presenter->hasOpenedDashboardPermissionSettings());
    EXPECT_FALSE(h.presenter->isPermissionSuccessWaitPending());
}

TEST(DashboardDetailViewPresenterTest, AccessLostAgainWithinTheWaitKeepsTheRequestFace)
{
    EducationHarness h;
    h.presenter->openAccessibilitySettingsFromEducation();
    h.grant(true);
    h.scheduler->advance(500ms);
    h.grant(false);
    EXPECT_FALSE(h.presenter->isPermissionSuccessWaitPending());
    EXPECT_FALSE(h.presenter->hasOpenedDashboardPermissionSettings());
    h.scheduler->advance(2s);
    EXPECT_EQ(h.presenter->contentPreference(), Face::permissionEducation);
    EXPECT_FALSE(h.presenter->educationShowsSuccess());
}

TEST(DashboardDetailViewPresenterTest, AccessGrantedWhileHiddenShowsSuccessOnAppearing)
{
    EducationHarness h;
    h.presenter->disappeared();
    h.grant(true);
    EXPECT_FALSE(h.presenter->isPermissionSuccessWaitPending()) << "a hidden pane does not listen";
    h.scheduler->advance(2s);
    EXPECT_EQ(h.presenter->contentPreference(), Face::permissionEducation);

    h.presenter->appeared();
    EXPECT_TRUE(h.presenter->educationShowsSuccess());
    EXPECT_TRUE(h.presenter->isPermissionSuccessWaitPending());
    h.scheduler->advance(800ms);
    EXPECT_EQ(h.presenter->contentPreference(), Face::selectedLayout);
}

TEST(DashboardDetailViewPresenterTest, CheckAgainDismissAndReturningClearTheWaitingNote)
{
    struct Case {
        const char* name;
        std::function<void(EducationHarness&)> act;
        Face face;
    };
    const Case cases[] = {
        {"check again, still missing", [](EducationHarness& h) { h.presenter->checkAgain(); }, Face::permissionEducation},
        {"dismiss", [](EducationHarness& h) { h.presenter->dismissDashboardPermissionEducation(); }, Face::selectedLayout},
        {"application active again", [](EducationHarness& h) { h.presenter->applicationDidBecomeActive(); },
         Face::permissionEducation},
        {"another selection", [](EducationHarness& h) { h.select(h.second); }, Face::permissionEducation},
        {"pane hidden", [](EducationHarness& h) { h.presenter->disappeared(); }, Face::permissionEducation},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EducationHarness h;
        h.presenter->openAccessibilitySettingsFromEducation();
        c.act(h);
        EXPECT_FALSE(h.presenter->hasOpenedDashboardPermissionSettings());
        EXPECT_EQ(h.presenter->contentPreference(), c.face);
    }
}

TEST(DashboardDetailViewPresenterTest, RunningApplicationsFollowRestoresAndThePollWhileShown)
{
    DetailHarness h;
    h.select(h.first);
    h.presenter->appeared();
    h.scheduler->finishWork();
    EXPECT_EQ(h.presenter->runningBundleIdentifiers(), QSet<QString>{"org.example.Editor"});

    h.running = {"org.example.Editor", "org.example.Mail"};
    h.holdOperation();
    h.finishOperation(); // a restore completion, whose read is queued behind it
    h.scheduler->finishWork();
    EXPECT_EQ(h.presenter->runningBundleIdentifiers().size(), 2u);

    h.running = {};
    h.scheduler->advance(2s);
    h.scheduler->finishWork();
    EXPECT_TRUE(h.presenter->runningBundleIdentifiers().empty());

    // A refresh asked for while a read is under way reads once more afterwards.
    h.running = {"org.example.Mail"};
    h.presenter->refreshRunningApplications();
    h.presenter->refreshRunningApplications();
    EXPECT_EQ(h.scheduler->jobs.size(), 1u);
    h.running = {"org.example.Mail", "org.example.Notes"};
    h.scheduler->finishWork();
    h.scheduler->finishWork();
    EXPECT_EQ(h.presenter->runningBundleIdentifiers().size(), 2u);

    h.presenter->disappeared();
    h.running = {};
    h.scheduler->advance(10s);
    h.scheduler->finishWork();
    EXPECT_EQ(h.presenter->runningBundleIdentifiers().size(), 2u) << "no polling while hidden";
}

} // namespace
} // namespace zen
