#include "Hotkeys/HotkeyCapturePrompt.h"

#include "Hotkeys/KeyCodeTranslation.h"
#include "Onboarding/TextStyle.h"
#include "Shared/DesktopWords.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

namespace {

constexpr std::uint32_t escapeKeyCode = 53;
QString hint()
{
    return QStringLiteral("Press a shortcut using %1.").arg(DesktopWords::requiredModifierKeys);
}

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

// The characters the key types with Shift but no other modifier. Qt's key already ignores
// Control, Alt and Super (Control+K is Key_K, not a control character) and follows Shift and
// the keyboard layout, which is what the name of a shortcut should show.
std::optional<QString> charactersForKey(int key)
{
    if (key <= 0 || key >= 0x110000)
        return std::nullopt;
    const auto codePoint = static_cast<char32_t>(key);
    if (!QChar::isPrint(codePoint))
        return std::nullopt;
    return QString::fromUcs4(&codePoint, 1);
}

} // namespace

HotkeyCaptureJudgement judgeHotkeyPress(const HotkeyCaptureKeyEvent& event,
                                        const std::vector<UnavailableHotkey>& unavailableHotkeys)
{
    using Kind = HotkeyCaptureJudgement::Kind;
    const auto keyCode = KeyCodeTranslation::macKeyCodeForXKeycode(event.nativeScanCode);
    if (event.key == Qt::Key_Escape || keyCode == escapeKeyCode)
        return {Kind::cancel, {}, std::nullopt};
    if (isModifierKey(event.key) || !keyCode)
        return {Kind::ignore, {}, std::nullopt};

    auto binding = HotkeyBindingValidator::binding({*keyCode, event.modifiers, charactersForKey(event.key)});
    if (!binding)
        return {Kind::refuse, binding.error().errorDescription(), std::nullopt};
    for (const auto& taken : unavailableHotkeys) {
        if (matches(taken.binding, *binding))
            return {Kind::refuse,
                    HotkeyBindingError::duplicateAssignment(taken.snapshotName).errorDescription(),
                    std::nullopt};
    }
    return {Kind::capture, {}, std::move(*binding)};
}

HotkeyCaptureView::HotkeyCaptureView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

bool HotkeyCaptureView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim the key so no shortcut or mnemonic fires; it then arrives as a key press.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Q_EMIT keyPressed({key->nativeScanCode(), key->key(), key->modifiers()});
        return true;
    }
    return QWidget::event(event);
}

HotkeyCaptureWindow::HotkeyCaptureWindow(const QString& snapshotName, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Set Layout Hotkey"));
    setWindowModality(Qt::ApplicationModal);
    resize(360, 160);

    m_view = new HotkeyCaptureView(this);

    QLabel* title = TextStyle::plainLabel(QString(), m_view);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    // Layout names are the user's: long ones are cut at the tail rather than widening the window.
    title->setText(QFontMetrics(headline).elidedText(snapshotName, Qt::ElideRight, 320));

    m_message = TextStyle::plainLabel(hint(), m_view, true);
    m_message->setForegroundRole(QPalette::PlaceholderText);

    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_view);
    // The button must never take the focus from the capture view, or keys would press it.
    m_cancel->setFocusPolicy(Qt::NoFocus);
    m_cancel->setAutoDefault(false);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_cancel);

    auto* stack = new QVBoxLayout(m_view);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(14);
    stack->addWidget(title);
    stack->addWidget(m_message);
    stack->addLayout(buttonRow);
    stack->addStretch();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_view);
}

QString HotkeyCaptureWindow::message() const
{
    return m_message->text();
}

void HotkeyCaptureWindow::setMessage(const QString& message)
{
    m_message->setText(message);
}

void HotkeyCaptureWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_view->setFocus(Qt::OtherFocusReason);
    activateWindow();
    raise();
}

HotkeyCaptureWindowController::HotkeyCaptureWindowController(const QString& snapshotName,
                                                             std::vector<UnavailableHotkey> unavailableHotkeys,
                                                             QWidget* parent)
    : m_unavailable(std::move(unavailableHotkeys))
    , m_window(new HotkeyCaptureWindow(snapshotName, parent))
{
    connect(m_window->captureView(), &HotkeyCaptureView::keyPressed, this, &HotkeyCaptureWindowController::handleKey);
    connect(m_window->cancelButton(), &QPushButton::clicked, this, [this] { stop(std::nullopt); });
    // The close button ends the window by itself; what was captured until then stays nothing.
    connect(m_window, &QDialog::finished, this, [this] { m_hasStoppedModal = true; });
}

HotkeyCaptureWindowController::~HotkeyCaptureWindowController()
{
    delete m_window.data();
}

std::optional<HotkeyBinding> HotkeyCaptureWindowController::capturedBinding() const
{
    return m_window && m_window->result() == QDialog::Accepted ? m_capturedBinding : std::nullopt;
}

std::optional<HotkeyBinding> HotkeyCaptureWindowController::run()
{
    m_window->exec();
    return capturedBinding();
}

void HotkeyCaptureWindowController::handleKey(const HotkeyCaptureKeyEvent& event)
{
    if (m_hasStoppedModal)
        return;
    const auto judgement = judgeHotkeyPress(event, m_unavailable);
    switch (judgement.kind) {
    case HotkeyCaptureJudgement::Kind::cancel:
        stop(std::nullopt);
        break;
    case HotkeyCaptureJudgement::Kind::ignore:
        break;
    case HotkeyCaptureJudgement::Kind::refuse:
        m_window->setMessage(judgement.message);
        break;
    case HotkeyCaptureJudgement::Kind::capture:
        stop(judgement.binding);
        break;
    }
}

void HotkeyCaptureWindowController::stop(std::optional<HotkeyBinding> binding)
{
    // Escape, Cancel and a capture can arrive back to back; the first one decides.
    if (m_hasStoppedModal)
        return;
    m_hasStoppedModal = true;
    m_capturedBinding = std::move(binding);
    if (m_capturedBinding)
        m_window->accept();
    else
        m_window->reject();
}

std::optional<HotkeyBinding> HotkeyCapturePrompt::prompt(const QString& snapshotName,
                                                        const std::vector<UnavailableHotkey>& unavailableHotkeys,
                                                        QWidget* parent)
{
    HotkeyCaptureWindowController controller(snapshotName, unavailableHotkeys, parent);
    return controller.run();
}

} // namespace zen
