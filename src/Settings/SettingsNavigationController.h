#pragma once

#include "Settings/SettingsTab.h"

#include <QObject>

namespace zen {

// The tab the settings window shows. Lives for the whole process, so that a reopened window
// shows the tab last selected; only the settings window changes it. Main thread only.
class SettingsNavigationController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    SettingsTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(SettingsTab tab);

Q_SIGNALS:
    void selectedTabChanged(zen::SettingsTab tab);

private:
    SettingsTab m_selectedTab = SettingsTab::general;
};

} // namespace zen
