#include "Dashboard/DashboardSnapshotRowDelegate.h"

#include "Dashboard/DashboardRowColors.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/SidebarActionButton.h"
#include "Shared/StringExtensions.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace zen {

namespace {

constexpr int horizontalMargin = 12;
constexpr int verticalMargin = 6;
constexpr int buttonSide = 22;
constexpr int spacing = 6;
constexpr int lineSpacing = 4;
// A text of any length is cut to this many characters before it is measured: no sidebar shows
// more, and measuring 100,000 characters on every paint would stall the window.
constexpr qsizetype measuredLength = 400;

QString elided(const QFontMetrics& metrics, const QString& text, int width)
{
    QString shown = text.size() > measuredLength ? text.left(measuredLength) + QChar(0x2026) : text;
    return metrics.elidedText(shown, Qt::ElideRight, std::max(0, width));
}

constexpr char editedRowProperty[] = "zentharionEditedRow";

// A taken name can reorder or replace the rows, and the view then lets go of the field by itself;
// only a field the view still holds is closed by the delegate.
bool viewStillHolds(const QObject* view, QLineEdit* field)
{
    const auto* items = qobject_cast<const QAbstractItemView*>(view);
    const auto row = field->property(editedRowProperty).value<QPersistentModelIndex>();
    return items && row.isValid() && items->indexWidget(row) == field;
}

int nameLineHeight(const QFont& font)
{
    // As tall as the rename field, so the row keeps its height while renaming.
    return QFontMetrics(font).height() + 8;
}

} // namespace

DashboardSnapshotRowDelegate::DashboardSnapshotRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QFont DashboardSnapshotRowDelegate::captionFont(const QFont& font)
{
    QFont caption = font;
    caption.setPointSizeF(font.pointSizeF() * 0.85);
    return caption;
}

int DashboardSnapshotRowDelegate::rowHeight(const QFont& font)
{
    return 2 * verticalMargin + nameLineHeight(font) + lineSpacing + QFontMetrics(captionFont(font)).height();
}

DashboardSnapshotRowDelegate::Layout DashboardSnapshotRowDelegate::layout(const QRect& row, const QFont& font,
                                                                          const QString& name, const QString& hotkey,
                                                                          const QString& summary)
{
    Layout l;
    const QRect content = row.adjusted(horizontalMargin, verticalMargin, -horizontalMargin, -verticalMargin);
    l.actionsButton =
        QRect(content.right() + 1 - buttonSide, row.center().y() - buttonSide / 2 + 1, buttonSide, buttonSide);
    const int textLeft = content.left();
    const int textWidth = std::max(0, l.actionsButton.left() - spacing - textLeft);
    const QFontMetrics nameMetrics(font);
    const QFontMetrics captionMetrics(captionFont(font));
    const int nameHeight = nameLineHeight(font);

    // The hotkey takes what it needs up to two fifths of the line; the name has the rest.
    if (!hotkey.isEmpty())
        l.shownHotkey = elided(captionMetrics, isolatedForDisplay(hotkey), textWidth * 2 / 5);
    const int hotkeyWidth = l.shownHotkey.isEmpty() ? 0 : captionMetrics.horizontalAdvance(l.shownHotkey) + 1;
    const int nameWidth = std::max(0, textWidth - (hotkeyWidth > 0 ? hotkeyWidth + 8 : 0));
    l.name = QRect(textLeft, content.top(), nameWidth, nameHeight);
    l.hotkey = QRect(textLeft + textWidth - hotkeyWidth, content.top(), hotkeyWidth, nameHeight);
    l.shownName = elided(nameMetrics, isolatedForDisplay(name), nameWidth);
    l.summary = QRect(textLeft, content.top() + nameHeight + lineSpacing, textWidth, captionMetrics.height());
    l.shownSummary = elided(captionMetrics, separatorsAsSpaces(summary), textWidth);
    return l;
}

QSize DashboardSnapshotRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(200, rowHeight(option.font));
}

void DashboardSnapshotRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The style's row background (selection, hover) without its own texts.
    opt.text.clear();
    opt.icon = QIcon();
    opt.state &= ~QStyle::State_HasFocus;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor text = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::WindowText);
    QColor background = option.palette.color(group, QPalette::Window);
    if (selected) {
        // The selection in the theme's colour, deepened where its own text would not read.
        background = DashboardRowColors::readableBackground(text, option.palette.color(group, QPalette::Highlight));
        painter->fillRect(option.rect, background);
    } else {
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    }

    // On the selection every text takes the selection's own text colour, as lists do.
    const QColor secondary = selected ? text : DashboardRowColors::secondary(text, background);

    const Layout l = layout(option.rect, option.font, index.data(Qt::DisplayRole).toString(),
                            index.data(DashboardSnapshotListModel::HotkeyRole).toString(),
                            index.data(DashboardSnapshotListModel::SummaryRole).toString());
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    painter->setPen(text);
    painter->drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, l.shownName);
    const QFont caption = captionFont(option.font);
    painter->setFont(caption);
    painter->setPen(secondary);
    if (!l.shownHotkey.isEmpty())
        painter->drawText(l.hotkey, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, l.shownHotkey);
    painter->drawText(l.summary, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, l.shownSummary);

    if (option.state & QStyle::State_MouseOver) {
        const QIcon icon = SidebarActionButton::symbol(QStringLiteral("ellipsis.circle"));
        icon.paint(painter, l.actionsButton.adjusted(3, 3, -3, -3));
    }
    // Keyboard users see which row has focus.
    const auto* view = qobject_cast<const QAbstractItemView*>(widget);
    if ((option.state & QStyle::State_HasFocus) && view && view->hasFocus() && view->property("showsFocus").toBool()) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(selected ? text : option.palette.color(group, QPalette::Highlight), 1.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
    }
    painter->restore();
}

QWidget* DashboardSnapshotRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                   const QModelIndex& index) const
{
    auto* field = new QLineEdit(parent);
    field->setProperty(editedRowProperty, QVariant::fromValue(QPersistentModelIndex(index)));
    field->setPlaceholderText(QStringLiteral("Layout name"));
    field->setFrame(true);
    // A field of its own colours over the selection, not white text on the highlight.
    QPalette colours = field->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Base));
    field->setPalette(colours);
    field->setAutoFillBackground(true);
    field->setAccessibleName(QStringLiteral("Layout name"));
    return field;
}

void DashboardSnapshotRowDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* field = qobject_cast<QLineEdit*>(editor);
    // The row refreshes while the name is being typed (dates move on): keep what was typed.
    if (!field || field->property("filled").toBool())
        return;
    field->setText(index.data(Qt::EditRole).toString());
    field->selectAll();
    field->setProperty("filled", true);
}

void DashboardSnapshotRowDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                                const QModelIndex& index) const
{
    auto* field = qobject_cast<QLineEdit*>(editor);
    m_lastCommitAccepted = field && model->setData(index, field->text(), Qt::EditRole);
}

void DashboardSnapshotRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                                        const QModelIndex&) const
{
    const Layout l = layout(option.rect, option.font, QString(), QString(), QString());
    editor->setGeometry(l.name.adjusted(-4, 0, 0, 0));
}

bool DashboardSnapshotRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                               const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
        || event->type() == QEvent::MouseButtonDblClick) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const Layout l = layout(option.rect, option.font, QString(), QString(), QString());
        if (mouse->button() == Qt::LeftButton && l.actionsButton.contains(mouse->position().toPoint())) {
            if (event->type() == QEvent::MouseButtonRelease)
                emit actionsButtonClicked(index, mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool DashboardSnapshotRowDelegate::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field)
        return QStyledItemDelegate::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QPointer<QLineEdit> guard(field);
            emit commitData(field);
            if (!guard || !viewStillHolds(parent(), field))
                return true;
            if (m_lastCommitAccepted)
                emit closeEditor(field, NoHint);
            else
                // Refused: the receiver says why; the typed name stays for correcting.
                field->setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (key == Qt::Key_Escape) {
            emit closeEditor(field, RevertModelCache);
            return true;
        }
        return false;
    }
    // Leaving the field neither saves nor discards: the rename waits for Return or Escape.
    if (event->type() == QEvent::FocusOut)
        return false;
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace zen
