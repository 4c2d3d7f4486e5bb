#pragma once

#include "Settings/SettingsViewPresenter.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QTabWidget;

namespace zen {

class SettingsActionRow;
class SettingsSwitch;
class SettingsStatusRow;

// The settings window: General, Diagnostics and About tabs over one presenter. It renders the
// presenter's state and forwards clicks; closing it only hides it.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(std::shared_ptr<SettingsViewPresenter> presenter, QWidget* parent = nullptr);
    ~SettingsView() override;

    // The Part's sizes in device-independent pixels.
    static constexpr int tabWidth = 540;
    static constexpr int tabHeight = 390;
    static constexpr int margin = 16;

    const std::shared_ptr<SettingsViewPresenter>& presenter() const { return m_presenter; }
    QTabWidget* tabs() const { return m_tabs; }

    // The policy text of the Diagnostics tab.
    static QString diagnosticsPolicyText();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildGeneralTab();
    QWidget* buildDiagnosticsTab();
    QWidget* buildAboutTab();
    void render();

    std::shared_ptr<SettingsViewPresenter> m_presenter;
    QTabWidget* m_tabs = nullptr;

    SettingsSwitch* m_launchAtLoginSwitch = nullptr;
    SettingsStatusRow* m_launchAtLoginStatus = nullptr;
    SettingsActionRow* m_openLoginItems = nullptr;
    SettingsSwitch* m_automaticUpdatesSwitch = nullptr;
    QLabel* m_updatesUnavailable = nullptr;
    SettingsSwitch* m_displaySuggestionsSwitch = nullptr;
    QFrame* m_accessibilitySection = nullptr;
    SettingsStatusRow* m_generalNotSaved = nullptr;

    QFrame* m_noLogSection = nullptr;
    QFrame* m_logActionsSection = nullptr;
    QFrame* m_unavailableSection = nullptr;
    QFrame* m_logStatusSection = nullptr;
    QFrame* m_settingsNotSavedSection = nullptr;
    SettingsStatusRow* m_settingsNotSaved = nullptr;
    SettingsStatusRow* m_logStatus = nullptr;
    SettingsActionRow* m_exportRow = nullptr;
    SettingsActionRow* m_deleteRow = nullptr;

    QLabel* m_appName = nullptr;
    QLabel* m_version = nullptr;
    SettingsActionRow* m_checkForUpdates = nullptr;
    SettingsActionRow* m_contactSupport = nullptr;
    QLabel* m_supportUnavailable = nullptr;
    SettingsStatusRow* m_supportStatus = nullptr;
};

} // namespace zen
