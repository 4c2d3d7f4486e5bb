#include "MenuBar/OperationOverlayPresenting.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace zen {

QString operationOverlayMessage(OperationOverlayKind kind)
{
    switch (kind) {
    case OperationOverlayKind::save:
        return QStringLiteral("Saving layout...");
    case OperationOverlayKind::restore:
        return QStringLiteral("Restoring layout...");
    }
    return {};
}

void NoOpOperationOverlayPresenter::showOverlay(OperationOverlayKind, std::function<void()> onShown)
{
    if (!onShown)
        return;
    // Hop through the main event loop like a real presentation would, so the caller sees the
    // same ordering with or without overlays.
    auto* application = QCoreApplication::instance();
    if (!application) {
        // No event loop to defer to: running now is the only way the work can start.
        onShown();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(onShown), Qt::QueuedConnection);
}

void NoOpOperationOverlayPresenter::showRestoreCompletion(const QString&, const std::optional<QString>&)
{
}

void NoOpOperationOverlayPresenter::hideOverlay()
{
}

} // namespace zen
