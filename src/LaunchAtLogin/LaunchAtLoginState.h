#pragma once

#include "LaunchAtLogin/LaunchAtLoginServicing.h"

#include <QString>

#include <optional>

namespace zen {

// What the settings window shows of launch at login: the switch, a message under it, and
// whether the user still has to approve the item or something went wrong.
struct LaunchAtLoginState {
    bool isEnabled = false;
    std::optional<QString> message;
    bool requiresApproval = false;
    bool isError = false;

    static LaunchAtLoginState enabled() { return {true, std::nullopt, false, false}; }
    static LaunchAtLoginState disabled() { return {false, std::nullopt, false, false}; }
    static LaunchAtLoginState requiringApproval();
    static LaunchAtLoginState unavailable();
    static LaunchAtLoginState error(const QString& message, bool wasEnabled) { return {wasEnabled, message, false, true}; }

    static QString requiresApprovalMessage();
    static QString unavailableMessage();

    static LaunchAtLoginState forStatus(LaunchAtLoginServiceStatus status);

    // Whether the switch can be used: not while approval is pending nor for a copy that cannot
    // be registered; after an ordinary failure it can.
    bool canToggle() const;
    // What the plain service status would have given for this state.
    LaunchAtLoginState statusComparisonState() const;

    friend bool operator==(const LaunchAtLoginState&, const LaunchAtLoginState&) = default;
};

} // namespace zen
