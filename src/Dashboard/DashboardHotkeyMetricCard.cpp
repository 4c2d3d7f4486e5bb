#include "Dashboard/DashboardHotkeyMetricCard.h"

#include "Dashboard/DashboardDetailViewPresenter.h"
#include "Dashboard/DashboardMetricCard.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Dashboard/HotkeyCaptureErrorPopover.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Onboarding/TextStyle.h"
#include "Shared/AnimationPolicy.h"

#include <QEvent>
#include <QPropertyAnimation>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace zen {

namespace {

void call(const std::function<void()>& fn)
{
    if (fn)
        fn();
}

} // namespace

DashboardHotkeyMetricCard::DashboardHotkeyMetricCard(Callbacks callbacks, QWidget* parent)
    : QWidget(parent)
    , m_callbacks(std::move(callbacks))
{
    QLabel* caption = plainLabel(QStringLiteral("Hotkey"), this);
    TextStyle::apply(caption, TextStyle::Role::caption);
    TextStyle::applyColor(caption, TextStyle::Emphasis::secondary);

    // The edit and clear buttons sit on the caption's line, so the shortcut has the card's
    // whole width and four cards fit in one row of the pane at the window's default size.
    m_displayActions = new QWidget(this);
    m_edit = makeCardSymbolButton(QStringLiteral("pencil"), QStringLiteral("Edit Hotkey"), m_displayActions);
    m_clear = makeCardSymbolButton(QStringLiteral("xmark.circle.fill"), QStringLiteral("Clear Hotkey"), m_displayActions);
    // Reached with Tab like the header's buttons (a click still leaves the keyboard where it
    // was). The cancel button of a capture stays out: the field takes Tab as a key then.
    m_edit->setFocusPolicy(Qt::TabFocus);
    m_clear->setFocusPolicy(Qt::TabFocus);
    auto* actions = new QHBoxLayout(m_displayActions);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(2);
    actions->addWidget(m_edit);
    actions->addWidget(m_clear);
    auto* captionLine = new QHBoxLayout;
    captionLine->setContentsMargins(0, 0, 0, 0);
    captionLine->setSpacing(8);
    captionLine->addWidget(caption, 1, Qt::AlignVCenter);
    captionLine->addWidget(m_displayActions, 0, Qt::AlignVCenter);

    m_displayRow = new QWidget(this);
    m_hotkeyText = new MiddleElidedLabel(m_displayRow);
    TextStyle::apply(m_hotkeyText, TextStyle::Role::title3, QFont::DemiBold);
    // The card's one job is the shortcut, and half a shortcut is no use: a long one
    // (Ctrl+Alt+Shift+F12) takes smaller type in a narrow card rather than losing its middle.
    m_hotkeyText->setSmallestScale(hotkeyTextSmallestScale);
    auto* display = new QHBoxLayout(m_displayRow);
    display->setContentsMargins(0, 0, 0, 0);
    display->addWidget(m_hotkeyText, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DashboardMetricCard::padding, DashboardMetricCard::padding,
                               DashboardMetricCard::padding, DashboardMetricCard::padding);
    layout->setSpacing(8);
    layout->addLayout(captionLine);
    layout->addWidget(m_displayRow);

    connect(m_edit, &QToolButton::clicked, this, [this] {
        m_captureStarter = m_edit;
        call(m_callbacks.onEdit);
        if (!m_state.isEditing)
            m_captureStarter = nullptr;
    });
    connect(m_clear, &QToolButton::clicked, this, [this] { call(m_callbacks.onClear); });
    setState(m_state);
}

DashboardHotkeyMetricCard::~DashboardHotkeyMetricCard()
{
    if (m_field)
        m_field->onFocusLost = nullptr;
}

// Most cards are never edited: the capture row and the error popover (a window of its own) are
// made when a capture first starts, or when something asks for them, so opening the dashboard
// doesn't pay for them.
void DashboardHotkeyMetricCard::ensureCaptureRow()
{
    if (m_captureRow)
        return;
    m_captureRow = new QWidget(this);
    m_captureRow->hide();
    m_field = new InlineHotkeyCaptureField(m_captureRow);
    m_cancel = makeCardSymbolButton(QStringLiteral("xmark.circle.fill"), QStringLiteral("Cancel"), m_captureRow);
    auto* capture = new QHBoxLayout(m_captureRow);
    capture->setContentsMargins(0, 0, 0, 0);
    capture->setSpacing(8);
    capture->addWidget(m_field, 1);
    capture->addWidget(m_cancel);
    // Under the display row, where it has always been.
    static_cast<QVBoxLayout*>(layout())->addWidget(m_captureRow);

    m_popover = new HotkeyCaptureErrorPopover(this);
    m_popover->hide();

    connect(m_cancel, &QToolButton::clicked, this, [this] { call(m_callbacks.onCancel); });
    connect(m_field, &HotkeyCaptureView::keyPressed, this, [this](const HotkeyCaptureKeyEvent& event) {
        if (m_callbacks.onKey)
            m_callbacks.onKey(event);
    });
    // Leaving the field ends the capture, so the global shortcuts never stay suspended behind
    // a window the user has moved on from.
    m_field->onFocusLost = [this] {
        if (m_state.isEditing)
            call(m_callbacks.onCancel);
    };
    m_popover->onDismiss = [this] { call(m_callbacks.onDismissError); };
    m_field->setHasError(m_state.isEditing && m_state.captureError.has_value());
}

QToolButton* DashboardHotkeyMetricCard::cancelButton() const
{
    const_cast<DashboardHotkeyMetricCard*>(this)->ensureCaptureRow();
    return m_cancel;
}

InlineHotkeyCaptureField* DashboardHotkeyMetricCard::captureField() const
{
    const_cast<DashboardHotkeyMetricCard*>(this)->ensureCaptureRow();
    return m_field;
}

HotkeyCaptureErrorPopover* DashboardHotkeyMetricCard::errorPopover() const
{
    const_cast<DashboardHotkeyMetricCard*>(this)->ensureCaptureRow();
    return m_popover;
}

QString DashboardHotkeyMetricCard::hotkeyText() const
{
    return m_hotkeyText->text();
}

void DashboardHotkeyMetricCard::setState(const State& state)
{
    const bool startsEditing = state.isEditing && !m_state.isEditing;
    const bool editingChanges = state.isEditing != m_state.isEditing;
    // A capture started from a menu (the row's or the window's) hands the keyboard back to what
    // held it then: the row.
    if (startsEditing && !m_captureStarter)
        m_captureStarter = window()->focusWidget();
    // Ended with the keyboard still in the capture (a shortcut taken, Escape, Cancel), the
    // keyboard goes back to where the capture started; hidden with the field, it would land on
    // whatever control comes next. Ended because the person went elsewhere, it stays there.
    QWidget* focus = window()->focusWidget();
    const bool returnsKeyboard = editingChanges && !state.isEditing && m_captureRow
        && (!focus || m_captureRow->isAncestorOf(focus));
    m_state = state;
    if (state.isEditing)
        ensureCaptureRow();
    m_hotkeyText->setText(DashboardDetailViewPresenter::hotkeyCardText(state.summary.hotkey));
    m_edit->setEnabled(!state.isActionDisabled);
    m_clear->setEnabled(!state.isActionDisabled);
    m_clear->setVisible(state.summary.hotkey.has_value());
    m_displayRow->setVisible(!state.isEditing);
    m_displayActions->setVisible(!state.isEditing);
    if (m_captureRow) {
        m_captureRow->setVisible(state.isEditing);
        m_field->setHasError(state.isEditing && state.captureError.has_value());
    }
    if (editingChanges)
        animateEditingChange();
    if (editingChanges && !state.isEditing) {
        QWidget* starter = std::exchange(m_captureStarter, nullptr);
        if (!starter || !starter->isVisibleTo(window()) || !starter->isEnabled())
            starter = m_edit->isEnabled() ? m_edit : nullptr;
        if (returnsKeyboard && starter)
            starter->setFocus(Qt::OtherFocusReason);
    }

    if (state.isEditing && state.captureError) {
        m_popover->setMessage(*state.captureError);
        placePopover();
    } else if (m_popover) {
        m_popover->hide();
    }
    if (state.isEditing && (startsEditing || !m_field->hasFocus())) {
        // Every update hands the keyboard back to the field, once it is laid out and shown.
        QPointer<InlineHotkeyCaptureField> field = m_field;
        QTimer::singleShot(0, m_field, [field] {
            if (field && field->isVisible())
                field->setFocus(Qt::OtherFocusReason);
        });
    }
}

QAbstractAnimation* DashboardHotkeyMetricCard::editingTransition() const
{
    return m_editingTransition;
}

void DashboardHotkeyMetricCard::animateEditingChange()
{
    stopEditingTransition();
    if (!isVisible() || !animationsEnabled())
        return;
    QWidget* incoming = m_state.isEditing ? m_captureRow : m_displayRow;
    QPropertyAnimation* animation = makeFadeIn(incoming, editingTransitionMs, this);
    // Drawn through the effect only while it fades: afterwards the row paints directly again.
    connect(animation, &QAbstractAnimation::finished, this, [this] { stopEditingTransition(); });
    m_editingTransition = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void DashboardHotkeyMetricCard::stopEditingTransition()
{
    if (QPropertyAnimation* running = m_editingTransition.data()) {
        m_editingTransition.clear();
        running->stop();
    }
    m_displayRow->setGraphicsEffect(nullptr);
    if (m_captureRow)
        m_captureRow->setGraphicsEffect(nullptr);
}

void DashboardHotkeyMetricCard::placePopover()
{
    if (!m_popover)
        return;
    if (!m_captureRow->isVisible() || !isVisible()) {
        m_popover->hide();
        return;
    }
    const QPoint below = m_captureRow->mapToGlobal(QPoint(0, m_captureRow->height() + 6));
    m_popover->showAt(below);
}

void DashboardHotkeyMetricCard::paintEvent(QPaintEvent*)
{
    DashboardMetricCard::paintCardBackground(this);
}

void DashboardHotkeyMetricCard::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_watchedWindow != window()) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
    }
    if (m_state.isEditing && m_state.captureError)
        placePopover();
}

void DashboardHotkeyMetricCard::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_popover)
        m_popover->hide();
}

bool DashboardHotkeyMetricCard::eventFilter(QObject* watched, QEvent* event)
{
    // The popover is a window of its own: it follows the dashboard when that moves.
    if (watched == m_watchedWindow && m_popover && m_popover->isVisible()
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placePopover();
    return QWidget::eventFilter(watched, event);
}

} // namespace zen
