#include "Onboarding/OnboardingController.h"

#include "Onboarding/OnboardingWindowSupport.h"
#include "Permissions/PermissionCoordinator.h"

namespace zen {

OnboardingController::OnboardingController(OnboardingStore store, PermissionCoordinator* permissionCoordinator,
                                           std::shared_ptr<OperationScheduler> scheduler, QObject* parent)
    : QObject(parent)
    , m_windowTitle(OnboardingWindowSupport::welcomeTitle())
    , m_store(std::move(store))
    , m_permissionCoordinator(permissionCoordinator)
    , m_scheduler(std::move(scheduler))
{
    // The published state as it is now; asking the checker again is the coordinator's call.
    m_step = isAuthorized() ? Step::authorizedReady : Step::welcome;
}

OnboardingController::~OnboardingController()
{
    if (m_successAdvanceTask)
        m_successAdvanceTask->cancel();
}

bool OnboardingController::isAuthorized() const
{
    return m_permissionCoordinator
        && m_permissionCoordinator->authorizationState() == AccessibilityAuthorizationState::authorized;
}

// Published values are assigned unconditionally, as observers of a published property
// expect; only clearing a flag that is already clear is skipped.
void OnboardingController::setStep(Step step)
{
    m_step = step;
    Q_EMIT stepChanged(step);
}

void OnboardingController::setShowsPermissionSuccess(bool shows)
{
    m_showsPermissionSuccess = shows;
    Q_EMIT showsPermissionSuccessChanged(shows);
}

void OnboardingController::setHasOpenedSystemSettings(bool opened)
{
    m_hasOpenedSystemSettings = opened;
    Q_EMIT hasOpenedSystemSettingsChanged(opened);
}

void OnboardingController::setWindowTitle(const QString& title)
{
    m_windowTitle = title;
    Q_EMIT windowTitleChanged(title);
}

void OnboardingController::setShouldCloseWindow(bool requested)
{
    m_shouldCloseWindow = requested;
    Q_EMIT shouldCloseWindowChanged(requested);
}

void OnboardingController::setShouldOpenDashboard(bool requested)
{
    m_shouldOpenDashboard = requested;
    Q_EMIT shouldOpenDashboardChanged(requested);
}

void OnboardingController::clearHasOpenedSystemSettings()
{
    if (m_hasOpenedSystemSettings)
        setHasOpenedSystemSettings(false);
}

void OnboardingController::cancelSuccessAdvance()
{
    if (m_successAdvanceTask) {
        m_successAdvanceTask->cancel();
        m_successAdvanceTask.reset();
    }
    if (m_showsPermissionSuccess)
        setShowsPermissionSuccess(false);
}

bool OnboardingController::startFirstLaunchIfNeeded()
{
    if (m_hasHandledAutomaticFirstLaunchPresentation)
        return false;
    m_hasHandledAutomaticFirstLaunchPresentation = true;

    const auto stored = m_store.readStatus();
    if (stored == OnboardingStatus::completedAuthorized)
        return false;
    if (stored == OnboardingStatus::deferred) {
        if (isAuthorized())
            return false;
        startPermissionRequiredFlow();
        return true;
    }
    startAt(OnboardingWindowSupport::welcomeTitle(), isAuthorized() ? Step::authorizedReady : Step::welcome);
    return true;
}

void OnboardingController::startPermissionRequiredFlow()
{
    m_hasHandledAutomaticFirstLaunchPresentation = true;
    startAt(OnboardingWindowSupport::accessibilityRequiredTitle(), Step::permission);
}

void OnboardingController::startAt(const QString& title, Step step)
{
    cancelSuccessAdvance();
    clearHasOpenedSystemSettings();
    setWindowTitle(title);
    setStep(step);
    if (m_shouldCloseWindow)
        setShouldCloseWindow(false);
    if (m_shouldOpenDashboard)
        setShouldOpenDashboard(false);
}

void OnboardingController::getStarted()
{
    cancelSuccessAdvance();
    clearHasOpenedSystemSettings();
    setStep(isAuthorized() ? Step::authorizedReady : Step::permission);
}

void OnboardingController::openAccessibilitySettings()
{
    setHasOpenedSystemSettings(true);
    if (m_permissionCoordinator)
        m_permissionCoordinator->openAccessibilitySettings();
}

void OnboardingController::checkAgain()
{
    if (!m_permissionCoordinator)
        return;
    handleAuthorizationState(m_permissionCoordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::manualCheckAgain));
}

void OnboardingController::handleAuthorizationState(AccessibilityAuthorizationState state)
{
    if (state == AccessibilityAuthorizationState::unauthorized) {
        cancelSuccessAdvance();
        clearHasOpenedSystemSettings();
        if (m_step == Step::ready || m_step == Step::authorizedReady)
            setStep(Step::permission);
        return;
    }
    if (m_step == Step::permission)
        showPermissionSuccessThenAdvance();
}

void OnboardingController::reconcileCurrentAuthorizationState()
{
    if (!m_permissionCoordinator)
        return;
    handleAuthorizationState(m_permissionCoordinator->authorizationState());
}

void OnboardingController::applicationDidBecomeActive()
{
    if (m_step == Step::permission)
        clearHasOpenedSystemSettings();
}

void OnboardingController::openDashboardAndComplete()
{
    m_store.writeStatus(OnboardingStatus::completedAuthorized);
    setShouldOpenDashboard(true);
    setShouldCloseWindow(true);
}

void OnboardingController::finishWithoutDashboard()
{
    if (isAuthorized())
        m_store.writeStatus(OnboardingStatus::completedAuthorized);
    setShouldCloseWindow(true);
}

void OnboardingController::windowWillClose()
{
    if (isAuthorized() && (m_step == Step::authorizedReady || m_step == Step::ready))
        m_store.writeStatus(OnboardingStatus::completedAuthorized);
    else if (m_store.readStatus() != OnboardingStatus::completedAuthorized)
        m_store.writeStatus(OnboardingStatus::deferred);
    cancelSuccessAdvance();
}

void OnboardingController::consumeWindowCloseRequest()
{
    setShouldCloseWindow(false);
}

void OnboardingController::consumeOpenDashboardRequest()
{
    setShouldOpenDashboard(false);
}

bool OnboardingController::shouldPresentOnFirstLaunch() const
{
    const auto stored = m_store.readStatus();
    if (stored == OnboardingStatus::completedAuthorized)
        return false;
    if (stored == OnboardingStatus::deferred)
        return !isAuthorized();
    return true;
}

void OnboardingController::showPermissionSuccessThenAdvance()
{
    // A second report during the confirmation neither restarts nor extends it.
    if (m_showsPermissionSuccess)
        return;
    setShowsPermissionSuccess(true);
    if (m_successAdvanceTask)
        m_successAdvanceTask->cancel();
    QPointer<OnboardingController> self(this);
    m_successAdvanceTask = m_scheduler->runAfter(successAdvanceDelay, [self] {
        if (!self)
            return;
        self->setStep(Step::ready);
        self->setShowsPermissionSuccess(false);
        self->m_successAdvanceTask.reset();
    });
}

} // namespace zen
