#pragma once

#include "Platform/AXAttributeValue.h"

#include <optional>
#include <vector>

namespace zen {

// One window's place in a batch of placements: un-minimized first when asked, then given
// the frame (global space).
struct AXFramePlacement {
    AXUIElement element;
    CGRect frame;
    bool unminimize = false;
};

// The element-and-attribute interface through which window logic reads and moves other
// programs' windows. Implementations never fail loudly: an element that has gone, an
// attribute that cannot be read or a write the window manager refuses is an absent value or
// false. Safe to call from any one thread at a time per implementation's own rules.
class AccessibilityService {
public:
    virtual ~AccessibilityService() = default;

    // Whether this process may read and move other programs' windows. Never prompts.
    virtual bool isProcessTrusted() = 0;
    virtual AXUIElement applicationElement(std::int32_t processIdentifier) = 0;
    virtual std::optional<AXAttributeValue> copyAttributeValue(const AXUIElement& element, const QString& attribute) = 0;
    // Position and size in the global space; "AXMinimized", "AXMain", "AXFocused" as bool.
    virtual bool setAttributeValue(const AXUIElement& element, const QString& attribute, const AXAttributeValue& value) = 0;
    virtual bool performAction(const AXUIElement& element, const QString& action) = 0;
    // Position, then size, stopping at the first refusal. An implementation that can make
    // both in one request overrides it to spare a round trip per window.
    virtual bool setFrame(const AXUIElement& element, const CGRect& frame)
    {
        return setAttributeValue(element, AXAttribute::position, AXAttributeValue(frame.origin))
            && setAttributeValue(element, AXAttribute::size, AXAttributeValue(frame.size));
    }
    // Several placements, one answer each (false: the window has gone or refused). An
    // implementation that can send them all before learning any answer overrides it, so that
    // placing n windows waits for the other side once rather than n times.
    virtual std::vector<bool> setFrames(const std::vector<AXFramePlacement>& placements)
    {
        std::vector<bool> results;
        results.reserve(placements.size());
        for (const auto& p : placements) {
            results.push_back((!p.unminimize || setAttributeValue(p.element, AXAttribute::minimized, AXAttributeValue(false)))
                              && setFrame(p.element, p.frame));
        }
        return results;
    }
    // The same action on several elements, in order; batched likewise.
    virtual std::vector<bool> performActions(const std::vector<AXUIElement>& elements, const QString& action)
    {
        std::vector<bool> results;
        results.reserve(elements.size());
        for (const auto& e : elements)
            results.push_back(performAction(e, action));
        return results;
    }
};

} // namespace zen
