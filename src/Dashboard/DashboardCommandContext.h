#pragma once

#include "Dashboard/DashboardCommandAvailability.h"

#include <functional>

namespace zen {

// What the focused dashboard window offers its Layout menu: the availability of each command
// and the action that runs it. A value of the moment; each action re-reads the dashboard's
// state when it runs, so a stale copy never acts on a layout that is no longer selected.
struct DashboardCommandContext {
    DashboardCommandAvailability availability;
    std::function<void()> createLayout;
    std::function<void()> restoreLayout;
    std::function<void()> updateLayout;
    std::function<void()> renameLayout;
    std::function<void()> assignHotkey;
    std::function<void()> clearHotkey;
    std::function<void()> deleteLayout;
};

} // namespace zen
