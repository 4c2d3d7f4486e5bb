#pragma once

#include "Onboarding/OnboardingStore.h"
#include "Permissions/AccessibilityTrustChecker.h"

#include "MenuBar/OperationScheduler.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace zen {

class PermissionCoordinator;

// The state machine behind the onboarding window: which page shows, when the window opens
// by itself at start-up, its title, the stored outcome, and the two one-shot requests (close
// this window, open the dashboard) that the window carries out and then consumes. It never
// opens or closes a window itself. Main thread only.
class OnboardingController : public QObject {
    Q_OBJECT

public:
    enum class Step { welcome, permission, authorizedReady, ready };

    // The delay between the permission page's success face and the ready page.
    static constexpr std::chrono::milliseconds successAdvanceDelay{800};

    OnboardingController(OnboardingStore store, PermissionCoordinator* permissionCoordinator,
                         std::shared_ptr<OperationScheduler> scheduler, QObject* parent = nullptr);
    ~OnboardingController() override;

    Step step() const { return m_step; }
    bool showsPermissionSuccess() const { return m_showsPermissionSuccess; }
    bool hasOpenedSystemSettings() const { return m_hasOpenedSystemSettings; }
    const QString& windowTitle() const { return m_windowTitle; }
    bool shouldCloseWindow() const { return m_shouldCloseWindow; }
    bool shouldOpenDashboard() const { return m_shouldOpenDashboard; }

    // The automatic first-launch decision, taken at most once per process: true when the
    // window should open now.
    bool startFirstLaunchIfNeeded();
    // A save or restore was refused for lack of access: the window is about to open on the
    // permission page.
    void startPermissionRequiredFlow();

    void getStarted();
    void openAccessibilitySettings();
    void checkAgain();
    void handleAuthorizationState(AccessibilityAuthorizationState state);
    void reconcileCurrentAuthorizationState();
    void applicationDidBecomeActive();
    void openDashboardAndComplete();
    void finishWithoutDashboard();
    void windowWillClose();
    void consumeWindowCloseRequest();
    void consumeOpenDashboardRequest();

    bool shouldPresentOnFirstLaunch() const;

Q_SIGNALS:
    void stepChanged(zen::OnboardingController::Step step);
    void showsPermissionSuccessChanged(bool shows);
    void hasOpenedSystemSettingsChanged(bool opened);
    void windowTitleChanged(const QString& title);
    void shouldCloseWindowChanged(bool requested);
    void shouldOpenDashboardChanged(bool requested);

private:
    bool isAuthorized() const;
    void setStep(Step step);
    void setShowsPermissionSuccess(bool shows);
    void setHasOpenedSystemSettings(bool opened);
    void setWindowTitle(const QString& title);
    void setShouldCloseWindow(bool requested);
    void setShouldOpenDashboard(bool requested);
    void clearHasOpenedSystemSettings();
    void cancelSuccessAdvance();
    void showPermissionSuccessThenAdvance();
    // The window opens anew on `step`: no confirmation, settings visit or request left over.
    void startAt(const QString& title, Step step);

    Step m_step = Step::welcome;
    bool m_showsPermissionSuccess = false;
    bool m_hasOpenedSystemSettings = false;
    QString m_windowTitle;
    bool m_shouldCloseWindow = false;
    bool m_shouldOpenDashboard = false;
    OnboardingStore m_store;
    QPointer<PermissionCoordinator> m_permissionCoordinator;
    std::shared_ptr<OperationScheduler> m_scheduler;
    bool m_hasHandledAutomaticFirstLaunchPresentation = false;
    std::unique_ptr<OperationScheduler::Handle> m_successAdvanceTask;
};

} // namespace zen
