#pragma once

#include "Onboarding/OnboardingController.h"
#include "Shared/DesktopWords.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractAnimation;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;

namespace zen {

class PermissionCoordinator;

// The onboarding window: shows the page for the controller's step, passes the user's actions
// and the program's activations and access changes on to the controller, and carries out its
// two requests (close, open the dashboard). Made anew each time the window opens; closing it
// never quits the program. Main thread only.
class OnboardingContainerView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize defaultSize{560, 500};
    static constexpr QSize minimumContentSize{480, 420};
    // A new step's page fades in over this time (ease-in-out).
    static constexpr int stepTransitionMs = 180;

    OnboardingContainerView(OnboardingController* controller, PermissionCoordinator* permissionCoordinator,
                            std::function<void()> openOrFocusDashboard,
                            const QString& programMenu = DesktopWords::trayMenu, QWidget* parent = nullptr);

    // The page on show, for tests.
    QWidget* currentPage() const { return m_page; }
    // The fade of the last change of step while it runs; null once it is over and whenever
    // the desktop asks for no animation.
    QAbstractAnimation* stepTransition() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showPage();
    // The page's default button, when it shows one that can be pressed.
    QPushButton* defaultButton() const;
    void animateStepChange(QWidget* holder);
    void stopStepTransition();
    void carryOutCloseRequest();
    void carryOutOpenDashboardRequest();

    QPointer<OnboardingController> m_controller;
    QPointer<PermissionCoordinator> m_permissionCoordinator;
    std::function<void()> m_openOrFocusDashboard;
    QString m_programMenu;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_page = nullptr;
    QPointer<QPropertyAnimation> m_stepTransition;
    std::optional<OnboardingController::Step> m_shownStep;
    // Counts appearances, so a reconcile queued by one that has since closed does nothing.
    quint64 m_appearance = 0;
    bool m_onScreen = false;
};

} // namespace zen
