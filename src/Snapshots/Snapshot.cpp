#include "Snapshots/Snapshot.h"

#include "Shared/TextEquivalence.h"

#include <QHash>

namespace zen {

namespace {

// Equal doubles must hash alike: 0 and -0 compare equal but differ in their bits.
std::size_t hashDouble(double value, std::size_t seed)
{
    return ::qHash(value == 0 ? 0.0 : value, seed);
}

template <typename T>
std::size_t hashOptional(const std::optional<T>& value, std::size_t seed)
{
    if (!value)
        return ::qHash(0x5bd1e995u, seed);
    return ::qHash(*value, ::qHash(1u, seed));
}

std::size_t combine(std::size_t seed, std::size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

} // namespace

bool operator==(const CGRectCodable& a, const CGRectCodable& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

bool operator==(const NormalizedRect& a, const NormalizedRect& b)
{
    return a.xRatio == b.xRatio && a.yRatio == b.yRatio && a.widthRatio == b.widthRatio
        && a.heightRatio == b.heightRatio;
}

bool operator==(const HotkeyBinding& a, const HotkeyBinding& b)
{
    return a.keyCode == b.keyCode && a.modifiers == b.modifiers
        && canonicallyEqual(a.displayString, b.displayString);
}

bool operator==(const WindowSignature& a, const WindowSignature& b)
{
    return canonicallyEqual(a.bundleIdentifier, b.bundleIdentifier) && a.owningPid == b.owningPid
        && canonicallyEqual(a.windowTitle, b.windowTitle) && canonicallyEqual(a.role, b.role)
        && canonicallyEqual(a.subrole, b.subrole) && a.capturedFrame == b.capturedFrame
        && a.cgWindowID == b.cgWindowID;
}

bool operator==(const DisplayRecord& a, const DisplayRecord& b)
{
    return a.id == b.id && canonicallyEqual(a.localizedName, b.localizedName) && a.frame == b.frame
        && a.visibleFrame == b.visibleFrame && a.backingScaleFactor == b.backingScaleFactor
        && a.isPrimary == b.isPrimary && a.vendorID == b.vendorID && a.productID == b.productID
        && a.serialNumber == b.serialNumber;
}

bool operator==(const DisplayState& a, const DisplayState& b)
{
    return a.displays == b.displays && a.primaryDisplayID == b.primaryDisplayID
        && a.virtualDesktopBounds == b.virtualDesktopBounds;
}

std::size_t qHash(const CGRectCodable& v, std::size_t seed)
{
    seed = combine(seed, hashDouble(v.x, 0));
    seed = combine(seed, hashDouble(v.y, 0));
    seed = combine(seed, hashDouble(v.width, 0));
    return combine(seed, hashDouble(v.height, 0));
}

std::size_t qHash(const NormalizedRect& v, std::size_t seed)
{
    seed = combine(seed, hashDouble(v.xRatio, 0));
    seed = combine(seed, hashDouble(v.yRatio, 0));
    seed = combine(seed, hashDouble(v.widthRatio, 0));
    return combine(seed, hashDouble(v.heightRatio, 0));
}

std::size_t qHash(const HotkeyBinding& v, std::size_t seed)
{
    seed = combine(seed, ::qHash(v.keyCode));
    seed = combine(seed, ::qHash(v.modifiers));
    return combine(seed, canonicalHash(v.displayString));
}

std::size_t qHash(const WindowSignature& v, std::size_t seed)
{
    seed = combine(seed, canonicalHash(v.bundleIdentifier));
    seed = combine(seed, hashOptional(v.owningPid, 0));
    seed = combine(seed, canonicalHash(v.windowTitle));
    seed = combine(seed, canonicalHash(v.role));
    seed = combine(seed, canonicalHash(v.subrole));
    seed = combine(seed, qHash(v.capturedFrame, 0));
    return combine(seed, hashOptional(v.cgWindowID, 0));
}

std::size_t qHash(const DisplayRecord& v, std::size_t seed)
{
    seed = combine(seed, ::qHash(v.id));
    seed = combine(seed, canonicalHash(v.localizedName));
    seed = combine(seed, qHash(v.frame, 0));
    seed = combine(seed, qHash(v.visibleFrame, 0));
    seed = combine(seed, hashDouble(v.backingScaleFactor, 0));
    seed = combine(seed, ::qHash(int(v.isPrimary)));
    seed = combine(seed, hashOptional(v.vendorID, 0));
    seed = combine(seed, hashOptional(v.productID, 0));
    return combine(seed, hashOptional(v.serialNumber, 0));
}

std::size_t qHash(const DisplayState& v, std::size_t seed)
{
    seed = combine(seed, ::qHash(v.displays.size()));
    for (const DisplayRecord& display : v.displays)
        seed = combine(seed, qHash(display, 0));
    seed = combine(seed, hashOptional(v.primaryDisplayID, 0));
    return combine(seed, qHash(v.virtualDesktopBounds, 0));
}

NormalizedRect NormalizedRect::fromFrames(const CGRect& windowFrame, const CGRect& displayFrame)
{
    const double displayWidth = displayFrame.width();
    const double displayHeight = displayFrame.height();
    // Written as negations so that a NaN size also takes this branch.
    if (!(displayWidth > 0) || !(displayHeight > 0))
        return NormalizedRect{};
    return NormalizedRect{
        (windowFrame.minX() - displayFrame.minX()) / displayWidth,
        (windowFrame.minY() - displayFrame.minY()) / displayHeight,
        windowFrame.width() / displayWidth,
        windowFrame.height() / displayHeight,
    };
}

CGRect NormalizedRect::denormalized(const CGRect& d) const
{
    return CGRect(d.minX() + xRatio * d.width(), d.minY() + yRatio * d.height(),
                  widthRatio * d.width(), heightRatio * d.height());
}

DisplayState DisplayState::make(std::vector<DisplayRecord> displays,
                                std::optional<std::uint32_t> primaryDisplayID,
                                std::optional<CGRectCodable> virtualDesktopBounds)
{
    DisplayState state;
    if (virtualDesktopBounds) {
        state.virtualDesktopBounds = *virtualDesktopBounds;
    } else {
        CGRect bounds = CGRect::null();
        for (const DisplayRecord& display : displays)
            bounds = bounds.united(display.frameRect());
        state.virtualDesktopBounds = bounds.isNull() ? CGRectCodable(0, 0, 0, 0) : CGRectCodable(bounds);
    }
    state.displays = std::move(displays);
    state.primaryDisplayID = primaryDisplayID;
    return state;
}

} // namespace zen
