#pragma once

#include <cstdint>
#include <functional>

namespace zen {

// A handle to an element of the accessibility model: an application (window 0) or one of
// its windows. It is a plain value so that recorded desktops can hand out their own handles;
// on X11 the window is the client window's XID and the process its owner.
struct AXUIElement {
    std::int32_t processIdentifier = 0;
    std::uint32_t window = 0;

    bool isApplication() const { return window == 0; }
    friend bool operator==(const AXUIElement&, const AXUIElement&) = default;
};

} // namespace zen

template <>
struct std::hash<zen::AXUIElement> {
    std::size_t operator()(const zen::AXUIElement& e) const noexcept
    {
        return std::hash<std::uint64_t>()((std::uint64_t(std::uint32_t(e.processIdentifier)) << 32) | e.window);
    }
};
