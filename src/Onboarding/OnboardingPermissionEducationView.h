#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace zen {

class PermissionPathView;

// Explains that window access is needed, shows the way to grant it, and offers to open the
// access help and to check again; once access is granted it shows a short success message.
// It holds no state of its own: the caller says which face to show and what the buttons do.
// Shown by the dashboard's detail pane and by the onboarding window.
class OnboardingPermissionEducationView : public QWidget {
    Q_OBJECT
public:
    // Without `onDismiss` there is no "Dismiss" button.
    OnboardingPermissionEducationView(bool showsSuccess, bool hasOpenedSystemSettings,
                                      std::function<void()> onOpenSystemSettings, std::function<void()> onCheckAgain,
                                      std::function<void()> onDismiss = {}, QWidget* parent = nullptr);

    bool showsSuccess() const { return m_showsSuccess; }
    void setShowsSuccess(bool showsSuccess);
    bool hasOpenedSystemSettings() const { return m_hasOpenedSystemSettings; }
    // Adds the note that access is checked again when the user comes back.
    void setHasOpenedSystemSettings(bool hasOpened);

    QPushButton* openSystemSettingsButton() const { return m_openSettings; }
    QPushButton* checkAgainButton() const { return m_checkAgain; }
    // Null when the view was made without a dismiss action.
    QPushButton* dismissButton() const { return m_dismiss; }
    QWidget* successFace() const { return m_successFace; }
    QWidget* requestFace() const { return m_requestFace; }
    QLabel* waitingNote() const { return m_waitingNote; }
    PermissionPathView* permissionPath() const { return m_path; }

private:
    void refresh();

    bool m_showsSuccess;
    bool m_hasOpenedSystemSettings;
    QWidget* m_successFace = nullptr;
    QWidget* m_requestFace = nullptr;
    PermissionPathView* m_path = nullptr;
    QLabel* m_waitingNote = nullptr;
    QPushButton* m_openSettings = nullptr;
    QPushButton* m_checkAgain = nullptr;
    QPushButton* m_dismiss = nullptr;
};

// The steps to access, as a row with chevrons when the width allows it, else as a column.
class PermissionPathView : public QWidget {
    Q_OBJECT
public:
    explicit PermissionPathView(QWidget* parent = nullptr);

    bool showsRow() const { return m_showsRow; }
    // The texts of the steps, in order.
    QStringList stepTitles() const;
    // The least width at which the steps fit in one row.
    int rowWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void arrange(int width);

    QWidget* m_row = nullptr;
    QWidget* m_column = nullptr;
    bool m_showsRow = true;
};

} // namespace zen
