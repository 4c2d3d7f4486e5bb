#pragma once

#include "Shared/Geometry.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// One monitor as the platform reports it. Frames are already in the global space (origin at
// the primary monitor's top-left, y downwards). Hardware numbers are 0 when unknown.
struct PlatformScreen {
    std::uint32_t id = 0;
    std::optional<QString> localizedName;
    CGRect frame;
    CGRect visibleFrame;
    double backingScaleFactor = 1.0;
    bool isMain = false;
    std::uint32_t vendorNumber = 0;
    std::uint32_t modelNumber = 0;
    std::uint32_t serialNumber = 0;
};

class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    // In the platform's order; empty when no monitor can be read.
    virtual std::vector<PlatformScreen> screens() = 0;
    // The main display's id, absent when there is none.
    virtual std::optional<std::uint32_t> mainDisplayID() = 0;
};

} // namespace zen
