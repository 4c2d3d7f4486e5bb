#pragma once

#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"

#include "Support/ManualScheduler.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace zen::test {

// A layout-operations controller over a store in a temporary folder, whose saves write a
// one-window layout at once and whose updates and restores are only recorded; and a
// permission router whose access the test switches.
struct DashboardWindowFixture {
    struct ShownOverlay final : OperationOverlayPresenting {
        void showOverlay(OperationOverlayKind, std::function<void()> onShown) override { onShown(); }
        void showRestoreCompletion(const QString&, const std::optional<QString>&) override {}
        void hideOverlay() override {}
    };

    QTemporaryDir root;
    SnapshotStore store{root.filePath("Snapshots")};
    bool trusted = true;
    std::vector<QUuid> updated;
    std::vector<QUuid> restored;
    // Runs inside each save and restore, while the controller is busy.
    std::function<void()> whileOperating;
    std::shared_ptr<PermissionCoordinator> coordinator;
    std::shared_ptr<PermissionInterventionRouter> router;
    std::shared_ptr<SnapshotMenuController> controller;

    DashboardWindowFixture()
    {
        coordinator = std::make_shared<PermissionCoordinator>(AccessibilityTrustChecker([this] { return trusted; }),
                                                              [] {});
        router = std::make_shared<PermissionInterventionRouter>(coordinator, std::weak_ptr<StatusNoticePresenting>());
        SnapshotMenuController::Options o;
        o.snapshotNamePrompt = [](const QString&) { return std::optional<QString>(QStringLiteral("Fresh")); };
        o.captureContextProvider = [] { return SnapshotCaptureService::CaptureContext{}; };
        o.appNameResolver = [](const QString& id) { return id; };
        o.scheduler = std::make_shared<ImmediateScheduler>();
        o.operationOverlayPresenter = std::make_shared<ShownOverlay>();
        o.clock = [] { return fixedDate(40); };
        o.captureOperation = [this](const QString& name, const QDateTime&, const auto&)
            -> std::expected<Snapshot, SnapshotCaptureFailure> {
            if (whileOperating)
                whileOperating();
            Snapshot snapshot = makeSnapshot(name);
            snapshot.updatedAt = fixedDate(50);
            if (auto saved = store.save(snapshot); !saved)
                return std::unexpected(saved.error());
            return snapshot;
        };
        o.updateOperation = [this](const QUuid& id, const QDateTime&, const auto&)
            -> std::expected<Snapshot, SnapshotCaptureFailure> {
            updated.push_back(id);
            return *store.loadSnapshot(id);
        };
        o.restoreOperation = [this](const QUuid& id) -> std::expected<RestoreResult, RestoreEngineFailure> {
            restored.push_back(id);
            if (whileOperating)
                whileOperating();
            return RestoreResult{};
        };
        controller = std::make_shared<SnapshotMenuController>(store, std::nullopt, std::nullopt, o);
    }

    // Stores a layout; a larger `age` lists it further down (the list is newest first).
    Snapshot add(const QString& name, int age = 0, std::vector<WindowRecord> windows = {makeWindow("org.example.Editor", 1, 1)},
                 std::optional<HotkeyBinding> hotkey = std::nullopt)
    {
        Snapshot snapshot = makeSnapshot(name, std::move(windows));
        snapshot.updatedAt = fixedDate(0, -age);
        snapshot.hotkey = std::move(hotkey);
        EXPECT_TRUE(store.save(snapshot).has_value());
        return snapshot;
    }
    void refresh() { controller->refreshSummaries(); }
    QString statusMessage() const { return controller->status() ? controller->status()->message : QString(); }
};

inline const HotkeyBinding commandK{40, 0x100, QStringLiteral("Command-K")};

} // namespace zen::test
