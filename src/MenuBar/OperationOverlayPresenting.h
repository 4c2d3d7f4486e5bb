#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace zen {

enum class OperationOverlayKind { save, restore };

// The text the progress overlay shows for an operation.
QString operationOverlayMessage(OperationOverlayKind kind);

// How the layout-operations controller shows progress and outcomes. Called on the main thread
// only. After each showOverlay the controller makes exactly one closing call for that
// operation: hideOverlay, or showRestoreCompletion after a successful restore.
class OperationOverlayPresenting {
public:
    virtual ~OperationOverlayPresenting() = default;

    // `onShown` runs on the main thread once the overlay is on screen; the controller starts
    // its work only then. It is never called synchronously from within showOverlay, so callers
    // may rely on the call returning before their work starts. Accepts a new request while an
    // earlier overlay or completion toast is still up.
    virtual void showOverlay(OperationOverlayKind kind, std::function<void()> onShown) = 0;
    // Both texts carry a layout name and window titles as the user or other programs wrote
    // them: show them as plain text.
    virtual void showRestoreCompletion(const QString& summary, const std::optional<QString>& detail) = 0;
    virtual void hideOverlay() = 0;
};

// Shows nothing; used when storage could not be set up, and in tests.
class NoOpOperationOverlayPresenter final : public OperationOverlayPresenting {
public:
    void showOverlay(OperationOverlayKind kind, std::function<void()> onShown) override;
    void showRestoreCompletion(const QString& summary, const std::optional<QString>& detail) override;
    void hideOverlay() override;
};

} // namespace zen
