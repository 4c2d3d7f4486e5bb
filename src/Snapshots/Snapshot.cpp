#include "Snapshots/Snapshot.h"

#include "Shared/TextEquivalence.h"

#include <QHash>

namespace zen {

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

// Qt hashes 0 and -0 alike. An absent number hashes as 0: a collision, never a disagreement
// with equality.
std::size_t qHash(const CGRectCodable& v, std::size_t seed)
{
    return qHashMulti(seed, v.x, v.y, v.width, v.height);
}

std::size_t qHash(const WindowSignature& v, std::size_t seed)
{
    return qHashMulti(seed, canonicalHash(v.bundleIdentifier), v.owningPid.value_or(0), canonicalHash(v.windowTitle),
                      canonicalHash(v.role), canonicalHash(v.subrole), v.capturedFrame, v.cgWindowID.value_or(0));
}

std::size_t qHash(const DisplayRecord& v, std::size_t seed)
{
    return qHashMulti(seed, v.id, canonicalHash(v.localizedName), v.frame, v.visibleFrame, v.backingScaleFactor,
                      v.isPrimary, v.vendorID.value_or(0), v.productID.value_or(0), v.serialNumber.value_or(0));
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
