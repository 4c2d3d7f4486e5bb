#include "Dashboard/DashboardCommands.h"

#include "MenuBar/MenuText.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace zen {

namespace {

using LayoutCommand = DashboardCommands::LayoutCommand;

constexpr LayoutCommand allCommands[] = {LayoutCommand::newLayout,    LayoutCommand::restoreLayout,
                                         LayoutCommand::updateLayout, LayoutCommand::renameLayout,
                                         LayoutCommand::assignHotkey, LayoutCommand::clearHotkey,
                                         LayoutCommand::deleteLayout};

// With their access keys: each letter once in its menu, so Alt and the letter (or the letter
// in the open menu) chooses the item at once.
QString fixedTitle(LayoutCommand command)
{
    switch (command) {
    case LayoutCommand::newLayout: return QStringLiteral("&New Layout");
    case LayoutCommand::restoreLayout: return QStringLiteral("&Restore Layout");
    case LayoutCommand::updateLayout: return QStringLiteral("&Update Layout");
    case LayoutCommand::renameLayout: return QStringLiteral("Rena&me Layout");
    case LayoutCommand::assignHotkey: return QStringLiteral("Set &Hotkey");
    case LayoutCommand::clearHotkey: return QStringLiteral("&Clear Hotkey");
    case LayoutCommand::deleteLayout: return QStringLiteral("&Delete Layout");
    }
    return {};
}

// The context's hotkey title ("Set Hotkey", "Change Hotkey") keeps the item's access key.
QString hotkeyTitle(const QString& title)
{
    QString text = menuText(title);
    const qsizetype at = text.indexOf(QLatin1String("Hotkey"));
    return at < 0 ? text : text.insert(at, QLatin1Char('&'));
}

bool isEnabled(LayoutCommand command, const DashboardCommandAvailability& a)
{
    switch (command) {
    case LayoutCommand::newLayout: return a.canCreateLayout;
    case LayoutCommand::restoreLayout: return a.canRestoreLayout;
    case LayoutCommand::updateLayout: return a.canUpdateLayout;
    case LayoutCommand::renameLayout: return a.canRenameLayout;
    case LayoutCommand::assignHotkey: return a.canAssignHotkey;
    case LayoutCommand::clearHotkey: return a.canClearHotkey;
    case LayoutCommand::deleteLayout: return a.canDeleteLayout;
    }
    return false;
}

const std::function<void()>& actionOf(LayoutCommand command, const DashboardCommandContext& c)
{
    switch (command) {
    case LayoutCommand::newLayout: return c.createLayout;
    case LayoutCommand::restoreLayout: return c.restoreLayout;
    case LayoutCommand::updateLayout: return c.updateLayout;
    case LayoutCommand::renameLayout: return c.renameLayout;
    case LayoutCommand::assignHotkey: return c.assignHotkey;
    case LayoutCommand::clearHotkey: return c.clearHotkey;
    case LayoutCommand::deleteLayout: break;
    }
    return c.deleteLayout;
}

void callIfSet(const std::function<void()>& fn)
{
    if (fn)
        fn();
}

} // namespace

DashboardCommands::DashboardCommands(QMenuBar& menuBar, ApplicationActions application, ContextSource context)
    : QObject(&menuBar)
    , m_application(std::move(application))
    , m_context(std::move(context))
{
    m_applicationMenu = menuBar.addMenu(QStringLiteral("&Zentharion"));
    // This menu lives in the dashboard window, which is open whenever its keys can be pressed:
    // "Open Dashboard" takes no key, and the platform's New makes a new layout, as New does in
    // a document window.
    m_openDashboard = m_applicationMenu->addAction(QStringLiteral("&Open Dashboard"));
    connect(m_openDashboard, &QAction::triggered, this, [this] { callIfSet(m_application.openDashboard); });
    m_checkForUpdates = m_applicationMenu->addAction(QStringLiteral("Check for &Updates"));
    connect(m_checkForUpdates, &QAction::triggered, this, [this] { callIfSet(m_application.checkForUpdates); });
    m_settings = m_applicationMenu->addAction(QStringLiteral("&Settings…"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_settings, &QAction::triggered, this, [this] { callIfSet(m_application.openSettings); });
    m_applicationMenu->addSeparator();
    m_quit = m_applicationMenu->addAction(QStringLiteral("&Quit"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(m_quit, &QAction::triggered, this, [this] { callIfSet(m_application.quit); });

    m_layoutMenu = menuBar.addMenu(QStringLiteral("&Layout"));
    for (LayoutCommand command : allCommands) {
        if (command == LayoutCommand::restoreLayout || command == LayoutCommand::deleteLayout)
            m_layoutMenu->addSeparator();
        QAction* action = m_layoutMenu->addAction(fixedTitle(command));
        connect(action, &QAction::triggered, this, [this, command] { run(command); });
        m_layoutActions[int(command)] = action;
    }
    layoutAction(LayoutCommand::newLayout)->setShortcut(QKeySequence::New);

    // F10 opens the first menu, as in other desktop programs' windows.
    auto* openMenus = new QShortcut(QKeySequence(Qt::Key_F10), &menuBar);
    openMenus->setContext(Qt::WindowShortcut);
    connect(openMenus, &QShortcut::activated, this, [this, bar = &menuBar] {
        bar->setActiveAction(m_applicationMenu->menuAction());
    });
    // The state may have moved on since the last refresh (the update checker, for one).
    connect(m_applicationMenu, &QMenu::aboutToShow, this, &DashboardCommands::refresh);
    connect(m_layoutMenu, &QMenu::aboutToShow, this, &DashboardCommands::refresh);
    refresh();
}

QAction* DashboardCommands::layoutAction(LayoutCommand command) const
{
    return m_layoutActions[int(command)];
}

void DashboardCommands::refresh()
{
    m_checkForUpdates->setEnabled(m_application.canCheckForUpdates && m_application.canCheckForUpdates());
    m_settings->setEnabled(bool(m_application.openSettings));

    const auto context = m_context ? m_context() : std::nullopt;
    for (LayoutCommand command : allCommands) {
        QAction* action = layoutAction(command);
        action->setEnabled(context && isEnabled(command, context->availability));
        if (command == LayoutCommand::assignHotkey)
            action->setText(context ? hotkeyTitle(context->availability.hotkeyCommandTitle) : fixedTitle(command));
    }
}

void DashboardCommands::run(LayoutCommand command)
{
    // The context of this moment, not the one the menu was built from.
    const auto context = m_context ? m_context() : std::nullopt;
    if (context && isEnabled(command, context->availability))
        callIfSet(actionOf(command, *context));
}

} // namespace zen
