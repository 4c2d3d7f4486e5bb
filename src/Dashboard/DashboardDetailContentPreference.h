#pragma once

namespace zen {

// What the dashboard's detail pane shows. The permission education wins over a selected
// layout: the user asked for something that needs access and must learn why it did not happen.
enum class DashboardDetailContentPreference { permissionEducation, selectedLayout, emptyState };

inline DashboardDetailContentPreference resolveDashboardDetailContent(bool showsPermissionEducation,
                                                                      bool hasSelectedLayout)
{
    if (showsPermissionEducation)
        return DashboardDetailContentPreference::permissionEducation;
    return hasSelectedLayout ? DashboardDetailContentPreference::selectedLayout
                             : DashboardDetailContentPreference::emptyState;
}

} // namespace zen
