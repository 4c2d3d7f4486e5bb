#pragma once

#include "Dashboard/DashboardDetailViewPresenter.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/ManualScheduler.h"
#include "Support/SnapshotFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <QSet>
#include <string>
#include <vector>

namespace zen::test {

// An overlay that comes up only when told, so a save, update or restore can be held running.
class HeldOverlay final : public OperationOverlayPresenting {
public:
    void showOverlay(OperationOverlayKind, std::function<void()> onShown) override { pending.push_back(std::move(onShown)); }
    void showRestoreCompletion(const QString&, const std::optional<QString>&) override {}
    void hideOverlay() override {}
    void shown()
    {
        for (auto& fn : std::exchange(pending, {}))
            fn();
    }
    std::vector<std::function<void()>> pending;
};

inline const HotkeyBinding commandShiftK{40, 0x300, "Command-Shift-K"};
inline const HotkeyBinding optionControlJ{38, 0x1800, "Option-Control-J"};

// The detail pane's surroundings on fakes: a controller over a temporary store, access that
// the test grants and revokes, and the scheduler on virtual time.
struct DetailHarness {
    QTemporaryDir root;
    SnapshotStore store{root.filePath("Snapshots"), [] { return fixedDate(30); }};
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<HeldOverlay> overlay = std::make_shared<HeldOverlay>();
    bool trusted = true;
    int settingsOpened = 0;
    std::shared_ptr<PermissionCoordinator> coordinator;
    std::shared_ptr<PermissionInterventionRouter> router;
    std::shared_ptr<SnapshotMenuController> controller;
    std::unique_ptr<DashboardDetailViewPresenter> presenter;
    // "suspend" / "resume" per call of the controller's capture callback.
    std::vector<std::string> captureActivity;
    bool failResume = false;
    bool failSuspend = false;
    QSet<QString> running{"org.example.Editor"};
    std::vector<std::pair<QUuid, QString>> renames;
    std::optional<Snapshot> updateReadAtStart;
    bool acceptRenames = true;
    Snapshot first = makeSnapshot("Work");
    Snapshot second = makeSnapshot("Home");

    explicit DetailHarness(bool withStorage = true, std::optional<QString> bootstrapError = std::nullopt)
    {
        second.hotkey = commandShiftK;
        EXPECT_TRUE(store.save(first));
        EXPECT_TRUE(store.save(second));
        coordinator = std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [this] { ++settingsOpened; });
        router = std::make_shared<PermissionInterventionRouter>(coordinator, std::weak_ptr<StatusNoticePresenting>());
        SnapshotMenuController::Options options;
        options.operationOverlayPresenter = overlay;
        options.scheduler = scheduler;
        options.clock = [] { return fixedDate(31); };
        options.appNameResolver = [](const QString& id) { return id; };
        options.restoreOperation = [](const QUuid&) { return RestoreResult{}; };
        options.updateOperation = [this](const QUuid&, const QDateTime&,
                                         const SnapshotCaptureService::CaptureContext&)
            -> std::expected<Snapshot, SnapshotCaptureFailure> {
            // An update writes back the layout as it read it when it began: a change made to
            // the file meanwhile is lost.
            EXPECT_TRUE(store.save(*updateReadAtStart));
            return *updateReadAtStart;
        };
        controller = std::make_shared<SnapshotMenuController>(withStorage ? std::optional(store) : std::nullopt,
                                                              std::nullopt, std::nullopt, options);
        controller->setHotkeyCaptureActivityDidChange([this](bool active) -> std::optional<OperationError> {
            captureActivity.push_back(active ? "suspend" : "resume");
            if (active ? failSuspend : failResume)
                return OperationError(SnapshotStoreError::layoutRequiresWindow());
            return std::nullopt;
        });
        (void)controller->refreshSummaries();
        DashboardDetailViewPresenter::Actions actions;
        actions.renameSnapshotInline = [this](const QUuid& id, const QString& name) {
            renames.push_back({id, name});
            return acceptRenames && controller->renameSnapshotInline(id, name);
        };
        DashboardDetailViewPresenter::Options presenterOptions;
        presenterOptions.scheduler = scheduler;
        presenterOptions.runningBundleIdentifiers = [this] { return running; };
        presenter = std::make_unique<DashboardDetailViewPresenter>(bootstrapError, coordinator, router, controller,
                                                                   actions, presenterOptions);
    }

    // The pane goes first: ending a capture calls back into the members below it.
    ~DetailHarness() { presenter.reset(); }

    void select(const Snapshot& snapshot)
    {
        presenter->setSelection(snapshot.id, snapshot, SnapshotSummary::fromSnapshot(snapshot));
    }
    void selectNothing() { presenter->setSelection(std::nullopt, std::nullopt, std::nullopt); }

    // Starts a restore and keeps it running until finishOperation().
    void holdOperation()
    {
        ASSERT_TRUE(controller->restoreSnapshot(first.id));
        ASSERT_TRUE(controller->isOperating());
    }
    void finishOperation()
    {
        overlay->shown();
        scheduler->finishWork();
        ASSERT_FALSE(controller->isOperating());
    }
    std::optional<HotkeyBinding> storedHotkey(const QUuid& id) { return store.loadSnapshot(id)->hotkey; }
};

// A key press as the capture field sees it: X keycode = evdev + 8 (K is evdev 37).
inline HotkeyCaptureKeyEvent keyPress(std::uint32_t xKeycode, int key, Qt::KeyboardModifiers modifiers)
{
    return {xKeycode, key, modifiers};
}
inline const HotkeyCaptureKeyEvent commandShiftKPress = keyPress(45, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);
inline const HotkeyCaptureKeyEvent commandOptionKPress = keyPress(45, Qt::Key_K, Qt::MetaModifier | Qt::AltModifier);
inline const HotkeyCaptureKeyEvent plainKPress = keyPress(45, Qt::Key_K, Qt::NoModifier);
inline const HotkeyCaptureKeyEvent shiftEscapePress = keyPress(9, Qt::Key_Escape, Qt::ShiftModifier);

} // namespace zen::test
