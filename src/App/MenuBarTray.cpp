#include "App/MenuBarTray.h"

#include "Infrastructure/AppLogger.h"
#include "MenuBar/MenuText.h"
#include "Onboarding/TextStyle.h"
#include "Platform/X11/X11ButtonPresses.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QResource>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>
#include <QWidgetAction>

#include <algorithm>
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
        return QIcon::fromTheme(QStringLiteral("dialog-warning"), style->standardIcon(QStyle::SP_MessageBoxWarning));
    case MenuBarItem::Emphasis::error:
        return QIcon::fromTheme(QStringLiteral("dialog-error"), style->standardIcon(QStyle::SP_MessageBoxCritical));
    case MenuBarItem::Emphasis::normal:
    case MenuBarItem::Emphasis::secondary:
        break;
    }
    return {};
}

// A tab in an action's text starts its shortcut column; a name's own tab must not.
QString actionText(const MenuBarItem& item)
{
    QString text = menuText(item.title);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    if (!item.accessKey.isNull())
        if (const qsizetype at = text.indexOf(item.accessKey); at >= 0)
            text.insert(at, QLatin1Char('&'));
    if (!item.shortcutNote.isEmpty())
        text += QLatin1Char('\t') + QString(item.shortcutNote).replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

// Where the style starts an item's title: the menu's margin, the item frame, the check/icon
// column and its margin (Fusion's arithmetic; other styles come close).
constexpr int menuTextIndent = 3 + 2 + 20 + 3;
constexpr int longestTextWidth = 360;

// A text row that says something rather than does something: drawn as a label in its own
// colour (a disabled action would be greyed out like an unavailable command), never
// highlighted and skipped by the keyboard.
QWidgetAction* textAction(QMenu& menu, const MenuBarItem& item)
{
    QLabel* label = TextStyle::plainLabel(item.title);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setContentsMargins(menuTextIndent, 2, 12, 2);
    QFont font = menu.font();
    if (item.caption)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    const QColor color = MenuBarMenu::emphasisColor(item.emphasis, menu.palette());
    QPalette palette = label->palette();
    // The action is disabled so the menu passes over it; its colour must not fade with it.
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, color);
    label->setPalette(palette);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(item.title) > longestTextWidth) {
        // Long messages wrap instead of stretching the menu across the screen.
        label->setWordWrap(true);
        const int width = longestTextWidth + menuTextIndent + 12;
        label->setFixedWidth(width);
        label->setFixedHeight(label->heightForWidth(width));
    }

    auto* action = new QWidgetAction(&menu);
    action->setDefaultWidget(label);
    action->setText(item.title);
    action->setEnabled(false);
    return action;
}

QMenu* topMenu(QMenu* menu)
{
    while (auto* parent = qobject_cast<QMenu*>(menu->parent()))
        menu = parent;
    return menu;
}

// The rows of a submenu not yet opened: a long list of layouts costs memory for every row and
// is seldom looked at, so its rows are made when it opens and go with the next rebuild.
class PendingRows final : public QObject {
public:
    PendingRows(QMenu* submenu, std::vector<MenuBarItem> items, std::function<void(const MenuBarItem&)> perform)
        : QObject(submenu)
        , m_items(std::move(items))
        , m_perform(std::move(perform))
    {
        connect(submenu, &QMenu::aboutToShow, this, [this, submenu] { fill(*submenu); });
    }

    // Makes the rows of a submenu not yet opened when one of them answers to the keys.
    static void fillIn(QMenu& submenu, const QKeySequence& keys)
    {
        for (QObject* child : submenu.children())
            if (auto* pending = dynamic_cast<PendingRows*>(child); pending && pending->answers(keys))
                pending->fill(submenu);
    }

private:
    bool answers(const QKeySequence& keys) const
    {
        return std::ranges::any_of(m_items, [&](const MenuBarItem& item) {
            return item.kind == MenuBarItem::Kind::submenu
                   || (!item.shortcut.isEmpty() && item.shortcut.matches(keys) == QKeySequence::ExactMatch);
        });
    }
    void fill(QMenu& submenu)
    {
        if (m_filled)
            return;
        m_filled = true;
        renderMenuBarItems(submenu, m_items, m_perform, SubmenuRows::whenOpened);
        m_items = {};
    }

    std::vector<MenuBarItem> m_items;
    std::function<void(const MenuBarItem&)> m_perform;
    bool m_filled = false;
};

QAction* actionForKeys(const QMenu& menu, const QKeySequence& keys)
{
    for (QAction* action : menu.actions()) {
        if (QMenu* submenu = action->menu()) {
            // A layout's shortcut in a submenu never opened still chooses it.
            PendingRows::fillIn(*submenu, keys);
            if (QAction* found = actionForKeys(*submenu, keys))
                return found;
            continue;
        }
        if (action->isEnabled() && !action->shortcut().isEmpty()
            && action->shortcut().matches(keys) == QKeySequence::ExactMatch)
            return action;
    }
    return nullptr;
}

// While a menu is open it has the keyboard, and Qt matches an action's shortcut only in a
// window that shows it, never inside the popup: the shortcuts shown next to the items would
// do nothing. Pressed in the open menu, they choose their item, as a click would.
class MenuShortcutFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
            return false; // arrows, Return and letters keep moving through the menu
        QAction* action = actionForKeys(*topMenu(menu), QKeySequence(key->keyCombination()));
        if (!action)
            return false;
        // Triggered once the menu is gone, as a click's action is. Queued before the menus
        // close: closing may queue a rebuild, which must not delete the action first.
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
        for (QMenu* open = menu; open; open = qobject_cast<QMenu*>(open->parent()))
            open->hide();
        return true;
    }
};

} // namespace

void renderMenuBarItems(QMenu& menu, const std::vector<MenuBarItem>& items,
                        const std::function<void(const MenuBarItem&)>& perform, SubmenuRows submenuRows)
{
    // Rebuilds render into the same menu: one filter per menu.
    constexpr char filtered[] = "zentharionShortcutFilter";
    if (!menu.property(filtered).toBool()) {
        menu.installEventFilter(new MenuShortcutFilter(&menu));
        menu.setProperty(filtered, true);
    }
    for (const MenuBarItem& item : items) {
        switch (item.kind) {
        case MenuBarItem::Kind::separator:
            menu.addSeparator();
            continue;
        case MenuBarItem::Kind::submenu: {
            QMenu* submenu = menu.addMenu(menuText(item.title));
            if (submenuRows == SubmenuRows::whenOpened)
                new PendingRows(submenu, item.submenu, perform);
            else
                renderMenuBarItems(*submenu, item.submenu, perform);
            continue;
        }
        case MenuBarItem::Kind::text:
            menu.addAction(textAction(menu, item));
            continue;
        case MenuBarItem::Kind::button:
            break;
        }
        QAction* action = menu.addAction(actionText(item));
        action->setEnabled(item.enabled);
        action->setIcon(emphasisIcon(item.emphasis));
        if (!item.shortcut.isEmpty()) {
            action->setShortcut(item.shortcut);
            // Not matched by Qt outside the open menu: the shortcuts of layouts are global
            // ones, and the menu must not compete for them with the window that has focus.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        // Tool tips guess their format and render anything that looks like markup; the text
        // comes from layout files, so it is escaped and always shown as typed.
        if (!item.toolTip.isEmpty())
            action->setToolTip(Qt::convertFromPlainText(item.toolTip, Qt::WhiteSpaceNormal));
        if (perform)
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
        // What the menu shows may have changed outside the program meanwhile (a window manager
        // started or ended); it is read again now, and the rows follow before they appear.
        if (m_aboutToShow)
            m_aboutToShow();
        if (!m_built || std::exchange(m_stale, false) || m_rebuildPending)
            rebuild();
    });
    // The menu closes before the chosen action is triggered: rebuilding here would delete it.
    // A submenu whose rows were made while it was open gives them up with the rebuild.
    connect(m_menu.get(), &QMenu::aboutToHide, this, [this] {
        m_menuOpen = false;
        if (std::exchange(m_stale, false) || (!m_exported && submenuRowsMade()))
            scheduleRebuild();
    });
    // No rows yet: the first to ask for the menu builds them, which keeps fonts, styles and a
    // row per layout off the way to the icon and out of an idle program's memory.
}

MenuBarTray::~MenuBarTray() = default;

QIcon MenuBarTray::icon()
{
    // Drawn beforehand at the sizes trays ask for, kept as raw pixels: the icon comes up
    // without an icon theme, an SVG renderer, a PNG decoder or the scan of every image plugin
    // that reading an image file starts with.
    QIcon icon;
    for (const int size : trayIconSizes) {
        const QByteArray pixels =
            QResource(QStringLiteral(":/zentharion/tray/zentharion-%1.rgba").arg(size)).uncompressedData();
        if (pixels.size() != qsizetype(size) * size * 4)
            continue;
        const QImage image(reinterpret_cast<const uchar*>(pixels.constData()), size, size, size * 4,
                           QImage::Format_RGBA8888);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

void MenuBarTray::show()
{
    if (m_trayIcon && m_trayIcon->isVisible())
        return;
    if (!m_trayIcon) {
        m_trayIcon = std::make_unique<QSystemTrayIcon>(icon());
        m_trayIcon->setToolTip(QStringLiteral("Zentharion"));
        m_trayIcon->setContextMenu(m_menu.get());
        // A tray that shows the menu itself reads it over D-Bus whenever it likes, and not every
        // such host announces first that it is about to show it: the rows, those of submenus too,
        // are made once the icon is up and kept current from then on.
        if (m_menu->platformMenu()) {
            m_exported = true;
            QTimer::singleShot(0, this, [this] {
                if (!m_built)
                    rebuild();
            });
        }
        // The icon's only purpose is its menu: a plain click opens it too.
        connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && !(m_takeClick && m_takeClick()))
                m_menu->popup(QCursor::pos());
        });
        // While a modal window of the program's waits for an answer, the toolkit drops every
        // click on the icon, which would seem dead: the click is heard in the X server's events.
        // Only then: otherwise the toolkit hands it on as usual.
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            m_blockedClicks = std::make_unique<X11ButtonPresses>([this](QPoint at) {
                return m_takeClick && QApplication::activeModalWidget() && m_trayIcon->isVisible()
                       && m_trayIcon->geometry().contains(at) && m_takeClick();
            });
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCWarning(AppLogger::app,
                  "The desktop has no system tray: unless one appears, Zentharion shows its dashboard, "
                  "whose menu bar holds its menu; layout shortcuts still work");
    // Shown in any case: Qt docks the icon when a tray appears later.
    m_trayIcon->show();
}

QMenu* MenuBarTray::menu()
{
    if (!m_built)
        rebuild();
    return m_menu.get();
}

bool MenuBarTray::submenuRowsMade() const
{
    for (const QMenu* submenu : m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        if (!submenu->isEmpty())
            return true;
    return false;
}

void MenuBarTray::scheduleRebuild()
{
    // Never built: the first opening reads the state as it is then.
    if (m_rebuildPending || !m_built)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, [this] {
        if (!std::exchange(m_rebuildPending, false))
            return; // the menu was opened meanwhile and rebuilt then
        // Rows must not move under the pointer (a click would restore another layout): an
        // open menu keeps its rows until it closes or opens again.
        if (m_menuOpen)
            m_stale = true;
        else
            rebuild();
    });
}

void MenuBarTray::setAboutToShow(std::function<void()> callback)
{
    m_aboutToShow = std::move(callback);
}

void MenuBarTray::setClickTaker(std::function<bool()> take)
{
    m_takeClick = std::move(take);
}

void MenuBarTray::setItems(std::function<std::vector<MenuBarItem>()> items,
                           std::function<void(const MenuBarItem&)> perform)
{
    m_items = std::move(items);
    m_perform = std::move(perform);
    scheduleRebuild();
}

void MenuBarTray::rebuild()
{
    m_rebuildPending = false;
    m_built = true;
    m_menu->clear();
    // clear() leaves the submenus it created alive; they would pile up with every rebuild.
    for (QMenu* submenu : m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        submenu->deleteLater();
    renderMenuBarItems(*m_menu, m_items ? m_items() : std::vector<MenuBarItem>{}, m_perform,
                       m_exported ? SubmenuRows::now : SubmenuRows::whenOpened);
}

} // namespace zen
