#pragma once

#include <QString>

namespace zen {

// Which Layout commands may run, derived from the dashboard's state.
struct DashboardCommandAvailability {
    bool canCreateLayout = false;
    bool canRestoreLayout = false;
    bool canUpdateLayout = false;
    bool canRenameLayout = false;
    bool canAssignHotkey = false;
    bool canClearHotkey = false;
    bool canDeleteLayout = false;
    QString hotkeyCommandTitle;

    // The title follows the selected layout's hotkey even while actions are locked, so the
    // menu does not flicker between titles during a save or restore.
    static DashboardCommandAvailability make(bool isSnapshotActionDisabled, bool hasSelectedLayout,
                                             bool selectedLayoutHasHotkey);

    friend bool operator==(const DashboardCommandAvailability&, const DashboardCommandAvailability&) = default;
};

} // namespace zen
