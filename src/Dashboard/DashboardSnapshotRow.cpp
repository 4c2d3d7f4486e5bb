#include "Dashboard/DashboardSnapshotRow.h"

#include "Dashboard/DashboardElidedLabel.h"
#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Dashboard/SidebarActionButton.h"
#include "Hotkeys/HotkeyText.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace zen {

namespace {

QLabel* plainLabel(QWidget* parent)
{
    return new DashboardElidedLabel(parent);
}

void makeCaption(QLabel& label)
{
    QFont font = label.font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label.setFont(font);
    label.setForegroundRole(QPalette::PlaceholderText);
}

} // namespace

DashboardSnapshotRow::DashboardSnapshotRow(const SnapshotSummary& snapshot, Actions actions, bool isActionDisabled,
                                           Clock now, QWidget* parent)
    : QWidget(parent)
    , m_snapshot(snapshot)
    , m_actions(std::move(actions))
    , m_isActionDisabled(isActionDisabled)
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTime(); }))
{
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(6);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* titleLine = new QHBoxLayout;
    m_nameStack = new QStackedWidget(this);
    m_nameLabel = plainLabel(m_nameStack);
    m_nameLabel->installEventFilter(this);
    m_nameField = new QLineEdit(m_nameStack);
    m_nameField->setPlaceholderText(QStringLiteral("Layout name"));
    m_nameField->setFrame(false);
    m_nameField->installEventFilter(this);
    connect(m_nameField, &QLineEdit::returnPressed, this, &DashboardSnapshotRow::commitInlineRename);
    m_nameStack->addWidget(m_nameLabel);
    m_nameStack->addWidget(m_nameField);
    m_nameStack->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_nameStack->setFixedHeight(m_nameField->sizeHint().height());
    titleLine->addWidget(m_nameStack, 1);
    titleLine->addSpacing(8);
    m_hotkeyLabel = new QLabel(this);
    m_hotkeyLabel->setTextFormat(Qt::PlainText);
    makeCaption(*m_hotkeyLabel);
    titleLine->addWidget(m_hotkeyLabel);
    texts->addLayout(titleLine);
    m_summaryLabel = plainLabel(this);
    makeCaption(*m_summaryLabel);
    texts->addWidget(m_summaryLabel);
    row->addLayout(texts, 1);

    m_actionsButton = new QToolButton(this);
    m_actionsButton->setIcon(SidebarActionButton::symbol(QStringLiteral("ellipsis.circle")));
    m_actionsButton->setAutoRaise(true);
    m_actionsButton->setFixedSize(22, 22);
    m_actionsButton->setToolTip(QStringLiteral("Layout actions"));
    m_actionsButton->setAccessibleName(QStringLiteral("Layout actions"));
    m_actionsButton->setPopupMode(QToolButton::InstantPopup);
    m_actionsButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_actionsMenu = new QMenu(m_actionsButton);
    connect(m_actionsMenu, &QMenu::aboutToShow, this, [this] {
        m_actionsMenu->clear();
        fillActionsMenu(*m_actionsMenu);
    });
    m_actionsButton->setMenu(m_actionsMenu);
    // Out of sight, out of reach: hidden (keeping its place) until the pointer is over the row.
    QSizePolicy keepPlace = m_actionsButton->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_actionsButton->setSizePolicy(keepPlace);
    m_actionsButton->setVisible(false);
    row->addWidget(m_actionsButton);

    render();
}

void DashboardSnapshotRow::setSnapshot(const SnapshotSummary& snapshot, Actions actions)
{
    const bool otherLayout = snapshot.id != m_snapshot.id;
    m_snapshot = snapshot;
    m_actions = std::move(actions);
    if (otherLayout)
        cancelInlineRename();
    render();
}

void DashboardSnapshotRow::setActionDisabled(bool disabled)
{
    m_isActionDisabled = disabled;
}

QString DashboardSnapshotRow::summaryLine(const SnapshotSummary& snapshot, const QDateTime& now)
{
    return QStringLiteral("%1 windows • %2 displays • %3")
        .arg(snapshot.windowCount)
        .arg(snapshot.displayCount)
        .arg(DashboardRelativeDateFormatter::string(snapshot.updatedAt, now));
}

void DashboardSnapshotRow::render()
{
    m_nameLabel->setText(m_snapshot.name);
    m_nameLabel->setToolTip(QString());
    m_hotkeyLabel->setVisible(m_snapshot.hotkey.has_value());
    m_hotkeyLabel->setText(m_snapshot.hotkey ? zen::hotkeyText(*m_snapshot.hotkey) : QString());
    m_summaryLabel->setText(summaryLine(m_snapshot, m_now()));
    m_nameStack->setCurrentWidget(m_isRenaming ? static_cast<QWidget*>(m_nameField) : m_nameLabel);
}

void DashboardSnapshotRow::fillActionsMenu(QMenu& menu)
{
    const bool enabled = !m_isActionDisabled;
    const auto add = [&](const QString& title, std::function<void()> run) {
        QAction* action = menu.addAction(title);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [run = std::move(run)] {
            if (run)
                run();
        });
        return action;
    };
    add(QStringLiteral("Rename"), [this] { beginInlineRename(); });
    const bool hasHotkey = m_snapshot.hotkey.has_value();
    add(hasHotkey ? QStringLiteral("Change Hotkey") : QStringLiteral("Set Hotkey"), m_actions.assignHotkey);
    if (hasHotkey)
        add(QStringLiteral("Clear Hotkey"), m_actions.clearHotkey);
    menu.addSeparator();
    QAction* remove = add(QStringLiteral("Delete"), m_actions.deleteSnapshot);
    remove->setIcon(SidebarActionButton::symbol(QStringLiteral("trash")));
}

void DashboardSnapshotRow::beginInlineRename()
{
    if (m_isActionDisabled)
        return;
    m_isRenaming = true;
    m_nameField->setText(m_snapshot.name);
    render();
    // Focus once the field is in place, after this event has been handled.
    QTimer::singleShot(0, m_nameField, [field = m_nameField] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    });
}

void DashboardSnapshotRow::commitInlineRename()
{
    if (!m_isRenaming)
        return;
    const QString draft = m_nameField->text();
    const bool accepted = m_actions.renameSnapshotInline && m_actions.renameSnapshotInline(m_snapshot.id, draft);
    if (accepted) {
        m_isRenaming = false;
        m_nameField->clearFocus();
        render();
        return;
    }
    // Refused: the receiver says why; the typed name stays for correcting.
    m_nameField->setFocus(Qt::OtherFocusReason);
}

void DashboardSnapshotRow::cancelInlineRename()
{
    const bool wasRenaming = m_isRenaming;
    m_isRenaming = false;
    m_nameField->clear();
    if (wasRenaming)
        m_nameField->clearFocus();
    render();
}

void DashboardSnapshotRow::enterEvent(QEnterEvent* event)
{
    setHovered(true);
    QWidget::enterEvent(event);
}

void DashboardSnapshotRow::leaveEvent(QEvent* event)
{
    setHovered(false);
    QWidget::leaveEvent(event);
}

void DashboardSnapshotRow::setHovered(bool hovered)
{
    if (m_isHovered == hovered)
        return;
    m_isHovered = hovered;
    m_actionsButton->setVisible(hovered);
}

void DashboardSnapshotRow::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    fillActionsMenu(menu);
    menu.exec(event->globalPos());
}

void DashboardSnapshotRow::showEvent(QShowEvent* event)
{
    // The relative time moves on while the row is out of sight.
    m_summaryLabel->setText(summaryLine(m_snapshot, m_now()));
    QWidget::showEvent(event);
}

bool DashboardSnapshotRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_nameLabel && event->type() == QEvent::MouseButtonDblClick) {
        beginInlineRename();
        return true;
    }
    if (watched == m_nameField && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        cancelInlineRename();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zen
