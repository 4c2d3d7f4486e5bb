#pragma once

#include <QStyledItemDelegate>

namespace zen {

// Draws one saved layout of the sidebar: its name, its hotkey, a summary line, and under the
// pointer the actions button; renames in place through a line edit. Every text from a file is
// elided to its own space, so no name or hotkey of any length hides another text or pushes the
// button out of reach.
class DashboardSnapshotRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit DashboardSnapshotRowDelegate(QObject* parent = nullptr);

    struct Layout {
        QRect name;
        QRect hotkey;
        QRect summary;
        QRect actionsButton;
        QString shownName;
        QString shownHotkey;
        QString shownSummary;
    };
    // Where each part of a row goes inside `row`, with the texts as drawn there.
    static Layout layout(const QRect& row, const QFont& font, const QString& name, const QString& hotkey,
                         const QString& summary);
    static QFont captionFont(const QFont& font);
    static int rowHeight(const QFont& font);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

signals:
    // The actions button of the row was pressed; the menu opens at `globalPosition`.
    void actionsButtonClicked(const QModelIndex& index, const QPoint& globalPosition);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    mutable bool m_lastCommitAccepted = false;
};

} // namespace zen
