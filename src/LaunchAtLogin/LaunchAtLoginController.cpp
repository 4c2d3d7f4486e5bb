#include "LaunchAtLogin/LaunchAtLoginController.h"

namespace zen {

LaunchAtLoginController::LaunchAtLoginController(std::unique_ptr<LaunchAtLoginServicing> service, QObject* parent)
    : QObject(parent)
    , m_service(std::move(service))
{
    m_state = LaunchAtLoginState::forStatus(m_service->status());
}

void LaunchAtLoginController::publish(LaunchAtLoginState state)
{
    m_state = std::move(state);
    Q_EMIT stateChanged(m_state);
}

void LaunchAtLoginController::refreshStatus()
{
    publish(LaunchAtLoginState::forStatus(m_service->status()));
}

void LaunchAtLoginController::setEnabled(bool enable)
{
    const LaunchAtLoginState previous = m_state;
    const LaunchAtLoginState before = LaunchAtLoginState::forStatus(m_service->status());
    const auto outcome = enable ? m_service->registerItem() : m_service->unregisterItem();
    if (outcome) {
        refreshStatus();
        return;
    }
    // The failure text is shown only when the status tells nothing new: a changed status
    // (approval pending, or the change went through after all) speaks for itself.
    const LaunchAtLoginState after = LaunchAtLoginState::forStatus(m_service->status());
    if (after.requiresApproval || after != before || after != previous.statusComparisonState()) {
        publish(after);
        return;
    }
    publish(LaunchAtLoginState::error(userFacingDescription(outcome.error()), previous.isEnabled));
}

void LaunchAtLoginController::openLoginItemsSettings()
{
    m_service->openLoginItemsSettings();
}

} // namespace zen
