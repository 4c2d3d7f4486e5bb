#pragma once

#include "Shared/Geometry.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zen {

// A stored rectangle: origin and size exactly as the live rectangle had them.
struct CGRectCodable {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    CGRectCodable() = default;
    CGRectCodable(double x_, double y_, double width_, double height_)
        : x(x_), y(y_), width(width_), height(height_) {}
    explicit CGRectCodable(const CGRect& r)
        : x(r.origin.x), y(r.origin.y), width(r.size.width), height(r.size.height) {}

    CGRect cgRect() const { return CGRect(x, y, width, height); }

    friend bool operator==(const CGRectCodable&, const CGRectCodable&);
};

// A window frame as fractions of its display's frame.
struct NormalizedRect {
    double xRatio = 0;
    double yRatio = 0;
    double widthRatio = 0;
    double heightRatio = 0;

    // The window frame as ratios of the display frame (both standardized); all zeros when
    // the display has no positive width or height, so a degenerate display never divides by 0.
    static NormalizedRect fromFrames(const CGRect& windowFrame, const CGRect& displayFrame);
    // The inverse: the frame these ratios give in the display frame. No clamping.
    CGRect denormalized(const CGRect& displayFrame) const;

    friend bool operator==(const NormalizedRect&, const NormalizedRect&);
};

// A global shortcut in the stored vocabulary: a macOS virtual key code and Carbon modifier
// bits (Command 0x100, Shift 0x200, Option 0x800, Control 0x1000).
struct HotkeyBinding {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    QString displayString;

    friend bool operator==(const HotkeyBinding&, const HotkeyBinding&);
};

// What identified a window when it was seen.
struct WindowSignature {
    QString bundleIdentifier;
    std::optional<std::int32_t> owningPid;
    std::optional<QString> windowTitle;
    QString role;
    std::optional<QString> subrole;
    CGRectCodable capturedFrame;
    std::optional<std::uint32_t> cgWindowID;

    friend bool operator==(const WindowSignature&, const WindowSignature&);
};

// One saved window of a layout.
struct WindowRecord {
    QUuid id = QUuid::createUuid();
    QString bundleIdentifier;
    std::int32_t pidAtCapture = 0;
    std::optional<QString> windowTitle;
    QString role;
    std::optional<QString> subrole;
    CGRectCodable frame;
    std::optional<std::uint32_t> displayID;
    NormalizedRect normalizedFrame;
    std::optional<std::int64_t> zOrderHint;
    bool isMinimized = false;
    bool isFullscreen = false;
    bool isVisible = true;
    WindowSignature captureSignature;

    // A copy with another stacking position; the id and everything else stay.
    WindowRecord withZOrderHint(std::optional<std::int64_t> hint) const
    {
        WindowRecord copy = *this;
        copy.zOrderHint = hint;
        return copy;
    }
};

// One display attached at capture.
struct DisplayRecord {
    std::uint32_t id = 0;
    std::optional<QString> localizedName;
    CGRectCodable frame;
    CGRectCodable visibleFrame;
    double backingScaleFactor = 1.0;
    bool isPrimary = false;
    std::optional<std::uint32_t> vendorID;
    std::optional<std::uint32_t> productID;
    std::optional<std::uint32_t> serialNumber;

    CGRect frameRect() const { return frame.cgRect(); }
    CGRect visibleFrameRect() const { return visibleFrame.cgRect(); }

    friend bool operator==(const DisplayRecord&, const DisplayRecord&);
};

// The display arrangement saved with a layout.
struct DisplayState {
    std::vector<DisplayRecord> displays;
    std::optional<std::uint32_t> primaryDisplayID;
    CGRectCodable virtualDesktopBounds;

    CGRect virtualDesktopBoundsRect() const { return virtualDesktopBounds.cgRect(); }

    // Stores the displays and primary id as given; without bounds, the bounds are the union
    // of the display frames (zero when there are none). Given bounds are kept as they are.
    static DisplayState make(std::vector<DisplayRecord> displays,
                             std::optional<std::uint32_t> primaryDisplayID,
                             std::optional<CGRectCodable> virtualDesktopBounds = std::nullopt);

    friend bool operator==(const DisplayState&, const DisplayState&);
};

// One saved layout.
struct Snapshot {
    static constexpr std::int64_t currentSchemaVersion = 1;

    QUuid id = QUuid::createUuid();
    QString name;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    QDateTime updatedAt = QDateTime::currentDateTimeUtc();
    std::int64_t schemaVersion = currentSchemaVersion;
    DisplayState sourceDisplayState;
    std::vector<WindowRecord> windows;
    std::optional<HotkeyBinding> hotkey;
};

// Hashes that agree with the equalities above: texts by canonical equivalence, 0 and -0 alike.
std::size_t qHash(const CGRectCodable& value, std::size_t seed = 0);
std::size_t qHash(const WindowSignature& value, std::size_t seed = 0);
std::size_t qHash(const DisplayRecord& value, std::size_t seed = 0);

} // namespace zen

#define ZEN_STD_HASH(Type) \
    template <> \
    struct std::hash<zen::Type> { \
        std::size_t operator()(const zen::Type& value) const { return zen::qHash(value); } \
    };
ZEN_STD_HASH(CGRectCodable)
ZEN_STD_HASH(WindowSignature)
ZEN_STD_HASH(DisplayRecord)
#undef ZEN_STD_HASH
