#pragma once

#include "Snapshots/SnapshotSummary.h"

#include <QDateTime>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace zen {

// One saved layout in the sidebar: its name (renamed in place on double click), its hotkey,
// a summary line, and its actions in a context menu and in a button shown under the pointer.
// It changes nothing itself: each action goes to the callbacks the sidebar gives it.
class DashboardSnapshotRow : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        // True when the name was taken; the receiver trims, validates and explains refusals.
        std::function<bool(const QUuid& id, const QString& newName)> renameSnapshotInline;
        std::function<void()> assignHotkey;
        std::function<void()> clearHotkey;
        std::function<void()> deleteSnapshot;
    };
    using Clock = std::function<QDateTime()>;

    explicit DashboardSnapshotRow(const SnapshotSummary& snapshot, Actions actions, bool isActionDisabled,
                                  Clock now = {}, QWidget* parent = nullptr);

    // Showing another layout ends a rename in progress without saving it.
    void setSnapshot(const SnapshotSummary& snapshot, Actions actions);
    void setActionDisabled(bool disabled);
    const SnapshotSummary& snapshot() const { return m_snapshot; }

    void beginInlineRename();
    void commitInlineRename();
    void cancelInlineRename();
    bool isRenaming() const { return m_isRenaming; }
    bool isHovered() const { return m_isHovered; }

    // "3 windows • 2 displays • 5 minutes ago": plural words for every count.
    static QString summaryLine(const SnapshotSummary& snapshot, const QDateTime& now);
    // The items both menus show, built afresh so they follow the row's state.
    void fillActionsMenu(QMenu& menu);

    QLabel* nameLabel() const { return m_nameLabel; }
    QLabel* hotkeyLabel() const { return m_hotkeyLabel; }
    QLabel* summaryLabel() const { return m_summaryLabel; }
    QLineEdit* nameField() const { return m_nameField; }
    QToolButton* actionsButton() const { return m_actionsButton; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void render();
    void setHovered(bool hovered);

    SnapshotSummary m_snapshot;
    Actions m_actions;
    bool m_isActionDisabled = false;
    Clock m_now;
    bool m_isHovered = false;
    bool m_isRenaming = false;

    QStackedWidget* m_nameStack = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_nameField = nullptr;
    QLabel* m_hotkeyLabel = nullptr;
    QLabel* m_summaryLabel = nullptr;
    QToolButton* m_actionsButton = nullptr;
    QMenu* m_actionsMenu = nullptr;
};

} // namespace zen
