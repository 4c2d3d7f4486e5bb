#include "Dashboard/DashboardWindowSupport.h"

#include "Shared/UserDefaults.h"

#include <QApplication>
#include <QByteArray>
#include <QWidget>

namespace zen {

bool DashboardWindowSupport::configure(QWidget& window, UserDefaults& defaults, const QString& frameAutosaveName)
{
    window.setObjectName(identifier());
    const auto saved = defaults.stringForKey(frameAutosaveName);
    if (!saved || saved->isEmpty())
        return false;
    // restoreGeometry refuses malformed data and moves a frame that lies off every screen.
    return window.restoreGeometry(QByteArray::fromBase64(saved->toLatin1()));
}

void DashboardWindowSupport::saveFrame(const QWidget& window, UserDefaults& defaults, const QString& frameAutosaveName)
{
    defaults.setString(frameAutosaveName, QString::fromLatin1(window.saveGeometry().toBase64()));
}

QWidget* DashboardWindowSupport::existingWindow()
{
    // A closed window may linger until its deferred deletion; it no longer counts.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == identifier())
            return widget;
    return nullptr;
}

bool DashboardWindowSupport::focusExistingWindow()
{
    QWidget* window = existingWindow();
    if (!window)
        return false;
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
    return true;
}

void DashboardWindowSupport::openOrFocusDashboard(const std::function<void()>& openWindow)
{
    if (!focusExistingWindow() && openWindow)
        openWindow();
}

} // namespace zen
