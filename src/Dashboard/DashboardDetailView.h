#pragma once

#include "Dashboard/DashboardDetailViewPresenter.h"

#include <QDateTime>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace zen {

class DashboardHotkeyMetricCard;
class DashboardView;
class DashboardInactiveAppsView;
class DashboardSnapshotPreviewView;
class DashboardMetricCard;
class MiddleElidedLabel;
class OnboardingPermissionEducationView;

// The dashboard's detail column: the selected layout (header with rename in place, action
// strip, count cards and hotkey card, preview, applications not running), the permission
// education, or the invitation to save a first layout; the issue banners above each. A thin
// widget over its presenter, which holds every rule.
class DashboardDetailView : public QWidget {
    Q_OBJECT
public:
    // The view takes the presenter as its child unless it already has a parent.
    explicit DashboardDetailView(DashboardDetailViewPresenter* presenter, QWidget* parent = nullptr);
    ~DashboardDetailView() override;

    DashboardDetailViewPresenter* presenter() const { return m_presenter; }

    // Makes the detail pane of the dashboard window: it follows the window's selection and
    // requests, and runs the layout actions through the window's presenter.
    static DashboardDetailView* installIn(DashboardView& window);

    // The text after "Updated " for a date relative to now. Until set, the date itself.
    using RelativeDateText = std::function<QString(const QDateTime& date, const QDateTime& now)>;
    void setRelativeDateText(RelativeDateText text);
    void setClock(std::function<QDateTime()> clock);
    // Whether the desktop has a tray, whose menu lists the saved layouts. Until set, it has.
    void setTrayAvailable(std::function<bool()> trayAvailable);
    // Says again when the shown layout was updated, relative to the clock's time now.
    void refreshRelativeDate();
    // The window closed and is kept for its next opening: the preview and the inactive
    // applications go, the pane returns to its top, and both lists are made again as the
    // window is shown.
    void releaseUntilShown();

    // The pieces a test or the window reaches.
    QWidget* currentFace() const;
    QWidget* layoutFace() const { return m_layoutFace; }
    // Faces other than the layout's are made on first need; asking for one makes it.
    QWidget* educationFace() const;
    QWidget* emptyFace() const;
    // The title block and the action strip, side by side or the strip under the title.
    QWidget* header() const { return m_header; }
    MiddleElidedLabel* titleLabel() const { return m_titleLabel; }
    QLineEdit* titleField() const { return m_titleField; }
    QLabel* updatedLabel() const { return m_updatedLabel; }
    QPushButton* restoreButton() const { return m_restore; }
    QPushButton* updateButton() const { return m_update; }
    QPushButton* renameButton() const { return m_rename; }
    QToolButton* deleteButton() const { return m_delete; }
    QPushButton* saveButton() const;
    const std::vector<DashboardMetricCard*>& metricCards() const { return m_metricCards; }
    DashboardHotkeyMetricCard* hotkeyCard() const { return m_hotkeyCard; }
    OnboardingPermissionEducationView* education() const;
    // The banners' titles in the shown face, in order.
    QStringList issueTitles() const;
    DashboardSnapshotPreviewView* preview() const { return m_preview; }
    DashboardInactiveAppsView* inactiveApps() const { return m_inactiveApps; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildLayoutFace();
    void buildEducationFace();
    void buildEmptyFace();
    void ensureEducationFace();
    void ensureEmptyFace();
    void render();
    void showPendingFace();
    void renderIssues();
    void fillIssueSection(QVBoxLayout* section) const;
    // Returns where the pane's scroll bar goes once the face is laid out.
    int renderLayout();
    void renderLists();
    QString emptyNote() const;
    // Lays the pane out to its final geometry before control returns to the event loop.
    void layOutNow();

    DashboardDetailViewPresenter* m_presenter;
    RelativeDateText m_relativeDateText;
    std::function<QDateTime()> m_clock;
    std::function<bool()> m_trayAvailable;

    QStackedWidget* m_faces = nullptr;
    QWidget* m_layoutFace = nullptr;
    QWidget* m_educationFace = nullptr;
    QWidget* m_emptyFace = nullptr;
    // One issue section per face; each face shows the same banners.
    std::vector<QVBoxLayout*> m_issueSections;
    std::vector<DashboardDetailIssue> m_shownIssues;

    QWidget* m_header = nullptr;
    MiddleElidedLabel* m_titleLabel = nullptr;
    QLineEdit* m_titleField = nullptr;
    QLabel* m_updatedLabel = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_rename = nullptr;
    QToolButton* m_delete = nullptr;
    QWidget* m_metrics = nullptr;
    std::vector<DashboardMetricCard*> m_metricCards;
    DashboardHotkeyMetricCard* m_hotkeyCard = nullptr;
    QWidget* m_previewSlot = nullptr;
    QWidget* m_inactiveAppsSlot = nullptr;
    DashboardSnapshotPreviewView* m_preview = nullptr;
    DashboardInactiveAppsView* m_inactiveApps = nullptr;
    // What the preview and the inactive applications last showed.
    quint64 m_shownSelectionRevision = 0;
    QUuid m_shownLayoutID;
    QSet<QString> m_shownRunningApplications;
    // Until the pane is first shown, a face other than the layout's waits to be sure it is seen.
    bool m_facesWait = true;
    bool m_facePending = false;

    OnboardingPermissionEducationView* m_education = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_emptyNote = nullptr;
};

} // namespace zen
