#pragma once

#include <functional>

namespace zen {

enum class AccessibilityAuthorizationState { authorized, unauthorized };

// Whether this process may read and move other programs' windows. Here that means an X
// server whose window manager announces the EWMH requests we drive windows with; the check
// never asks the user anything.
struct AccessibilityTrustChecker {
    std::function<bool()> trustCheck;

    // Bound to the live platform.
    AccessibilityTrustChecker();
    explicit AccessibilityTrustChecker(std::function<bool()> check) : trustCheck(std::move(check)) {}

    bool isTrusted() const { return trustCheck && trustCheck(); }
};

} // namespace zen
