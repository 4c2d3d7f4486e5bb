#include "MenuBar/SnapshotNamePrompt.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

namespace {

struct PromptTexts {
    QString title;
    QString message;
    QString confirm;
};

PromptTexts textsFor(SnapshotNameDialog::Purpose purpose)
{
    if (purpose == SnapshotNameDialog::Purpose::save)
        return {QStringLiteral("Save Current Layout"), QStringLiteral("Choose a name for this layout."),
                QStringLiteral("Save")};
    return {QStringLiteral("Rename Layout"), QStringLiteral("Choose a new name for this layout."),
            QStringLiteral("Rename")};
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setWordWrap(true);
    return label;
}

std::optional<QString> runPrompt(SnapshotNameDialog::Purpose purpose, const QString& name, QWidget* parent)
{
    // Asked from a window (the dashboard's "New Layout"), the prompt is that window's dialog.
    SnapshotNameDialog dialog(purpose, name, parent ? parent : QApplication::activeWindow());
    dialog.exec();
    return dialog.answer();
}

} // namespace

SnapshotNameDialog::SnapshotNameDialog(Purpose purpose, const QString& name, QWidget* parent)
    : QDialog(parent)
    , m_purpose(purpose)
    , m_givenName(name)
{
    const auto texts = textsFor(purpose);
    setWindowTitle(texts.title);
    setWindowModality(Qt::ApplicationModal);
    // A prompt, not a document window: no minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* title = plainLabel(texts.title, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    m_field = new QLineEdit(name, this);
    m_field->setFixedWidth(280);

    auto* buttons = new QDialogButtonBox(this);
    m_confirm = buttons->addButton(texts.confirm, QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_confirm->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(plainLabel(texts.message, this));
    layout->addWidget(m_field);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SnapshotNameDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The whole name is selected so typing replaces it.
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->selectAll();
    activateWindow();
    raise();
}

std::optional<QString> SnapshotNameDialog::answer() const
{
    if (result() != QDialog::Accepted)
        return std::nullopt;
    const QString trimmed = m_field->text().trimmed();
    if (m_purpose == Purpose::save && trimmed.isEmpty())
        return m_givenName;
    return trimmed;
}

std::optional<QString> SnapshotNamePrompt::prompt(const QString& defaultName, QWidget* parent)
{
    return runPrompt(SnapshotNameDialog::Purpose::save, defaultName, parent);
}

std::optional<QString> SnapshotNamePrompt::promptRename(const QString& currentName, QWidget* parent)
{
    return runPrompt(SnapshotNameDialog::Purpose::rename, currentName, parent);
}

} // namespace zen
