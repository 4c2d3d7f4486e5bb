#include "Updates/UpdateAlert.h"

#include "Onboarding/TextStyle.h"
#include "Shared/StringExtensions.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

namespace {

QLabel* plainLabel(const QString& text, bool bold)
{
    QLabel* label = TextStyle::plainLabel(text, nullptr, true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

} // namespace

UpdateAlert::UpdateAlert(const QString& message, const QString& detail, const QString& notes)
    : m_message(message)
{
    // No icon of its own: a dialog shows the program's, as its other windows do.
    setWindowTitle(QStringLiteral("Check for Updates"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(message, true));
    if (!detail.isEmpty())
        layout->addWidget(plainLabel(detail, false));
    if (!notes.isEmpty()) {
        auto* notesView = new QPlainTextEdit(cutForDisplay(notes, maximumNotesLength));
        notesView->setReadOnly(true);
        // A long unbroken line wraps anywhere rather than stretching one line out of sight.
        notesView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        notesView->setObjectName(QStringLiteral("notes"));
        notesView->setMinimumSize(380, 140);
        layout->addWidget(notesView);
    }
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch();
    layout->addLayout(m_buttons);
    setMinimumWidth(420);
}

void UpdateAlert::addButton(const QString& title, UpdaterUserChoice choice, bool isDefault)
{
    auto* button = new QPushButton(title);
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    connect(button, &QPushButton::clicked, this, [this, choice] { answer(choice); });
    m_buttons->addWidget(button);
}

QPushButton* UpdateAlert::button(const QString& title) const
{
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == title)
            return b;
    return nullptr;
}

void UpdateAlert::answer(UpdaterUserChoice choice)
{
    if (m_answered)
        return;
    m_answered = true;
    Q_EMIT answered(choice);
    close();
}

void UpdateAlert::closeEvent(QCloseEvent* event)
{
    if (!m_answered) {
        m_answered = true;
        Q_EMIT answered(m_closeChoice);
    }
    QDialog::closeEvent(event);
}

UpdateAlert::~UpdateAlert()
{
    // Gone with the window it belongs to: the check must not wait for an answer nobody can give.
    if (!m_answered) {
        m_answered = true;
        Q_EMIT answered(m_closeChoice);
    }
}

QString UpdateAlert::cutForDisplay(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype end = length;
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end) + QChar(0x2026);
}

UpdateAlert* UpdateAlert::upToDate(const QString& currentVersion)
{
    auto* alert = new UpdateAlert(QStringLiteral("You're up to date."),
                                  QStringLiteral("Zentharion %1 is the newest version available.").arg(currentVersion),
                                  {});
    alert->addButton(QStringLiteral("OK"), UpdaterUserChoice::dismiss, true);
    return alert;
}

UpdateAlert* UpdateAlert::updateFound(const UpdateFeedItem& item, const QString& currentVersion)
{
    // Isolated, so that a direction override in the label cannot reverse the sentence around it.
    const QString version = isolatedForDisplay(cutForDisplay(item.displayVersionString, maximumVersionLength));
    auto* alert = new UpdateAlert(
        QStringLiteral("A new version of Zentharion is available."),
        QStringLiteral("Zentharion %1 is available; you have %2. Install opens its download page in your browser.")
            .arg(version, currentVersion),
        item.notes);
    // The title names the release, so that it shows in the task list and window switcher too.
    alert->setWindowTitle(QStringLiteral("Zentharion %1").arg(version));
    alert->addButton(QStringLiteral("Skip This Version"), UpdaterUserChoice::skip);
    alert->addButton(QStringLiteral("Remind Me Later"), UpdaterUserChoice::dismiss);
    alert->addButton(QStringLiteral("Install"), UpdaterUserChoice::install, true);
    return alert;
}

UpdateAlert* UpdateAlert::failure(const QString& message)
{
    auto* alert = new UpdateAlert(QStringLiteral("The update check failed."), message, {});
    alert->addButton(QStringLiteral("OK"), UpdaterUserChoice::dismiss, true);
    return alert;
}

void UpdateAlertUserDriver::present(UpdateAlert* alert) const
{
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // A dialog of the open dashboard, as its other dialogs are: the window manager keeps it
    // above the dashboard, and it opens centred on it.
    if (QWidget* owner = m_owner ? m_owner() : nullptr)
        alert->setParent(owner, alert->windowFlags());
    alert->show();
    alert->raise();
    alert->activateWindow();
}

void UpdateAlertUserDriver::showUpToDate(const QString& currentVersion, std::function<void()> acknowledged)
{
    UpdateAlert* alert = UpdateAlert::upToDate(currentVersion);
    QObject::connect(alert, &UpdateAlert::answered, alert, [acknowledged](UpdaterUserChoice) { acknowledged(); });
    present(alert);
}

void UpdateAlertUserDriver::showUpdateFound(const UpdateFeedItem& item, const QString& currentVersion,
                                            std::function<void(UpdaterUserChoice)> choice)
{
    UpdateAlert* alert = UpdateAlert::updateFound(item, currentVersion);
    QObject::connect(alert, &UpdateAlert::answered, alert, [choice](UpdaterUserChoice c) { choice(c); });
    present(alert);
}

void UpdateAlertUserDriver::showError(const QString& message, std::function<void()> acknowledged)
{
    UpdateAlert* alert = UpdateAlert::failure(message);
    QObject::connect(alert, &UpdateAlert::answered, alert, [acknowledged](UpdaterUserChoice) { acknowledged(); });
    present(alert);
}

} // namespace zen
