#pragma once

#include "Restore/RestoreResult.h"
#include "Snapshots/Snapshot.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zen {

class ScreenSource;

namespace DisplayFallbackReason {
inline const QString hardwareMatch = QStringLiteral("display matched by hardware identifiers");
inline const QString semanticMatch = QStringLiteral("display matched by name and frame");
inline const QString primaryDisplay = QStringLiteral("display fell back to primary display");
inline const QString noDisplaysAvailable = QStringLiteral("no displays available during restore");
} // namespace DisplayFallbackReason

// Where one saved window goes.
struct RestoreDisplayPlan {
    CGRect targetFrame;
    std::optional<std::uint32_t> resolvedDisplayID;
    std::optional<DisplayFallbackEvent> fallback;
};

// Reads the current monitors, tells which display a window lies on, and decides which of
// today's displays stands for the display a saved window was on.
struct DisplayResolver {
    struct ScreenSnapshot {
        std::uint32_t id = 0;
        std::optional<QString> localizedName;
        CGRect frame;
        CGRect visibleFrame;
        double backingScaleFactor = 1.0;
        bool isPrimary = false;
        std::optional<std::uint32_t> vendorID;
        std::optional<std::uint32_t> productID;
        std::optional<std::uint32_t> serialNumber;

        DisplayRecord displayRecord() const;

        // The live monitors. The X11 source already reports them in the global top-left
        // space, so no flipping is needed here.
        static std::vector<ScreenSnapshot> currentScreens();
        static std::vector<ScreenSnapshot> currentScreens(ScreenSource& source);
        // Turns frames given with y growing upwards (origin at the bottom-left of the main
        // display) into the global top-left space, for screen sources that report them so.
        static std::vector<ScreenSnapshot> alignedToAccessibilityCoordinates(std::vector<ScreenSnapshot> screens,
                                                                            std::uint32_t primaryDisplayID);
    };

    std::function<std::vector<ScreenSnapshot>()> screenProvider;

    // Bound to the live monitors.
    DisplayResolver();
    explicit DisplayResolver(std::function<std::vector<ScreenSnapshot>()> provider) : screenProvider(std::move(provider)) {}
    explicit DisplayResolver(std::shared_ptr<ScreenSource> source);

    DisplayState captureDisplayState() const;
    static std::optional<DisplayRecord> resolveDisplay(const CGRect& frame, const std::vector<DisplayRecord>& displays);
    static std::optional<DisplayRecord> resolveDisplay(const CGRect& frame, const DisplayState& state);
    static NormalizedRect normalizedFrame(const CGRect& frame, const DisplayRecord& display);
    static RestoreDisplayPlan restorePlan(const WindowRecord& window, const DisplayState& source, const DisplayState& current);

    struct Resolution {
        DisplayRecord display;
        std::optional<QString> reason;
    };
    static std::optional<Resolution> resolvedRestoreDisplay(std::optional<std::uint32_t> savedDisplayID,
                                                            const DisplayState& sourceDisplayState,
                                                            const DisplayState& currentDisplayState);
    // The rectangle moved, and shrunk where it must, to lie inside `bounds`.
    static CGRect clamped(const CGRect& rect, const CGRect& bounds);
};

} // namespace zen
