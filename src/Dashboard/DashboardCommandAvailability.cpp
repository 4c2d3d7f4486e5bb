#include "Dashboard/DashboardCommandAvailability.h"

namespace zen {

DashboardCommandAvailability DashboardCommandAvailability::make(bool isSnapshotActionDisabled, bool hasSelectedLayout,
                                                                bool selectedLayoutHasHotkey)
{
    const bool enabled = !isSnapshotActionDisabled;
    const bool onSelection = enabled && hasSelectedLayout;
    DashboardCommandAvailability availability;
    availability.canCreateLayout = enabled;
    availability.canRestoreLayout = onSelection;
    availability.canUpdateLayout = onSelection;
    availability.canRenameLayout = onSelection;
    availability.canAssignHotkey = onSelection;
    availability.canClearHotkey = onSelection && selectedLayoutHasHotkey;
    availability.canDeleteLayout = onSelection;
    availability.hotkeyCommandTitle =
        selectedLayoutHasHotkey ? QStringLiteral("Change Hotkey") : QStringLiteral("Set Hotkey");
    return availability;
}

} // namespace zen
