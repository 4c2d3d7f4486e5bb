#include "Dashboard/DashboardWindowSupport.h"

#include "Shared/UserDefaults.h"

#include <QApplication>
#include <QByteArray>
#include <QCursor>
#include <QLayout>
#include <QScreen>
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

QRect DashboardWindowSupport::centredFrame(QSize frameSize, std::optional<QRect> over, const QRect& available)
{
    QRect frame(QPoint(), frameSize);
    frame.moveCenter(over ? over->center() : available.center());
    // Inside the free area: the right and bottom edges first, so a window larger than the
    // area keeps its top-left corner (and title bar) in reach.
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    frame.moveTop(std::max(frame.top(), available.top()));
    return frame;
}

void DashboardWindowSupport::placeCentred(QWidget& window)
{
    std::optional<QRect> over;
    const QScreen* screen = nullptr;
    const QWidget* dashboard = existingWindow();
    if (dashboard && dashboard != &window && !dashboard->isMinimized()) {
        over = dashboard->frameGeometry();
        screen = QGuiApplication::screenAt(over->center());
    }
    if (!screen)
        screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before its first showing the window has no frame yet: it will get the one the window
    // manager gives our other windows (or gave this one before it was hidden), which
    // centring must count. Remembered, for when nothing of ours is on screen.
    static QMargins decoration;
    const auto marginsOf = [](const QWidget& shown) {
        const QRect outer = shown.frameGeometry();
        const QRect inner = shown.geometry();
        return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                        outer.bottom() - inner.bottom());
    };
    if (!marginsOf(window).isNull())
        decoration = marginsOf(window);
    else
        for (const QWidget* shown : QApplication::topLevelWidgets())
            if (shown != &window && shown->isVisible() && shown->windowType() == Qt::Window
                && !marginsOf(*shown).isNull()) {
                decoration = marginsOf(*shown);
                break;
            }
    const QSize frameSize = window.size().grownBy(decoration);
    const QRect frame = centredFrame(frameSize, over, screen->availableGeometry());
    // A top-level window's position is its frame's.
    window.move(frame.topLeft());
}

void DashboardWindowSupport::makeConfirmation(QWidget& dialog)
{
    // Without the hints the window manager offers every function, minimize and maximize too.
    dialog.setWindowFlags((dialog.windowFlags() & Qt::WindowType_Mask) | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint);
    // Window managers that keep their buttons whatever the hints say (openbox) still offer
    // no maximize for a window that cannot change its size.
    if (dialog.layout())
        dialog.layout()->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace zen
