#pragma once

#include "Dashboard/DashboardCommandContext.h"

#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;

namespace zen {

// The dashboard window's menu bar. Linux desktops have no global application menu, so the
// commands the application menu would hold live here: "Open Dashboard", the update check,
// "Settings…" and "Quit", and the "Layout" menu acting on the layout selected in the focused
// dashboard window. Without a context (no dashboard focused) every Layout command is disabled.
// The keyboard reaches it all: access keys on every menu and item, F10 for the first menu.
class DashboardCommands : public QObject {
    Q_OBJECT
public:
    struct ApplicationActions {
        std::function<void()> openDashboard;
        std::function<bool()> canCheckForUpdates;
        std::function<void()> checkForUpdates;
        // Empty: "Settings…" is disabled.
        std::function<void()> openSettings;
        std::function<void()> quit;
    };
    using ContextSource = std::function<std::optional<DashboardCommandContext>()>;

    enum class LayoutCommand { newLayout, restoreLayout, updateLayout, renameLayout, assignHotkey, clearHotkey,
                               deleteLayout };

    DashboardCommands(QMenuBar& menuBar, ApplicationActions application, ContextSource context);

    // Re-reads the context and the update state into titles and enabled states.
    void refresh();

    QMenu* applicationMenu() const { return m_applicationMenu; }
    QMenu* layoutMenu() const { return m_layoutMenu; }
    QAction* openDashboardAction() const { return m_openDashboard; }
    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* settingsAction() const { return m_settings; }
    QAction* layoutAction(LayoutCommand command) const;

private:
    void run(LayoutCommand command);

    ApplicationActions m_application;
    ContextSource m_context;
    QMenu* m_applicationMenu = nullptr;
    QMenu* m_layoutMenu = nullptr;
    QAction* m_openDashboard = nullptr;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_layoutActions[7] = {};
};

} // namespace zen
