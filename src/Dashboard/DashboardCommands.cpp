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

using Availability = DashboardCommandAvailability;
using Context = DashboardCommandContext;

// The Layout commands in the order of LayoutCommand: each title with its access key (each
// letter once in its menu, so Alt and the letter, or the letter in the open menu, chooses the
// item at once), when the command may run, and what runs it.
struct CommandSpec {
    const char* title;
    bool Availability::*enabled;
    std::function<void()> Context::*action;
};
constexpr CommandSpec commandSpecs[] = {
    {"&New Layout", &Availability::canCreateLayout, &Context::createLayout},
    {"&Restore Layout", &Availability::canRestoreLayout, &Context::restoreLayout},
    {"&Update Layout", &Availability::canUpdateLayout, &Context::updateLayout},
    {"Rena&me Layout", &Availability::canRenameLayout, &Context::renameLayout},
    {"Set &Hotkey", &Availability::canAssignHotkey, &Context::assignHotkey},
    {"&Clear Hotkey", &Availability::canClearHotkey, &Context::clearHotkey},
    {"&Delete Layout", &Availability::canDeleteLayout, &Context::deleteLayout},
};
static_assert(std::size(commandSpecs) == std::size(allCommands));

const CommandSpec& specOf(LayoutCommand command)
{
    return commandSpecs[int(command)];
}

QString fixedTitle(LayoutCommand command)
{
    return QString::fromUtf8(specOf(command).title);
}

// The context's hotkey title ("Set Hotkey", "Change Hotkey") keeps the item's access key.
QString hotkeyTitle(const QString& title)
{
    QString text = menuText(title);
    const qsizetype at = text.indexOf(QLatin1String("Hotkey"));
    return at < 0 ? text : text.insert(at, QLatin1Char('&'));
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
        action->setEnabled(context && context->availability.*specOf(command).enabled);
        if (command == LayoutCommand::assignHotkey)
            action->setText(context ? hotkeyTitle(context->availability.hotkeyCommandTitle) : fixedTitle(command));
    }
}

void DashboardCommands::run(LayoutCommand command)
{
    // The context of this moment, not the one the menu was built from.
    const auto context = m_context ? m_context() : std::nullopt;
    if (context && context->availability.*specOf(command).enabled)
        callIfSet((*context).*specOf(command).action);
}

} // namespace zen
