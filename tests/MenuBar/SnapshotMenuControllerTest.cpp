#include "Displays/DisplayResolver.h"
#include "MenuBar/MenuText.h"
#include "MenuBar/SnapshotMenuController.h"

#include "Support/ManualScheduler.h"
#include "Support/SnapshotFixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <map>

namespace zen {
namespace {

using namespace std::chrono_literals;
using test::fixedDate;
using test::makeSnapshot;
using test::makeWindow;
using Status = SnapshotMenuController::Status;
using Kind = Status::Kind;
using test::ManualScheduler;

class RecordingPresenter final : public OperationOverlayPresenting {
public:
    void showOverlay(OperationOverlayKind kind, std::function<void()> onShown) override
    {
        calls.push_back(kind == OperationOverlayKind::save ? "show save" : "show restore");
        pendingShown.push_back(std::move(onShown));
    }
    void showRestoreCompletion(const QString& summary, const std::optional<QString>& detail) override
    {
        calls.push_back("completion");
        completion = {summary, detail};
    }
    void hideOverlay() override { calls.push_back("hide"); }
    void shown()
    {
        for (auto& fn : std::exchange(pendingShown, {}))
            fn();
    }
    std::vector<std::string> calls;
    std::vector<std::function<void()>> pendingShown;
    std::pair<QString, std::optional<QString>> completion;
};

using CaptureResult = std::expected<Snapshot, SnapshotCaptureFailure>;

struct Fixture {
    QTemporaryDir root;
    QString directory = root.filePath("Snapshots");
    SnapshotStore store{directory, [] { return fixedDate(30); }};
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
    std::optional<QString> nameAnswer = QStringLiteral("Work");
    int namePrompts = 0;
    std::function<void()> duringNamePrompt;
    SnapshotMenuController::Options options;
    std::function<CaptureResult(const QString&)> capture;
    std::function<CaptureResult(const QUuid&)> update;
    std::function<std::expected<RestoreResult, RestoreEngineFailure>(const QUuid&)> restore;
    std::unique_ptr<SnapshotMenuController> controller;

    SnapshotMenuController& make(bool withStorage = true)
    {
        options.snapshotNamePrompt = [this](const QString&) {
            ++namePrompts;
            if (duringNamePrompt)
                duringNamePrompt();
            return nameAnswer;
        };
        options.captureContextProvider = [] { return SnapshotCaptureService::CaptureContext{}; };
        options.appNameResolver = [](const QString& id) { return id == "org.example.Blank" ? QString("  ") : id.section('.', -1); };
        options.appHasDesktopEntry = [](const QString& id) { return id != "org.example.Term"; };
        options.operationOverlayPresenter = presenter;
        options.scheduler = scheduler;
        options.clock = [] { return fixedDate(31); };
        if (withStorage) {
            options.captureOperation = [this](const QString& name, const QDateTime&, const auto&) { return capture(name); };
            options.updateOperation = [this](const QUuid& id, const QDateTime&, const auto&) { return update(id); };
            options.restoreOperation = [this](const QUuid& id) { return restore(id); };
        }
        controller = std::make_unique<SnapshotMenuController>(withStorage ? std::optional(store) : std::nullopt,
                                                              std::nullopt, std::nullopt, options);
        scheduler->finishWork(); // the first listing runs on a worker
        return *controller;
    }

    static std::vector<WindowRecord> windows(int count)
    {
        std::vector<WindowRecord> records;
        for (int i = 0; i < count; ++i)
            records.push_back(makeWindow("org.example.Editor", 1, i));
        return records;
    }
    CaptureResult saved(const Snapshot& snapshot)
    {
        if (auto written = store.save(snapshot); !written)
            return std::unexpected(written.error());
        return snapshot;
    }
    // Writes a new layout of `count` windows, like the capture service.
    void captureWrites(int count)
    {
        capture = [this, count](const QString& name) { return saved(makeSnapshot(name, windows(count))); };
    }
    // Like the capture service's update: new windows, but the name and hotkey the store holds
    // just before the save, and a deleted layout stays deleted.
    void updateWrites(int count)
    {
        update = [this, count](const QUuid& id) -> CaptureResult {
            auto current = store.loadSnapshot(id);
            if (!current)
                return std::unexpected(current.error());
            current->windows = windows(count);
            return saved(*current);
        };
    }
    Snapshot stored(const QString& name, std::vector<WindowRecord> windows = Fixture::windows(1))
    {
        auto snapshot = makeSnapshot(name, std::move(windows));
        EXPECT_TRUE(store.save(snapshot).has_value());
        return snapshot;
    }
    void runOperation()
    {
        presenter->shown();
        scheduler->finishWork();
    }

    std::optional<Status> status() const { return controller->status(); }
    static std::optional<Status> info(const QString& message) { return Status{message, Kind::info}; }
    static std::optional<Status> error(const QString& message) { return Status{message, Kind::error}; }
};

struct RegistrationError {
    QString localizedDescription() const { return QStringLiteral("Hotkey registration failed."); }
    QString ownDescription() const { return QStringLiteral("RegistrationError"); }
};

const HotkeyBinding commandOne{0x12, 0x100, QStringLiteral("Command-1")};

// MARK: Save and update

TEST(SnapshotMenuControllerTest, SaveAndUpdateReportTheWindowCountWithItsPluralForm)
{
    struct Case { int windows; bool isUpdate; QString expected; };
    for (const auto& c : {Case{1, false, "Saved \"Work\" with 1 window."}, Case{3, false, "Saved \"Work\" with 3 windows."},
                          Case{1, true, "Updated \"Work\" with 1 window."}, Case{2, true, "Updated \"Work\" with 2 windows."}}) {
        SCOPED_TRACE(c.expected.toStdString());
        Fixture f;
        f.captureWrites(c.windows);
        f.updateWrites(c.windows);
        const auto existing = c.isUpdate ? std::optional(f.stored("Work").id) : std::nullopt;
        auto& controller = f.make();

        ASSERT_TRUE(c.isUpdate ? controller.updateSnapshot(*existing) : controller.captureCurrentSnapshot());
        EXPECT_TRUE(controller.isOperating());
        EXPECT_EQ(f.status(), f.info("Saving..."));
        EXPECT_TRUE(f.scheduler->jobs.empty()) << "work must wait for the overlay";
        f.runOperation();

        EXPECT_EQ(f.status(), f.info(c.expected));
        EXPECT_FALSE(controller.isOperating());
        EXPECT_EQ(f.presenter->calls, (std::vector<std::string>{"show save", "hide"}));
        ASSERT_EQ(controller.snapshotSummaries().size(), 1u);
        EXPECT_EQ(controller.lastCapturedSnapshotID(),
                  c.isUpdate ? std::nullopt : std::optional(controller.snapshotSummaries()[0].id));
    }
}

TEST(SnapshotMenuControllerTest, FailedOperationsShowTheirErrorHideTheOverlayAndLeaveTheList)
{
    const SnapshotCaptureServiceError noWindows(SnapshotCaptureServiceError::noWindowsAvailable);
    for (const bool restore : {false, true}) {
        Fixture f;
        f.capture = [&](const QString&) { return std::unexpected(SnapshotCaptureFailure(noWindows)); };
        f.restore = [](const QUuid&) { return std::unexpected(RestoreEngineFailure(RestoreEngineError())); };
        auto& controller = f.make();
        int listChanges = 0;
        QObject::connect(&controller, &SnapshotMenuController::snapshotSummariesChanged, [&] { ++listChanges; });
        f.stored("Elsewhere"); // written behind the controller's back: no refresh may pick it up

        restore ? controller.restoreSnapshot(QUuid::createUuid()) : controller.captureCurrentSnapshot();
        f.runOperation();

        EXPECT_EQ(f.status(), f.error(restore ? QString("Window access is required to restore layouts.")
                                              : userFacingDescription(noWindows)));
        EXPECT_FALSE(controller.isOperating());
        EXPECT_EQ(f.presenter->calls.back(), "hide");
        EXPECT_EQ(listChanges, 0);
        EXPECT_FALSE(controller.restoreCompletionID());
    }
}

// A layout file removed by hand: the restore or edit that finds it gone says so with the
// store's message, and its row leaves the list at once instead of at the next change.
TEST(SnapshotMenuControllerTest, ALayoutFoundGoneLeavesTheListAndKeepsTheMessage)
{
    struct Case {
        const char* what;
        std::function<void(SnapshotMenuController&, const QUuid&)> act;
    };
    for (const Case& c : {Case{"restore", [](SnapshotMenuController& controller, const QUuid& id) {
                                   ASSERT_TRUE(controller.restoreSnapshot(id));
                               }},
                          Case{"update", [](SnapshotMenuController& controller, const QUuid& id) {
                                   ASSERT_TRUE(controller.updateSnapshot(id));
                               }},
                          Case{"rename", [](SnapshotMenuController& controller, const QUuid& id) {
                                   EXPECT_FALSE(controller.renameSnapshotInline(id, "Other"));
                               }},
                          Case{"clear hotkey", [](SnapshotMenuController& controller, const QUuid& id) {
                                   controller.clearHotkey(id);
                               }}}) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.updateWrites(1);
        f.restore = [&](const QUuid& id) -> std::expected<RestoreResult, RestoreEngineFailure> {
            auto loaded = f.store.loadSnapshot(id);
            if (!loaded)
                return std::unexpected(RestoreEngineFailure(loaded.error()));
            return RestoreResult{};
        };
        const auto gone = f.stored("Gone");
        const auto kept = f.stored("Kept");
        auto& controller = f.make();
        ASSERT_EQ(controller.snapshotSummaries().size(), 2u);
        ASSERT_TRUE(QFile::remove(f.store.fileURL(gone.id)));

        c.act(controller, gone.id);
        f.runOperation();

        EXPECT_EQ(f.status(), f.error(userFacingDescription(SnapshotStoreError::notFound(gone.id))));
        ASSERT_EQ(controller.snapshotSummaries().size(), 1u);
        EXPECT_EQ(controller.snapshotSummaries()[0].id, kept.id);
        EXPECT_FALSE(controller.isOperating());
    }
}

TEST(SnapshotMenuControllerTest, ListingFailureAfterASaveReplacesTheSuccessText)
{
    Fixture f;
    f.captureWrites(1);
    const auto capture = f.capture;
    f.capture = [&](const QString& name) {
        auto result = capture(name);
        QDir(f.directory).removeRecursively();
        QFile file(f.directory); // the folder turns into a file: listing must fail
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return result;
    };
    auto& controller = f.make();
    controller.captureCurrentSnapshot();
    f.runOperation();

    const auto listError = f.store.listSummaries();
    ASSERT_FALSE(listError);
    EXPECT_EQ(f.status(), f.error(userFacingDescription(listError.error())));
    EXPECT_TRUE(controller.snapshotSummaries().empty());
    EXPECT_FALSE(controller.isOperating());
}

// MARK: The one-at-a-time gate

TEST(SnapshotMenuControllerTest, RequestsWhileAnOperationRunsDoNothingAndSayNothing)
{
    Fixture f;
    f.captureWrites(1);
    auto& controller = f.make();
    const auto work = f.stored("Work");
    controller.refreshSummaries();
    ASSERT_TRUE(controller.captureCurrentSnapshot());
    controller.setStatus(f.info("Marker"));

    EXPECT_FALSE(controller.captureCurrentSnapshot());
    EXPECT_FALSE(controller.updateSnapshot(work.id));
    EXPECT_FALSE(controller.restoreSnapshot(work.id));
    EXPECT_EQ(f.namePrompts, 1);
    EXPECT_EQ(f.status(), f.info("Marker"));
    EXPECT_EQ(f.presenter->calls.size(), 1u);
}

// While the dialog is open the controller is busy: a shortcut restore then would rearrange
// the windows about to be saved and cover the dialog. A cancelled dialog leaves it idle.
TEST(SnapshotMenuControllerTest, AnOpenNameDialogRefusesRestoresAndACancelledOneStartsNothing)
{
    Fixture f;
    auto& controller = f.make();
    int restoresAttempted = 0;
    f.restore = [&](const QUuid&) -> std::expected<RestoreResult, RestoreEngineFailure> {
        ++restoresAttempted;
        return RestoreResult{};
    };
    std::vector<bool> busyWhileAsking;
    f.duringNamePrompt = [&] {
        busyWhileAsking.push_back(controller.isOperating());
        EXPECT_FALSE(controller.restoreSnapshot(QUuid::createUuid()));
    };

    f.nameAnswer = std::nullopt;
    EXPECT_FALSE(controller.captureCurrentSnapshot());
    EXPECT_FALSE(controller.isOperating());
    EXPECT_FALSE(f.status());

    f.nameAnswer = "Work";
    f.captureWrites(2);
    EXPECT_TRUE(controller.captureCurrentSnapshot());
    EXPECT_EQ(f.status(), f.info("Saving..."));
    f.runOperation();
    EXPECT_EQ(f.status(), f.info("Saved \"Work\" with 2 windows."));
    EXPECT_FALSE(controller.isOperating());
    EXPECT_EQ(busyWhileAsking, (std::vector<bool>{true, true}));
    EXPECT_EQ(restoresAttempted, 0);
    EXPECT_EQ(f.presenter->calls, (std::vector<std::string>{"show save", "hide"}));
}

// MARK: Restore

TEST(SnapshotMenuControllerTest, RestoreMessagesCountWindowsSkipsAndFallbacks)
{
    struct Case { std::int64_t restored; int skipped, fallbacks, downgraded; QString expected; };
    for (const auto& c : {Case{0, 0, 0, 0, "Restored \"Work\": 0 windows restored."},
                          Case{1, 0, 0, 3, "Restored \"Work\": 1 window restored."},
                          Case{4, 2, 1, 0, "Restored \"Work\": 4 windows restored, 2 skipped, 1 moved to the main display."},
                          Case{2, 0, 2, 0, "Restored \"Work\": 2 windows restored, 2 moved to the main display."}}) {
        RestoreResult result;
        result.restoredWindows = c.restored;
        result.skippedItems.resize(size_t(c.skipped));
        result.displayFallbacks.resize(size_t(c.fallbacks), DisplayFallbackEvent{QUuid(), 1, 2, DisplayFallbackReason::primaryDisplay});
        result.downgradedItems.resize(size_t(c.downgraded));
        EXPECT_EQ(SnapshotMenuController::restoreStatusMessage("Work", result), c.expected);
    }

    // Each kind of fallback in its own words, in a fixed order.
    RestoreResult mixed;
    mixed.restoredWindows = 5;
    for (const QString& reason : {DisplayFallbackReason::semanticMatch, DisplayFallbackReason::primaryDisplay,
                                  DisplayFallbackReason::hardwareMatch, DisplayFallbackReason::noDisplaysAvailable})
        mixed.displayFallbacks.push_back({QUuid::createUuid(), 1, std::nullopt, reason});
    EXPECT_EQ(SnapshotMenuController::restoreStatusMessage("Work", mixed),
              "Restored \"Work\": 5 windows restored, 1 moved to the main display, 2 on their own display, known again by "
              "model or place, 1 left in place with no display found.");

    // Markers in a name are the user's text, never places for the counts.
    RestoreResult result;
    result.restoredWindows = 3;
    result.skippedItems.resize(1);
    EXPECT_EQ(SnapshotMenuController::restoreStatusMessage("A %1 %2 %3 %L2", result),
              "Restored \"A %1 %2 %3 %L2\": 3 windows restored, 1 skipped.");
}

TEST(SnapshotMenuControllerTest, SuccessfulRestoreShowsCompletionWithFiveDetailLinesAndTheRest)
{
    Fixture f;
    RestoreResult result;
    result.restoredWindows = 1;
    result.skippedItems = {{QUuid::createUuid(), "org.example.Mail", QString("  Inbox \n"), "app not running"},
                           {QUuid::createUuid(), "org.example.Blank", std::nullopt, "window not found"},
                           {QUuid::createUuid(), "org.example.Term", QString("   "), "app not running"}};
    for (int i = 0; i < 4; ++i)
        result.skippedItems.push_back({QUuid::createUuid(), "org.example.Extra", std::nullopt, "restore failed"});
    f.restore = [&](const QUuid&) { return result; };
    auto& controller = f.make();
    const auto work = f.stored("Work");
    controller.refreshSummaries();

    std::vector<QString> published;
    QObject::connect(&controller, &SnapshotMenuController::statusChanged,
                     [&](const auto& status) { published.push_back(status ? status->message : "-"); });
    QObject::connect(&controller, &SnapshotMenuController::isOperatingChanged,
                     [&](bool operating) { published.push_back(operating ? "operating" : "idle"); });
    QObject::connect(&controller, &SnapshotMenuController::restoreCompletionIDChanged,
                     [&] { published.push_back("completed"); });
    ASSERT_TRUE(controller.restoreSnapshot(work.id));
    EXPECT_EQ(f.status(), f.info("Restoring..."));
    f.runOperation();

    const QString summary = "Restored \"Work\": 1 window restored, 7 skipped.";
    EXPECT_EQ(f.status(), f.info(summary));
    EXPECT_EQ(f.presenter->calls, (std::vector<std::string>{"show restore", "completion"}));
    EXPECT_EQ(f.presenter->completion.first, summary);
    // Each line says why; a program with no desktop entry to start it from was never tried.
    EXPECT_EQ(f.presenter->completion.second,
              "Mail (Inbox): app not running\norg.example.Blank: window not found\n"
              "Term: not running, and no desktop entry to open it from\nExtra: restore failed\nExtra: restore failed\n"
              "and 2 more skipped");
    EXPECT_TRUE(controller.restoreCompletionID());
    EXPECT_FALSE(controller.isOperating());
    EXPECT_EQ(published, (std::vector<QString>{"operating", "Restoring...", summary, "completed", "idle"}));

    // An unknown id is named "Layout"; nothing skipped means no detail.
    const auto firstCompletion = controller.restoreCompletionID();
    result.skippedItems.clear();
    controller.restoreSnapshot(QUuid::createUuid());
    f.runOperation();
    EXPECT_EQ(f.status(), f.info("Restored \"Layout\": 1 window restored."));
    EXPECT_EQ(f.presenter->completion.second, std::nullopt);
    EXPECT_NE(controller.restoreCompletionID(), firstCompletion);

    // Exactly as many skips as detail lines: all listed, no "more" line.
    for (int i = 0; i < 5; ++i)
        result.skippedItems.push_back({QUuid::createUuid(), "org.example.Extra", std::nullopt, "restore failed"});
    controller.restoreSnapshot(work.id);
    f.runOperation();
    EXPECT_EQ(f.presenter->completion.second, QStringList(5, "Extra: restore failed").join('\n'));
}

TEST(SnapshotMenuControllerTest, ReleasedControllerGetsNoLateResultsOrClears)
{
    Fixture f;
    f.restore = [](const QUuid&) { return RestoreResult{}; };
    auto& controller = f.make();
    controller.restoreSnapshot(QUuid::createUuid());
    f.presenter->shown();
    f.controller.reset();
    f.scheduler->finishWork();
    f.scheduler->advance(10s);
    EXPECT_EQ(f.presenter->calls, (std::vector<std::string>{"show restore"}));
}

// MARK: Status clearing

TEST(SnapshotMenuControllerTest, StatusClearsFiveSecondsAfterItsLastWriteOnly)
{
    Fixture f;
    auto& controller = f.make();
    controller.setStatus(f.info("First"));
    f.scheduler->advance(3s);
    controller.setStatus(f.error("Second"));
    f.scheduler->advance(2s); // the first message's clear would have fired here
    EXPECT_EQ(f.status(), f.error("Second"));
    f.scheduler->advance(3s - 1ns);
    EXPECT_TRUE(f.status());
    f.scheduler->advance(1ns);
    EXPECT_FALSE(f.status());
    EXPECT_TRUE(std::ranges::all_of(f.scheduler->timers, [](const auto& t) { return *t.cancelled; }));
}

// MARK: List and callbacks

TEST(SnapshotMenuControllerTest, SummariesCallbackRunsAtOnceAndOnEveryRefreshEvenWithoutStorage)
{
    Fixture f;
    auto& controller = f.make(false);
    std::vector<size_t> calls;
    controller.setSnapshotSummariesDidChange([&](const std::vector<SnapshotSummary>& list) -> std::optional<OperationError> {
        calls.push_back(list.size());
        return RegistrationError();
    });
    EXPECT_EQ(calls, std::vector<size_t>{0});
    EXPECT_EQ(f.status(), f.error("Hotkey registration failed."));
    EXPECT_TRUE(controller.refreshSummaries());
    EXPECT_EQ(calls.size(), 2u);
}

TEST(SnapshotMenuControllerTest, WithoutStorageEveryCommandSaysWhatIsUnavailable)
{
    Fixture f;
    auto& controller = f.make(false);
    const QUuid id = QUuid::createUuid();
    const std::vector<std::pair<std::function<void()>, QString>> commands = {
        {[&] { EXPECT_FALSE(controller.captureCurrentSnapshot()); }, "Layout storage is unavailable."},
        {[&] { EXPECT_FALSE(controller.updateSnapshot(id)); }, "Layout storage is unavailable."},
        {[&] { EXPECT_FALSE(controller.restoreSnapshot(id)); }, "Layout restore is unavailable."},
        {[&] { EXPECT_FALSE(controller.loadSnapshot(id)); }, "Layout storage is unavailable."},
        {[&] { controller.deleteSnapshot(id); }, "Layout storage is unavailable."},
        {[&] { EXPECT_FALSE(controller.renameSnapshotInline(id, "X")); }, "Layout storage is unavailable."},
        {[&] { EXPECT_FALSE(controller.setHotkey(commandOne, id)); }, "Layout storage is unavailable."},
        {[&] { controller.clearHotkey(id); }, "Layout storage is unavailable."},
        {[&] { controller.removeWindow(id, std::nullopt, "Mail", id); }, "Layout storage is unavailable."},
        {[&] { EXPECT_FALSE(controller.reorderWindows(1, {}, id)); }, "Layout storage is unavailable."},
        {[&] { controller.reportLayoutRequiresWindow(); }, "A layout must keep at least one saved window. Delete the layout instead."},
    };
    for (const auto& [command, expected] : commands) {
        controller.setStatus(std::nullopt);
        command();
        EXPECT_EQ(f.status(), f.error(expected));
    }
    EXPECT_EQ(f.namePrompts, 0);
    EXPECT_FALSE(controller.isOperating());
    EXPECT_TRUE(controller.snapshotSummaries().empty());
}

// MARK: Edit commands

TEST(SnapshotMenuControllerTest, EditCommandsReportWhatChangedNamingTheLayoutAsItWas)
{
    Fixture f;
    auto& controller = f.make();
    const auto first = makeWindow("org.example.Editor", 1, 1);
    const auto second = makeWindow("org.example.Mail", 1, 2);
    auto untitled = makeWindow("org.example.Term", 1, 3);
    untitled.windowTitle = QString(" ");
    const auto work = f.stored("Work", {first, second, untitled});
    const auto other = f.stored("Other");
    controller.refreshSummaries();

    struct Step {
        std::function<bool()> command; // its result, where it has one
        bool result;
        std::optional<Status> status;
    };
    const std::vector<Step> steps = {
        {[&] { return controller.renameSnapshotInline(work.id, "  Home  "); }, true, f.info("Renamed \"Work\" to \"  Home  \".")},
        {[&] { return controller.renameSnapshotInline(work.id, " \n"); }, false, f.error("Layout names cannot be empty.")},
        {[&] { return controller.renameSnapshotInline(QUuid::createUuid(), "X"); }, false, f.error("The layout could not be found.")},
        {[&] { return controller.setHotkey(commandOne, work.id); }, true, f.info("Assigned Super+1 to \"Home\".")},
        {[&] { return controller.setHotkey(commandOne, other.id); }, false, f.error("\"Home\" already uses that hotkey.")},
        {[&] { controller.clearHotkey(work.id); return true; }, true, f.info("Cleared hotkey for \"Home\".")},
        {[&] { controller.removeWindow(second.id, QString(" Inbox "), "Mail", work.id); return true; }, true,
         f.info("Removed \"Inbox\" from \"Home\".")},
        {[&] { controller.removeWindow(second.id, std::nullopt, "Mail", work.id); return true; }, true,
         f.info("\"Home\" has no saved window matching Mail window.")},
        {[&] { return controller.reorderWindows(1, {untitled.id, first.id}, work.id); }, true,
         f.info("Updated restore order for \"Home\".")},
        {[&] { return controller.reorderWindows(1, {untitled.id, first.id}, work.id); }, false, std::nullopt},
        {[&] { return controller.reorderWindows(1, {first.id}, work.id); }, false,
         f.error(userFacingDescription(SnapshotStoreError::invalidWindowOrder()))},
        {[&] { controller.removeWindow(untitled.id, untitled.windowTitle, "Terminal", work.id); return true; }, true,
         f.info("Removed Terminal window from \"Home\".")},
        {[&] { controller.removeWindow(first.id, std::nullopt, "Editor", work.id); return true; }, true,
         f.error("A layout must keep at least one saved window. Delete the layout instead.")},
        {[&] { controller.deleteSnapshot(other.id); return true; }, true, f.info("Deleted \"Other\".")},
        // A name that reverses what follows it stays inside its quotes.
        {[&] { return controller.renameSnapshotInline(work.id, QString::fromUtf16(u"\u202Eexe.live")); }, true,
         f.info(QString::fromUtf16(u"Renamed \"Home\" to \"\u2068\u202Eexe.live\u2069\"."))},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        controller.setStatus(std::nullopt);
        EXPECT_EQ(steps[i].command(), steps[i].result);
        EXPECT_EQ(f.status(), steps[i].status);
    }
    const auto saved = *f.store.loadSnapshot(work.id);
    EXPECT_EQ(saved.name, QString::fromUtf16(u"\u202Eexe.live")) << "stored as typed, isolated only where shown";
    EXPECT_FALSE(saved.hotkey);
    ASSERT_EQ(controller.snapshotSummaries().size(), 1u);
    EXPECT_EQ(controller.snapshotSummaries()[0].windowCount, 1);

    // A layout missing from the (stale) list is reported as "Layout".
    const auto stale = f.stored("Stale");
    controller.deleteSnapshot(stale.id);
    EXPECT_EQ(f.status(), f.info("Deleted \"Layout\"."));
}

TEST(SnapshotMenuControllerTest, DialogCommandsAndTheCaptureActivityCallback)
{
    Fixture f;
    std::vector<std::string> events;
    std::optional<HotkeyBinding> chosen = commandOne;
    std::optional<QString> renameAnswer = QStringLiteral(" Home ");
    f.options.hotkeyPrompt = [&](const QString& name, const std::vector<UnavailableHotkey>& unavailable) {
        events.push_back("prompt " + name.toStdString() + " " + std::to_string(unavailable.size()));
        return chosen;
    };
    f.options.snapshotRenamePrompt = [&](const QString&) { return renameAnswer; };
    const auto work = f.stored("Work");
    f.store.setHotkey(f.stored("Taken").id, HotkeyBinding{0x13, 0x100, QStringLiteral("Command-2")});
    auto& controller = f.make();
    std::optional<OperationError> failStart;
    controller.setHotkeyCaptureActivityDidChange([&](bool active) {
        events.push_back(active ? "active" : "inactive");
        return active ? failStart : std::nullopt;
    });

    for (const auto& expected : {f.info("Assigned Super+1 to \"Work\"."), std::optional<Status>()}) {
        events.clear();
        controller.setStatus(std::nullopt);
        controller.assignHotkey(work.id);
        EXPECT_EQ(events, (std::vector<std::string>{"active", "prompt Work 1", "inactive"}));
        EXPECT_EQ(f.status(), expected);
        chosen = std::nullopt;
    }
    events.clear();
    failStart = RegistrationError();
    controller.assignHotkey(work.id);
    EXPECT_EQ(events, (std::vector<std::string>{"active"})); // no dialog when suspending failed
    EXPECT_EQ(f.status(), f.error("Hotkey registration failed."));

    controller.renameSnapshot(work.id);
    EXPECT_EQ(f.status(), f.info("Renamed \"Work\" to \"Home\"."));
    renameAnswer = QString("   ");
    controller.renameSnapshot(work.id);
    EXPECT_EQ(f.status(), f.error("Layout names cannot be empty."));
    EXPECT_EQ(f.store.loadSnapshot(work.id)->name, "Home");
}

TEST(SnapshotMenuControllerTest, RefreshErrorAfterAnEditReplacesItsMessageButNotWhatWasStored)
{
    Fixture f;
    const auto work = f.stored("Work");
    auto& controller = f.make();
    controller.setSnapshotSummariesDidChange([](const auto&) { return std::optional<OperationError>(RegistrationError()); });
    EXPECT_FALSE(controller.setHotkey(commandOne, work.id));
    EXPECT_EQ(f.status(), f.error("Hotkey registration failed."));
    EXPECT_TRUE(controller.renameSnapshotInline(work.id, "Home"));
    EXPECT_EQ(f.status(), f.error("Hotkey registration failed."));
    const auto saved = *f.store.loadSnapshot(work.id);
    EXPECT_EQ(saved.hotkey, commandOne);
    EXPECT_EQ(saved.name, "Home");
}

// Edits may land while an update of the same layout runs on the worker: the update must keep
// them, and must not bring a deleted layout back.
TEST(SnapshotMenuControllerTest, EditsDuringAnUpdateSurviveIt)
{
    Fixture f;
    f.updateWrites(2);
    const auto work = f.stored("Work");
    auto& controller = f.make();

    ASSERT_TRUE(controller.updateSnapshot(work.id));
    f.presenter->shown();
    EXPECT_TRUE(controller.renameSnapshotInline(work.id, "Home"));
    EXPECT_TRUE(controller.setHotkey(commandOne, work.id));
    f.scheduler->finishWork();
    EXPECT_EQ(f.status(), f.info("Updated \"Home\" with 2 windows."));
    const auto saved = *f.store.loadSnapshot(work.id);
    EXPECT_EQ(saved.name, "Home");
    EXPECT_EQ(saved.hotkey, commandOne);
    EXPECT_EQ(controller.snapshotSummaries()[0].name, "Home");

    ASSERT_TRUE(controller.updateSnapshot(work.id));
    f.presenter->shown();
    controller.deleteSnapshot(work.id);
    f.scheduler->finishWork();
    EXPECT_EQ(f.status(), f.error(userFacingDescription(SnapshotStoreError::notFound(work.id))));
    EXPECT_FALSE(f.store.loadSnapshot(work.id));
    EXPECT_TRUE(controller.snapshotSummaries().empty());
    EXPECT_FALSE(controller.isOperating());
    EXPECT_EQ(f.presenter->calls.back(), "hide");
}

// An update rewrites the layout's windows and a restore places them: a window removed or
// reordered meanwhile would be lost or come back, so those edits wait for the operation.
TEST(SnapshotMenuControllerTest, WindowEditsAreRefusedWhileAnOperationRuns)
{
    Fixture f;
    f.updateWrites(2);
    f.restore = [](const QUuid&) { return std::expected<RestoreResult, RestoreEngineFailure>(RestoreResult{}); };
    const auto first = makeWindow("org.example.Editor", 1, 1);
    const auto second = makeWindow("org.example.Mail", 1, 2);
    const auto work = f.stored("Work", {first, second});
    auto& controller = f.make();
    controller.refreshSummaries();

    for (const auto& start : std::vector<std::function<bool()>>{[&] { return controller.updateSnapshot(work.id); },
                                                               [&] { return controller.restoreSnapshot(work.id); }}) {
        ASSERT_TRUE(start());
        f.presenter->shown();
        controller.setStatus(f.info("Marker"));
        const auto windowIDs = [&] {
            std::vector<QUuid> ids;
            const auto snapshot = f.store.loadSnapshot(work.id);
            for (const auto& window : snapshot->windows)
                ids.push_back(window.id);
            return ids;
        };
        const auto before = windowIDs();
        EXPECT_FALSE(controller.reorderWindows(1, {before[1], before[0]}, work.id));
        controller.removeWindow(before[0], std::nullopt, "Editor", work.id);
        EXPECT_EQ(windowIDs(), before);
        EXPECT_EQ(f.status(), f.info("Marker"));
        f.scheduler->finishWork();
        ASSERT_FALSE(controller.isOperating());
    }
    const auto after = f.store.loadSnapshot(work.id)->windows;
    EXPECT_TRUE(controller.reorderWindows(1, {after[1].id, after[0].id}, work.id));
}

// MARK: Helpers and the real scheduler

TEST(SnapshotMenuControllerTest, MenuTextDoublesAmpersands)
{
    EXPECT_EQ(menuText("Tom & Jerry && Co"), "Tom && Jerry &&&& Co");
    EXPECT_EQ(menuText("<b>Work</b>"), "<b>Work</b>");
}

TEST(SnapshotMenuControllerTest, QtSchedulerRunsWorkOffTheMainThreadAndReportsBackOnIt)
{
    QtOperationScheduler scheduler;
    QObject guard;
    QThread *workThread = nullptr, *doneThread = nullptr;
    bool cancelledFired = false, timerFired = false;
    scheduler.runAfter(0ns, [&] { cancelledFired = true; })->cancel();
    auto timer = scheduler.runAfter(1ms, [&] { timerFired = true; });
    scheduler.runInBackground(&guard, [&] { workThread = QThread::currentThread(); },
                              [&] { doneThread = QThread::currentThread(); });
    QElapsedTimer waited;
    waited.start();
    while ((!doneThread || !timerFired) && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_NE(workThread, QThread::currentThread());
    EXPECT_EQ(doneThread, QThread::currentThread());
    EXPECT_TRUE(timerFired);
    EXPECT_FALSE(cancelledFired);
}

} // namespace
} // namespace zen
