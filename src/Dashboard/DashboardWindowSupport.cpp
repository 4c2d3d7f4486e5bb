#include "Dashboard/DashboardWindowSupport.h"

#include "Platform/OwnWindows.h"
#include "Shared/UserDefaults.h"

#include <QApplication>
#include <QByteArray>
#include <QCursor>
#include <QLayout>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace zen {

bool DashboardWindowSupport::configure(QWidget& window, UserDefaults& defaults, const QString& frameAutosaveName)
{
    window.setObjectName(identifier());
    const auto saved = defaults.stringForKey(frameAutosaveName);
    if (!saved || saved->isEmpty())
        return false;
    // restoreGeometry refuses malformed data, and a frame saved on a monitor of another size,
    // leaving the window where it was; of a frame saved on a monitor since unplugged it may
    // leave a strip at the edge of another one. Either way the window is judged against the
    // monitors there are now, and one mostly off them opens centred on the primary monitor.
    const bool restored = window.restoreGeometry(QByteArray::fromBase64(saved->toLatin1()));
    keepOnMonitors(window);
    return restored;
}

void DashboardWindowSupport::keepOnMonitors(QWidget& window)
{
    const QRect frame = window.frameGeometry();
    std::vector<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.push_back(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary && !mostlyOnMonitors(frame, monitors)) {
        const QRect centred = centredFrame(frame.size(), std::nullopt, primary->availableGeometry());
        window.move(centred.topLeft());
    }
}

bool DashboardWindowSupport::mostlyOnMonitors(const QRect& frame, const std::vector<QRect>& monitors)
{
    if (frame.isEmpty())
        return false;
    // Monitors may overlap (mirrored outputs): each visible pixel counts once.
    QRegion visible;
    for (const QRect& monitor : monitors)
        visible += monitor.intersected(frame);
    qint64 area = 0;
    for (const QRect& part : visible)
        area += qint64(part.width()) * part.height();
    return 2 * area > qint64(frame.width()) * frame.height();
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

QWidget* DashboardWindowSupport::blockingDialog(const QWidget& window)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == &window || !modal->isVisible())
        return nullptr;
    const QWidget* owner = modal->parentWidget() ? modal->parentWidget()->window() : nullptr;
    return owner == &window || modal->windowModality() == Qt::ApplicationModal ? modal : nullptr;
}

bool DashboardWindowSupport::focusExistingWindow(const BringForward& bringForward)
{
    QWidget* window = existingWindow();
    if (!window)
        return false;
    QWidget* dialog = blockingDialog(*window);
    if (window->isMinimized()) {
        // Minimized on a monitor unplugged since, it would come back where nobody sees it.
        keepOnMonitors(*window);
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    window->raise();
    window->activateWindow();
    if (dialog) {
        dialog->raise();
        dialog->activateWindow();
    }
    // The toolkit hears of a minimize only some time after the window manager made it, and
    // asks nothing for a window it believes is shown (nor activates one that is not mapped):
    // on a busy machine the window would stay minimized. The window manager itself un-minimizes
    // the dashboard together with its dialogs and gives the keyboard to the one that blocks it.
    if (bringForward)
        bringForward((dialog ? dialog : window)->winId());
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

namespace {

// The window manager's answers about our windows; set by the composition root.
std::weak_ptr<OwnWindows> ownWindows;

// The decoration last seen around one of our windows, for when the window manager gives no
// estimate: our other windows get the same, and a window shown before got it too.
QMargins lastDecoration;

QMargins decorationOf(const QWidget& shown)
{
    const QRect outer = shown.frameGeometry();
    const QRect inner = shown.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// The frame the window manager will put around `window`: asked of it before the window is
// mapped, else as our other windows have it.
QMargins expectedDecoration(QWidget& window)
{
    if (const auto windows = ownWindows.lock())
        if (const auto extents = windows->frameExtents(window.winId()))
            return lastDecoration = *extents;
    if (!decorationOf(window).isNull())
        return lastDecoration = decorationOf(window);
    for (const QWidget* shown : QApplication::topLevelWidgets())
        if (shown != &window && shown->isVisible() && shown->windowType() == Qt::Window && !decorationOf(*shown).isNull())
            return lastDecoration = decorationOf(*shown);
    return lastDecoration;
}

// Where a window opened by the program goes, decided as it is about to be mapped: over a
// window of ours when that is on screen, else on a monitor.
struct Placement {
    QPointer<const QWidget> over;
    QPointer<QScreen> screen;

    QRect frameFor(QSize frameSize) const
    {
        std::optional<QRect> overFrame;
        if (over && over->isVisible()) {
            // The toolkit may not yet have heard what frame the window manager gave a window
            // just shown (the dashboard the guide opens over): the server knows. One not yet
            // framed gets its frame where it was put, as our windows do.
            if (const auto windows = ownWindows.lock())
                overFrame = windows->frame(over->winId());
            if (!overFrame && over->frameGeometry() == over->geometry())
                overFrame = QRect(over->pos(), over->size().grownBy(lastDecoration));
            if (!overFrame)
                overFrame = over->frameGeometry();
        }
        return DashboardWindowSupport::centredFrame(frameSize, overFrame, screen->availableGeometry());
    }
};

// Places a window once, on the toolkit's last word before the window is mapped (its native
// window's show event), so that it never moves once on screen: by then its size is final
// (message boxes size themselves as they are shown) and the window manager has said what frame
// it will get. The window itself goes where the frame leaves room for it; the toolkit keeps a
// window placed this way where it is put, and so does the window manager.
class PlaceBeforeMapping final : public QObject {
public:
    PlaceBeforeMapping(QWidget& window, std::function<std::optional<Placement>()> placement, bool everyShowing)
        : QObject(window.windowHandle())
        , m_window(&window)
        , m_placement(std::move(placement))
        , m_everyShowing(everyShowing)
    {
        window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !m_window)
            return false;
        if (!m_everyShowing) {
            watched->removeEventFilter(this);
            deleteLater();
        }
        const auto placement = m_placement();
        if (!placement || !placement->screen)
            return false;
        // Its size as it will be mapped: layout changes still waiting (a wrapped message, a
        // title elided to the width) would grow it from its top-left corner once on screen.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (m_window->layout())
            m_window->layout()->activate();
        const QMargins decoration = expectedDecoration(*m_window);
        const QRect frame = placement->frameFor(m_window->size().grownBy(decoration));
        m_window->setGeometry(QRect(frame.topLeft() + QPoint(decoration.left(), decoration.top()), m_window->size()));
        return false;
    }

private:
    QPointer<QWidget> m_window;
    std::function<std::optional<Placement>()> m_placement;
    bool m_everyShowing;
};

void placeBeforeMapping(QWidget& window, std::function<std::optional<Placement>()> placement, bool everyShowing)
{
    window.winId(); // the native window, whose showing is watched
    if (!window.windowHandle())
        return;
    for (auto* earlier : window.windowHandle()->findChildren<PlaceBeforeMapping*>(Qt::FindDirectChildrenOnly))
        delete earlier;
    new PlaceBeforeMapping(window, std::move(placement), everyShowing);
}

} // namespace

void DashboardWindowSupport::useOwnWindows(const std::shared_ptr<OwnWindows>& windows)
{
    ownWindows = windows;
}

void DashboardWindowSupport::placeCentred(QWidget& window)
{
    Placement placement;
    const QWidget* dashboard = existingWindow();
    if (dashboard && dashboard != &window && !dashboard->isMinimized()) {
        placement.over = dashboard;
        placement.screen = QGuiApplication::screenAt(dashboard->frameGeometry().center());
    }
    if (!placement.screen)
        placement.screen = QGuiApplication::screenAt(QCursor::pos());
    if (!placement.screen)
        placement.screen = QGuiApplication::primaryScreen();
    if (!placement.screen)
        return;
    placeBeforeMapping(window, [placement] { return std::optional(placement); }, false);
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
    // Centred over its window each time it is shown.
    placeBeforeMapping(dialog, [dialog = QPointer<QWidget>(&dialog)]() -> std::optional<Placement> {
        const QWidget* owner = dialog && dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
        if (!owner || !owner->isVisible())
            return std::nullopt;
        Placement placement;
        placement.over = owner;
        placement.screen = QGuiApplication::screenAt(owner->frameGeometry().center());
        if (!placement.screen)
            placement.screen = owner->screen();
        return placement;
    }, true);
}

} // namespace zen
