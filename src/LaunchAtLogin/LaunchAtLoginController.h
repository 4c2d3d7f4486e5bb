#pragma once

#include "LaunchAtLogin/LaunchAtLoginServicing.h"
#include "LaunchAtLogin/LaunchAtLoginState.h"

#include <QObject>

#include <memory>

namespace zen {

// Registers this program as a login item on request and publishes what became of it. A
// failed request never escapes: it becomes the published state. Main thread only.
class LaunchAtLoginController : public QObject {
    Q_OBJECT
public:
    explicit LaunchAtLoginController(std::unique_ptr<LaunchAtLoginServicing> service, QObject* parent = nullptr);

    const LaunchAtLoginState& state() const { return m_state; }

    void refreshStatus();
    void setEnabled(bool enable);
    void openLoginItemsSettings();

Q_SIGNALS:
    // Sent for every assignment, also when the new state equals the old.
    void stateChanged(const zen::LaunchAtLoginState& state);

private:
    void publish(LaunchAtLoginState state);

    LaunchAtLoginState m_state;
    std::unique_ptr<LaunchAtLoginServicing> m_service;
};

} // namespace zen
