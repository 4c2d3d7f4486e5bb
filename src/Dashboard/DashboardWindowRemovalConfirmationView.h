#pragma once

#include "Dashboard/DashboardWindowRemovalConfirmation.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace zen {

// The sheet that asks before one saved window is removed from a layout: the application's
// icon and name, the window's title, the question, and "Cancel" / "Remove". It never closes
// itself: its owner presents it while the removal is pending and clears that in both actions.
// Escape runs `cancel`.
class DashboardWindowRemovalConfirmationView : public QDialog {
    Q_OBJECT
public:
    DashboardWindowRemovalConfirmationView(const DashboardWindowRemovalConfirmation& confirmation,
                                           std::function<void()> cancel, std::function<void()> remove,
                                           QWidget* parent = nullptr);

    QLabel* appNameLabel() const { return m_appName; }
    QLabel* windowTitleLabel() const { return m_windowTitle; }
    QLabel* messageLabel() const { return m_message; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* removeButton() const { return m_remove; }

    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elideTitle();

    std::function<void()> m_onCancel;
    std::function<void()> m_onRemove;
    QString m_fullTitle;
    QLabel* m_appName = nullptr;
    QLabel* m_windowTitle = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_remove = nullptr;
};

} // namespace zen
