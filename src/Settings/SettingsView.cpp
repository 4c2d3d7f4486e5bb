#include "Settings/SettingsView.h"

#include "Onboarding/TextStyle.h"
#include "Settings/SettingsRows.h"
#include "Settings/SettingsSymbols.h"
#include "Shared/ApplicationIcon.h"
#include "Shared/DesktopWords.h"

#include <QFrame>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zen {

namespace {

QFrame* section(QVBoxLayout* page)
{
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("section"));
    frame->setStyleSheet(QStringLiteral("QFrame#section { background: palette(base); border: 1px solid palette(midlight);"
                                        " border-radius: 8px; }"));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(8);
    page->addWidget(frame);
    return frame;
}

QVBoxLayout* rowsOf(QFrame* frame)
{
    return static_cast<QVBoxLayout*>(frame->layout());
}

// A row of `frame` titled `title` whose control is a switch.
SettingsSwitch* switchRow(QFrame* frame, const QString& title, const QString& systemImage, const QString& objectName)
{
    // The row's title names it; the switch has no label of its own.
    auto* toggle = new SettingsSwitch;
    toggle->setAccessibleName(title);
    toggle->setObjectName(objectName);
    rowsOf(frame)->addWidget(new SettingsValueRow(title, systemImage, std::nullopt, SettingsTint::secondary, toggle));
    return toggle;
}

void setCheckedQuietly(QAbstractButton* toggle, bool checked)
{
    const QSignalBlocker blocker(toggle);
    toggle->setChecked(checked);
}

// A row of `frame` for the words on settings not saved.
SettingsStatusRow* notSavedRow(QFrame* frame, const QString& objectName)
{
    auto* row = new SettingsStatusRow;
    row->setObjectName(objectName);
    rowsOf(frame)->addWidget(row);
    return row;
}

// Shows `shown` (the row, or the section it has to itself) while there are words.
void showNotSaved(QWidget* shown, SettingsStatusRow* row, const std::optional<QString>& reason)
{
    shown->setVisible(reason.has_value());
    if (reason)
        row->setStatus(*reason, QStringLiteral("exclamationmark.triangle.fill"), SettingsTint::orange);
}

QLabel* captionText(const QString& text)
{
    QLabel* label = TextStyle::plainLabel(text, nullptr, true);
    makeCaption(label);
    return label;
}

QVBoxLayout* page(QWidget* widget)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    return layout;
}

} // namespace

QString SettingsView::diagnosticsPolicyText()
{
    return QStringLiteral("Zentharion stores diagnostic logs locally on %1 to help troubleshoot layout capture and "
                          "restore issues. Logs are never uploaded automatically. Entries older than 7 days are "
                          "removed, and the log file is capped at 5 MiB.")
        .arg(DesktopWords::thisComputer);
}

SettingsView::SettingsView(std::shared_ptr<SettingsViewPresenter> presenter, QWidget* parent)
    : QWidget(parent)
    , m_presenter(std::move(presenter))
{
    setWindowTitle(QStringLiteral("Settings"));
    setWindowIcon(applicationIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, 0, margin, margin);
    m_tabs = new QTabWidget;
    m_tabs->setFixedSize(tabWidth, tabHeight);
    m_tabs->addTab(buildGeneralTab(), SettingsSymbols::icon(QStringLiteral("gearshape")), QStringLiteral("General"));
    m_tabs->addTab(buildDiagnosticsTab(), SettingsSymbols::icon(QStringLiteral("wrench.and.screwdriver")),
                   QStringLiteral("Diagnostics"));
    m_tabs->addTab(buildAboutTab(), SettingsSymbols::icon(QStringLiteral("info.circle")), QStringLiteral("About"));
    layout->addWidget(m_tabs, 0, Qt::AlignHCenter);
    setFixedSize(tabWidth + 2 * margin, tabHeight + margin);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        m_presenter->selectTab(static_cast<SettingsTab>(index));
    });
    connect(m_presenter.get(), &SettingsViewPresenter::changed, this, &SettingsView::render);
    render();

    // A settings window closes from the keyboard as a dialog does: Escape, and Ctrl+W, the
    // close-window key of this desktop's programs.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* closeKey = new QShortcut(keys, this);
        closeKey->setContext(Qt::WindowShortcut);
        connect(closeKey, &QShortcut::activated, this, &QWidget::close);
    }
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::buildGeneralTab()
{
    auto* tab = new QWidget;
    QVBoxLayout* layout = page(tab);
    SettingsViewPresenter* p = m_presenter.get();

    QFrame* launch = section(layout);
    m_launchAtLoginSwitch = switchRow(launch, QStringLiteral("Launch at Login"), QStringLiteral("power"),
                                      QStringLiteral("launchAtLoginSwitch"));
    connect(m_launchAtLoginSwitch, &QAbstractButton::toggled, p, &SettingsViewPresenter::setLaunchAtLogin);
    m_launchAtLoginStatus = new SettingsStatusRow;
    m_launchAtLoginStatus->setObjectName(QStringLiteral("launchAtLoginStatus"));
    rowsOf(launch)->addWidget(m_launchAtLoginStatus);
    m_openLoginItems = new SettingsActionRow(QStringLiteral("Open %1 Folder").arg(DesktopWords::autostart),
                                             QStringLiteral("arrow.up.forward"), std::nullopt);
    m_openLoginItems->setObjectName(QStringLiteral("openLoginItems"));
    connect(m_openLoginItems, &QAbstractButton::clicked, p, &SettingsViewPresenter::openLoginItemsSettings);
    rowsOf(launch)->addWidget(m_openLoginItems);

    QFrame* updates = section(layout);
    m_automaticUpdatesSwitch = switchRow(updates, QStringLiteral("Automatically Check for Updates"),
                                         QStringLiteral("arrow.triangle.2.circlepath"),
                                         QStringLiteral("automaticUpdatesSwitch"));
    connect(m_automaticUpdatesSwitch, &QAbstractButton::toggled, p, &SettingsViewPresenter::setAutomaticallyChecksForUpdates);
    m_updatesUnavailable = captionText(SettingsViewPresenter::updatesUnavailableText());
    m_updatesUnavailable->setObjectName(QStringLiteral("updatesUnavailable"));
    rowsOf(updates)->addWidget(m_updatesUnavailable);

    QFrame* displays = section(layout);
    m_displaySuggestionsSwitch = switchRow(displays, QStringLiteral("Suggest Layouts When Displays Change"),
                                           QStringLiteral("display.2"), QStringLiteral("displaySuggestionsSwitch"));
    connect(m_displaySuggestionsSwitch, &QAbstractButton::toggled, p, &SettingsViewPresenter::setSuggestRestoreOnDisplayChange);
    // Under the last of the switches kept in the settings file, where the change was made: a
    // section of its own would not fit while every other section is shown.
    m_generalNotSaved = notSavedRow(displays, QStringLiteral("generalSettingsNotSaved"));

    m_accessibilitySection = section(layout);
    m_accessibilitySection->setObjectName(QStringLiteral("accessibilitySection"));
    rowsOf(m_accessibilitySection)
        ->addWidget(new SettingsValueRow(DesktopWords::windowAccess, QStringLiteral("hand.raised.fill"),
                                         QStringLiteral("Missing"), SettingsTint::orange, nullptr));
    auto* openAccess = new SettingsActionRow(QStringLiteral("Open %1").arg(DesktopWords::accessHelp),
                                             QStringLiteral("arrow.up.forward"), std::nullopt);
    connect(openAccess, &QAbstractButton::clicked, p, &SettingsViewPresenter::openAccessibilitySettings);
    rowsOf(m_accessibilitySection)->addWidget(openAccess);
    // The section keeps its own look even while it is the "section" style's only sibling.
    m_accessibilitySection->setStyleSheet(m_accessibilitySection->styleSheet().replace("QFrame#section",
                                                                                       "QFrame#accessibilitySection"));
    layout->addStretch(1);
    return tab;
}

QWidget* SettingsView::buildDiagnosticsTab()
{
    auto* tab = new QWidget;
    QVBoxLayout* layout = page(tab);
    SettingsViewPresenter* p = m_presenter.get();

    rowsOf(section(layout))->addWidget(captionText(diagnosticsPolicyText()));

    m_noLogSection = section(layout);
    auto* noLog = new SettingsStatusRow;
    noLog->setStatus(QStringLiteral("No diagnostic log has been created yet."), QStringLiteral("info.circle"),
                     SettingsTint::secondary);
    rowsOf(m_noLogSection)->addWidget(noLog);

    m_logActionsSection = section(layout);
    auto* reveal = new SettingsActionRow(QStringLiteral("Reveal Diagnostic Log in %1").arg(DesktopWords::fileManager),
                                         QStringLiteral("arrow.up.forward"), std::nullopt);
    connect(reveal, &QAbstractButton::clicked, p, &SettingsViewPresenter::revealDiagnosticLog);
    m_exportRow = new SettingsActionRow(QStringLiteral("Export Diagnostic Log..."),
                                        QStringLiteral("square.and.arrow.up"), std::nullopt);
    connect(m_exportRow, &QAbstractButton::clicked, p, &SettingsViewPresenter::exportDiagnosticLog);
    m_deleteRow = new SettingsActionRow(QStringLiteral("Delete Diagnostic Log"), QStringLiteral("trash"), std::nullopt);
    connect(m_deleteRow, &QAbstractButton::clicked, p, &SettingsViewPresenter::deleteDiagnosticLog);
    for (SettingsActionRow* row : {reveal, m_exportRow, m_deleteRow})
        rowsOf(m_logActionsSection)->addWidget(row);

    m_unavailableSection = section(layout);
    auto* unavailable = new SettingsStatusRow;
    unavailable->setStatus(
        QStringLiteral("Diagnostic logs are unavailable because the app's support directory could not be prepared."),
        QStringLiteral("exclamationmark.triangle.fill"), SettingsTint::orange);
    rowsOf(m_unavailableSection)->addWidget(unavailable);

    m_logStatusSection = section(layout);
    m_logStatus = new SettingsStatusRow;
    m_logStatus->setObjectName(QStringLiteral("diagnosticLogStatus"));
    rowsOf(m_logStatusSection)->addWidget(m_logStatus);

    m_settingsNotSavedSection = section(layout);
    m_settingsNotSaved = notSavedRow(m_settingsNotSavedSection, QStringLiteral("settingsNotSaved"));
    layout->addStretch(1);
    return tab;
}

QWidget* SettingsView::buildAboutTab()
{
    auto* tab = new QWidget;
    QVBoxLayout* layout = page(tab);
    SettingsViewPresenter* p = m_presenter.get();

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    header->setContentsMargins(0, 16 - layout->contentsMargins().top() + 12, 0, 8);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(64, 64);
    icon->setPixmap(applicationIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    header->addWidget(icon, 0, Qt::AlignHCenter);
    m_appName = TextStyle::plainLabel(QString());
    m_appName->setObjectName(QStringLiteral("appName"));
    QFont title = m_appName->font();
    title.setPointSizeF(title.pointSizeF() * 1.35);
    title.setBold(true);
    m_appName->setFont(title);
    header->addWidget(m_appName, 0, Qt::AlignHCenter);
    m_version = captionText(QString());
    m_version->setObjectName(QStringLiteral("version"));
    m_version->setWordWrap(false);
    header->addWidget(m_version, 0, Qt::AlignHCenter);
    layout->addLayout(header);

    QFrame* actions = section(layout);
    m_checkForUpdates = new SettingsActionRow(QStringLiteral("Check for Updates"), QStringLiteral("chevron.right"),
                                              QStringLiteral("arrow.down.circle"));
    connect(m_checkForUpdates, &QAbstractButton::clicked, p, &SettingsViewPresenter::checkForUpdates);
    m_contactSupport = new SettingsActionRow(QStringLiteral("Contact Support"), QStringLiteral("arrow.up.forward"),
                                             QStringLiteral("envelope"));
    connect(m_contactSupport, &QAbstractButton::clicked, p, &SettingsViewPresenter::openSupportEmail);
    rowsOf(actions)->addWidget(m_checkForUpdates);
    rowsOf(actions)->addWidget(m_contactSupport);
    m_supportUnavailable = captionText(SettingsViewPresenter::supportUnavailableText());
    m_supportUnavailable->setObjectName(QStringLiteral("supportUnavailable"));
    rowsOf(actions)->addWidget(m_supportUnavailable);
    rowsOf(actions)->addWidget(captionText(QStringLiteral("A local diagnostic log is attached when available.")));
    m_supportStatus = new SettingsStatusRow;
    m_supportStatus->setObjectName(QStringLiteral("supportStatus"));
    rowsOf(actions)->addWidget(m_supportStatus);
    layout->addStretch(1);
    return tab;
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_presenter->contentAppeared();
}

void SettingsView::render()
{
    const SettingsViewPresenter& p = *m_presenter;
    {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(static_cast<int>(p.selectedTab()));
    }

    const LaunchAtLoginState& login = p.launchAtLoginState();
    setCheckedQuietly(m_launchAtLoginSwitch, login.isEnabled);
    m_launchAtLoginSwitch->setEnabled(login.canToggle());
    m_launchAtLoginStatus->setVisible(login.message.has_value());
    if (login.message)
        m_launchAtLoginStatus->setStatus(*login.message, p.launchAtLoginStatusIcon(), p.launchAtLoginStatusTint());
    m_openLoginItems->setVisible(login.requiresApproval);
    setCheckedQuietly(m_automaticUpdatesSwitch, p.automaticallyChecksForUpdates());
    m_automaticUpdatesSwitch->setEnabled(p.canChangeAutomaticUpdateChecks());
    m_updatesUnavailable->setVisible(!p.canChangeAutomaticUpdateChecks());
    setCheckedQuietly(m_displaySuggestionsSwitch, p.suggestRestoreOnDisplayChange());
    m_accessibilitySection->setVisible(p.showsAccessibilitySection());

    m_noLogSection->setVisible(p.hasDiagnosticLogController() && !p.hasDiagnosticLog());
    m_logActionsSection->setVisible(p.hasDiagnosticLogController());
    m_exportRow->setEnabled(p.hasDiagnosticLog());
    m_deleteRow->setEnabled(p.hasDiagnosticLog());
    m_unavailableSection->setVisible(!p.hasDiagnosticLogController());
    m_logStatusSection->setVisible(p.diagnosticLogStatus().has_value());
    if (const auto& status = p.diagnosticLogStatus())
        m_logStatus->setStatus(status->message, status->systemImage, status->tint);
    const auto notSaved = p.settingsNotSavedReason();
    showNotSaved(m_generalNotSaved, m_generalNotSaved, notSaved);
    showNotSaved(m_settingsNotSavedSection, m_settingsNotSaved, notSaved);

    m_appName->setText(p.appName());
    const auto version = p.versionNumber();
    m_version->setVisible(version.has_value());
    m_version->setText(QStringLiteral("Version ") + version.value_or(QString()));
    m_checkForUpdates->setEnabled(p.canCheckForUpdates());
    m_contactSupport->setEnabled(p.canContactSupport());
    m_supportUnavailable->setVisible(!p.canContactSupport());
    m_supportStatus->setVisible(p.supportStatus().has_value());
    if (const auto& status = p.supportStatus())
        m_supportStatus->setStatus(status->message, status->systemImage, status->tint);
}

} // namespace zen
