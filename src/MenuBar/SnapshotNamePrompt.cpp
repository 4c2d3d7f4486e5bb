#include "MenuBar/SnapshotNamePrompt.h"

#include "Onboarding/TextStyle.h"

#include <QShowEvent>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>


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

std::optional<QString> runPrompt(SnapshotNameDialog::Purpose purpose, const QString& name, QWidget* parent,
                                 const SnapshotNamePrompt::BringForward& bringForward)
{
    // Asked from a window (the dashboard's "New Layout"), the prompt is that window's dialog.
    SnapshotNameDialog dialog(purpose, name, parent ? parent : QApplication::activeWindow());
    dialog.setBringForward(bringForward);
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

    auto* title = TextStyle::plainLabel(texts.title, this, true);
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
    layout->addWidget(TextStyle::plainLabel(texts.message, this, true));
    layout->addWidget(m_field);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SnapshotNameDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Shown again by the window system (restored by a pager, its workspace shown again): the
    // keyboard stays with the window the person has; only the person's asking brings it here.
    if (event->spontaneous())
        return;
    // The whole name is selected so typing replaces it.
    m_field->setFocus(Qt::OtherFocusReason);
    m_field->selectAll();
    activateWindow();
    raise();
    // The toolkit's own request for the keyboard comes from a program in the background as far
    // as the window manager knows (the tray menu that asked has closed), and one that prevents
    // focus stealing may leave the prompt without it: typing and Return would go to another
    // window while every restore waits for the prompt. It is asked for directly, once the window
    // manager manages the window, which it does by the time the window is first on screen.
    // That is the only time it asks: the keyboard belongs to the window the person makes active,
    // and a request made later, whenever the prompt is not active, takes it from a window they
    // turned to on purpose and puts what they type there into the name field. Left without it,
    // the prompt stands raised in sight, and a click gives it the keys; hidden by a window the
    // person put over it, it comes back when they ask for the program (its tray icon, one of its
    // shortcuts, another launch), which asks for it on their behalf. It takes no grab: a
    // grab kept the keys from the window the person turned to and from the window manager's own
    // keys, lost the typed letters when it was the dialog's, and failed unseen while another
    // program held the keyboard. (A filter installed again replaces itself: one per showing.)
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
}

bool SnapshotNameDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        // Gone with the first expose, which is what keeps the prompt from asking again: every
        // later one (the prompt uncovered, or brought back by the person) leaves the keyboard
        // where it is.
        watched->removeEventFilter(this);
        if (m_bringForward)
            m_bringForward(winId());
    }
    return QDialog::eventFilter(watched, event);
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

std::optional<QString> SnapshotNamePrompt::prompt(const QString& defaultName, QWidget* parent,
                                                  const BringForward& bringForward)
{
    return runPrompt(SnapshotNameDialog::Purpose::save, defaultName, parent, bringForward);
}

std::optional<QString> SnapshotNamePrompt::promptRename(const QString& currentName, QWidget* parent,
                                                        const BringForward& bringForward)
{
    return runPrompt(SnapshotNameDialog::Purpose::rename, currentName, parent, bringForward);
}

} // namespace zen
