#include "Dashboard/DashboardWindowSupport.h"

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
    // restoreGeometry refuses malformed data, but of a frame saved on a monitor since unplugged
    // it may leave a strip at the edge of another one: such a window opens centred on the
    // primary monitor instead.
    if (!window.restoreGeometry(QByteArray::fromBase64(saved->toLatin1())))
        return false;
    const QRect frame = window.frameGeometry();
    std::vector<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.push_back(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary && !mostlyOnMonitors(frame, monitors)) {
        const QRect centred = centredFrame(frame.size(), std::nullopt, primary->availableGeometry());
        window.move(centred.topLeft());
    }
    return true;
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
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
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

// Where a window opened by the program goes, decided when it is placed: over the dashboard
// when that is on screen, else on a monitor.
struct Placement {
    QPointer<const QWidget> over;
    QPointer<QScreen> screen;

    QRect frameFor(QSize frameSize) const
    {
        const std::optional<QRect> overFrame =
            over && over->isVisible() ? std::optional(over->frameGeometry()) : std::nullopt;
        return DashboardWindowSupport::centredFrame(frameSize, overFrame, screen->availableGeometry());
    }
};

// Centres the window again once it is first on screen. Before the window manager frames a
// window neither its frame nor, on a busy machine, the dashboard's is known for sure, and the
// first guess can be off by a title bar; by the window's first showing both are.
class CentreOnFirstExpose final : public QObject {
public:
    CentreOnFirstExpose(QWidget& window, Placement placement)
        : QObject(window.windowHandle())
        , m_window(&window)
        , m_placement(std::move(placement))
    {
        window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            deleteLater();
            if (m_window && m_placement.screen) {
                const QRect frame = m_window->frameGeometry();
                const QRect wanted = m_placement.frameFor(frame.size());
                if (wanted.topLeft() != frame.topLeft())
                    m_window->move(wanted.topLeft());
            }
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    Placement m_placement;
};

} // namespace

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
    // A top-level window's position is its frame's.
    window.move(placement.frameFor(window.size().grownBy(decoration)).topLeft());
    if (!window.isVisible()) {
        window.winId(); // the native window, whose showing is watched
        if (window.windowHandle())
            new CentreOnFirstExpose(window, std::move(placement));
    }
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
