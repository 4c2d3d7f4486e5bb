#include "App/MenuBarTray.h"

#include "Infrastructure/AppLogger.h"
#include "MenuBar/MenuText.h"
#include "Shared/ApplicationIcon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>

#include <utility>

namespace zen {

namespace {

QIcon emphasisIcon(MenuBarItem::Emphasis emphasis)
{
    auto* style = QApplication::style();
    if (!style)
        return {};
    switch (emphasis) {
    case MenuBarItem::Emphasis::warning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case MenuBarItem::Emphasis::error:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case MenuBarItem::Emphasis::normal:
    case MenuBarItem::Emphasis::secondary:
        break;
    }
    return {};
}

} // namespace

void renderMenuBarItems(QMenu& menu, const std::vector<MenuBarItem>& items,
                        const std::function<void(const MenuBarItem&)>& perform)
{
    for (const MenuBarItem& item : items) {
        switch (item.kind) {
        case MenuBarItem::Kind::separator:
            menu.addSeparator();
            continue;
        case MenuBarItem::Kind::submenu: {
            QMenu* submenu = menu.addMenu(menuText(item.title));
            renderMenuBarItems(*submenu, item.submenu, perform);
            continue;
        }
        case MenuBarItem::Kind::text:
        case MenuBarItem::Kind::button:
            break;
        }
        QAction* action = menu.addAction(menuText(item.title));
        action->setEnabled(item.enabled);
        action->setIcon(emphasisIcon(item.emphasis));
        if (!item.shortcut.isEmpty()) {
            action->setShortcut(item.shortcut);
            // Shown next to the title only: the shortcuts of layouts are global ones, and
            // the menu must not compete for them with the window that has focus.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        // Tool tips guess their format and render anything that looks like markup; the text
        // comes from layout files, so it is escaped and always shown as typed.
        if (!item.toolTip.isEmpty())
            action->setToolTip(Qt::convertFromPlainText(item.toolTip, Qt::WhiteSpaceNormal));
        if (item.kind == MenuBarItem::Kind::button && perform)
            QObject::connect(action, &QAction::triggered, &menu, [perform, item] { perform(item); });
    }
    if (!items.empty())
        menu.setToolTipsVisible(true);
}

MenuBarTray::MenuBarTray(std::function<std::vector<MenuBarItem>()> items,
                         std::function<void(const MenuBarItem&)> perform, QObject* parent)
    : QObject(parent)
    , m_items(std::move(items))
    , m_perform(std::move(perform))
    , m_menu(std::make_unique<QMenu>())
{
    // Followed through the menu's own signals rather than its visibility: a tray that shows the
    // menu itself (over D-Bus) never shows the widget, yet announces opening and closing.
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        m_menuOpen = true;
        if (std::exchange(m_stale, false))
            rebuild();
    });
    // The menu closes before the chosen action is triggered: rebuilding here would delete it.
    connect(m_menu.get(), &QMenu::aboutToHide, this, [this] {
        m_menuOpen = false;
        if (std::exchange(m_stale, false))
            scheduleRebuild();
    });
    rebuild();
}

MenuBarTray::~MenuBarTray() = default;

QIcon MenuBarTray::icon()
{
    if (const QIcon own = applicationIcon(); !own.pixmap(16, 16).isNull())
        return own;
    // Three overlapping window frames: a layout of windows.
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        const QColor frames[] = {QColor(0x3d, 0x7e, 0xd6), QColor(0x2f, 0xa8, 0x7a), QColor(0xe0, 0x8a, 0x2c)};
        const QRectF rects[] = {QRectF(1, 1, 9, 7), QRectF(6, 4, 9, 7), QRectF(3, 8, 9, 7)};
        for (int i = 0; i < 3; ++i) {
            const QRectF r(rects[i].x() * unit, rects[i].y() * unit, rects[i].width() * unit, rects[i].height() * unit);
            painter.setPen(QPen(Qt::white, std::max(1.0, unit)));
            painter.setBrush(frames[i]);
            painter.drawRoundedRect(r, unit, unit);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void MenuBarTray::show()
{
    if (!m_trayIcon) {
        m_trayIcon = std::make_unique<QSystemTrayIcon>(icon());
        m_trayIcon->setToolTip(QStringLiteral("Zentharion"));
        m_trayIcon->setContextMenu(m_menu.get());
        // The icon's only purpose is its menu: a plain click opens it too.
        connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                m_menu->popup(QCursor::pos());
        });
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCWarning(AppLogger::app,
                  "The desktop has no system tray: the Zentharion menu cannot be shown; layout shortcuts still work");
    // Shown in any case: Qt docks the icon when a tray appears later.
    m_trayIcon->show();
}

void MenuBarTray::scheduleRebuild()
{
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, [this] {
        m_rebuildPending = false;
        // Rows must not move under the pointer (a click would restore another layout): an
        // open menu keeps its rows until it closes or opens again.
        if (m_menuOpen)
            m_stale = true;
        else
            rebuild();
    });
}

void MenuBarTray::rebuild()
{
    m_menu->clear();
    // clear() leaves the submenus it created alive; they would pile up with every rebuild.
    for (QMenu* submenu : m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        submenu->deleteLater();
    renderMenuBarItems(*m_menu, m_items ? m_items() : std::vector<MenuBarItem>{}, m_perform);
}

} // namespace zen
