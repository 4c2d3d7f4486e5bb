#pragma once

#include "Onboarding/OnboardingController.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

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

    OnboardingContainerView(OnboardingController* controller, PermissionCoordinator* permissionCoordinator,
                            std::function<void()> openOrFocusDashboard, QWidget* parent = nullptr);

    // The page on show, for tests.
    QWidget* currentPage() const { return m_page; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showPage();
    void carryOutCloseRequest();
    void carryOutOpenDashboardRequest();

    QPointer<OnboardingController> m_controller;
    QPointer<PermissionCoordinator> m_permissionCoordinator;
    std::function<void()> m_openOrFocusDashboard;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_page = nullptr;
    std::optional<OnboardingController::Step> m_shownStep;
    // Counts appearances, so a reconcile queued by one that has since closed does nothing.
    quint64 m_appearance = 0;
    bool m_onScreen = false;
};

} // namespace zen
