#include "Settings/SettingsNavigationController.h"

namespace zen {

void SettingsNavigationController::setSelectedTab(SettingsTab tab)
{
    if (m_selectedTab == tab)
        return;
    m_selectedTab = tab;
    Q_EMIT selectedTabChanged(tab);
}

} // namespace zen
