#include "Displays/DisplayResolver.h"

#include "Platform/PlatformServices.h"
#include "Shared/StringExtensions.h"

#include <algorithm>
#include <cmath>

namespace zen {

namespace {

std::optional<QString> trimmedName(const std::optional<QString>& name)
{
    const auto t = nonEmptyValue(name);
    if (!t)
        return std::nullopt;
    // Names are compared as canonically equivalent text.
    return t->normalized(QString::NormalizationForm_C);
}

bool hasHardwareNumbers(const DisplayRecord& d)
{
    return d.vendorID || d.productID || d.serialNumber;
}

bool hardwareMatches(const DisplayRecord& a, const DisplayRecord& b)
{
    return hasHardwareNumbers(a) && a.vendorID == b.vendorID && a.productID == b.productID && a.serialNumber == b.serialNumber;
}

double overlapArea(const CGRect& a, const CGRect& b)
{
    const CGRect i = a.intersected(b);
    if (i.isNull())
        return 0;
    return i.width() * i.height();
}

double centreDistanceSquared(const CGRect& a, const CGRect& b)
{
    const double dx = a.midX() - b.midX();
    const double dy = a.midY() - b.midY();
    return dx * dx + dy * dy;
}

bool positionLess(const DisplayRecord& a, const DisplayRecord& b)
{
    const CGRect fa = a.frameRect(), fb = b.frameRect();
    if (fa.minX() != fb.minX())
        return fa.minX() < fb.minX();
    if (fa.minY() != fb.minY())
        return fa.minY() < fb.minY();
    return a.id < b.id;
}

std::optional<std::uint32_t> nonZero(std::uint32_t v)
{
    return v == 0 ? std::nullopt : std::optional<std::uint32_t>(v);
}

} // namespace

DisplayRecord DisplayResolver::ScreenSnapshot::displayRecord() const
{
    DisplayRecord r;
    r.id = id;
    r.localizedName = localizedName;
    r.frame = CGRectCodable(frame);
    r.visibleFrame = CGRectCodable(visibleFrame);
    r.backingScaleFactor = backingScaleFactor;
    r.isPrimary = isPrimary;
    r.vendorID = vendorID;
    r.productID = productID;
    r.serialNumber = serialNumber;
    return r;
}

std::vector<DisplayResolver::ScreenSnapshot> DisplayResolver::ScreenSnapshot::currentScreens()
{
    auto source = defaultPlatformServices().screens;
    return source ? currentScreens(*source) : std::vector<ScreenSnapshot> {};
}

std::vector<DisplayResolver::ScreenSnapshot> DisplayResolver::ScreenSnapshot::currentScreens(ScreenSource& source)
{
    // The list first: reading it brings the source up to date, so the main display is then
    // answered from the same reading instead of a second one.
    const std::vector<PlatformScreen> screens = source.screens();
    const auto mainID = source.mainDisplayID();
    std::vector<ScreenSnapshot> out;
    for (const PlatformScreen& s : screens) {
        ScreenSnapshot snap;
        snap.id = s.id;
        snap.localizedName = s.localizedName;
        snap.frame = s.frame;
        snap.visibleFrame = s.visibleFrame;
        snap.backingScaleFactor = s.backingScaleFactor;
        snap.isPrimary = mainID && s.id == *mainID;
        snap.vendorID = nonZero(s.vendorNumber);
        snap.productID = nonZero(s.modelNumber);
        snap.serialNumber = nonZero(s.serialNumber);
        out.push_back(snap);
    }
    return out;
}

std::vector<DisplayResolver::ScreenSnapshot>
DisplayResolver::ScreenSnapshot::alignedToAccessibilityCoordinates(std::vector<ScreenSnapshot> screens, std::uint32_t primaryDisplayID)
{
    if (screens.empty())
        return screens;
    auto reference = std::find_if(screens.begin(), screens.end(), [&](const auto& s) { return s.id == primaryDisplayID; });
    if (reference == screens.end())
        reference = std::find_if(screens.begin(), screens.end(), [](const auto& s) { return s.isPrimary; });
    if (reference == screens.end())
        return screens;
    const double h = reference->frame.maxY();
    for (auto& s : screens) {
        s.frame = CGRect(s.frame.minX(), h - s.frame.maxY(), s.frame.width(), s.frame.height());
        s.visibleFrame = CGRect(s.visibleFrame.minX(), h - s.visibleFrame.maxY(), s.visibleFrame.width(), s.visibleFrame.height());
    }
    return screens;
}

DisplayResolver::DisplayResolver()
    : screenProvider([] { return ScreenSnapshot::currentScreens(); })
{
}

DisplayResolver::DisplayResolver(std::shared_ptr<ScreenSource> source)
    : screenProvider([source] { return source ? ScreenSnapshot::currentScreens(*source) : std::vector<ScreenSnapshot> {}; })
{
}

DisplayState DisplayResolver::captureDisplayState() const
{
    std::vector<DisplayRecord> records;
    if (screenProvider) {
        for (const auto& s : screenProvider())
            records.push_back(s.displayRecord());
    }
    std::stable_sort(records.begin(), records.end(), positionLess);
    const auto primary = std::ranges::find_if(records, &DisplayRecord::isPrimary);
    const auto primaryID = primary == records.end() ? std::nullopt : std::optional<std::uint32_t>(primary->id);
    return DisplayState::make(std::move(records), primaryID);
}

std::optional<DisplayRecord> DisplayResolver::resolveDisplay(const CGRect& frame, const std::vector<DisplayRecord>& displays)
{
    if (displays.empty())
        return std::nullopt;
    std::size_t best = 0;
    double bestOverlap = overlapArea(frame, displays[0].frameRect());
    double bestDistance = centreDistanceSquared(frame, displays[0].frameRect());
    for (std::size_t i = 1; i < displays.size(); ++i) {
        const CGRect f = displays[i].frameRect();
        const CGRect bf = displays[best].frameRect();
        const double overlap = overlapArea(frame, f);
        const double distance = centreDistanceSquared(frame, f);
        bool better = false;
        if (overlap != bestOverlap)
            better = overlap > bestOverlap;
        else if (distance != bestDistance)
            better = distance < bestDistance;
        else if (f.minX() != bf.minX())
            better = f.minX() > bf.minX();
        else if (f.minY() != bf.minY())
            better = f.minY() > bf.minY();
        else
            better = displays[i].id > displays[best].id;
        if (better) {
            best = i;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    if (bestOverlap > 0)
        return displays[best];

    best = 0;
    bestDistance = centreDistanceSquared(frame, displays[0].frameRect());
    for (std::size_t i = 1; i < displays.size(); ++i) {
        const double distance = centreDistanceSquared(frame, displays[i].frameRect());
        bool better = false;
        if (distance != bestDistance)
            better = distance < bestDistance;
        else
            better = positionLess(displays[i], displays[best]);
        if (better) {
            best = i;
            bestDistance = distance;
        }
    }
    return displays[best];
}

std::optional<DisplayRecord> DisplayResolver::resolveDisplay(const CGRect& frame, const DisplayState& state)
{
    return resolveDisplay(frame, state.displays);
}

NormalizedRect DisplayResolver::normalizedFrame(const CGRect& f, const DisplayRecord& display)
{
    return NormalizedRect::fromFrames(f, display.frameRect());
}

std::optional<DisplayResolver::Resolution>
DisplayResolver::resolvedRestoreDisplay(std::optional<std::uint32_t> savedDisplayID, const DisplayState& source,
                                        const DisplayState& current)
{
    const auto savedIt = savedDisplayID ? std::ranges::find(source.displays, *savedDisplayID, &DisplayRecord::id)
                                        : source.displays.end();
    const DisplayRecord* saved = savedIt == source.displays.end() ? nullptr : &*savedIt;
    const auto& displays = current.displays;

    if (saved) {
        // 1. The same hardware, when exactly one display has it.
        std::vector<const DisplayRecord*> candidates;
        for (const auto& d : displays) {
            if (hardwareMatches(d, *saved))
                candidates.push_back(&d);
        }
        if (candidates.size() == 1) {
            const DisplayRecord& d = *candidates.front();
            return Resolution {d, d.id == saved->id ? std::nullopt : std::optional<QString>(DisplayFallbackReason::hardwareMatch)};
        }

        // 2. The same id, when nothing says it is another monitor now.
        const auto savedName = trimmedName(saved->localizedName);
        for (const auto& d : displays) {
            if (d.id != saved->id)
                continue;
            const auto name = trimmedName(d.localizedName);
            if ((!hasHardwareNumbers(*saved) && !savedName) || hardwareMatches(*saved, d) || (savedName && name && *savedName == *name))
                return Resolution {d, std::nullopt};
            break;
        }

        // 3. The same name, nearest in place and size.
        if (savedName) {
            const CGRect sf = saved->frameRect();
            const DisplayRecord* best = nullptr;
            double bestCloseness = 0;
            for (const auto& d : displays) {
                const auto name = trimmedName(d.localizedName);
                if (!name || *name != *savedName)
                    continue;
                const CGRect f = d.frameRect();
                const double closeness = std::fabs(f.minX() - sf.minX()) + std::fabs(f.minY() - sf.minY())
                    + std::fabs(f.width() - sf.width()) + std::fabs(f.height() - sf.height());
                if (!best || closeness < bestCloseness || (closeness == bestCloseness && positionLess(d, *best))) {
                    best = &d;
                    bestCloseness = closeness;
                }
            }
            if (best)
                return Resolution {*best, DisplayFallbackReason::semanticMatch};
        }
    } else if (savedDisplayID) {
        // 4. A display the layout does not describe, but which is attached under that id.
        for (const auto& d : displays) {
            if (d.id == *savedDisplayID)
                return Resolution {d, std::nullopt};
        }
    }

    // 5. The primary display.
    if (displays.empty())
        return std::nullopt;
    if (current.primaryDisplayID) {
        for (const auto& d : displays) {
            if (d.id == *current.primaryDisplayID)
                return Resolution {d, DisplayFallbackReason::primaryDisplay};
        }
    }
    for (const auto& d : displays) {
        if (d.isPrimary)
            return Resolution {d, DisplayFallbackReason::primaryDisplay};
    }
    const auto first = std::min_element(displays.begin(), displays.end(), positionLess);
    return Resolution {*first, DisplayFallbackReason::primaryDisplay};
}

CGRect DisplayResolver::clamped(const CGRect& r, const CGRect& b)
{
    if (b.isNull() || b.isEmpty() || b.width() <= 0 || b.height() <= 0)
        return r;
    const double width = std::min(r.width(), b.width());
    const double height = std::min(r.height(), b.height());
    const double x = std::min(std::max(r.minX(), b.minX()), b.maxX() - width);
    const double y = std::min(std::max(r.minY(), b.minY()), b.maxY() - height);
    return CGRect(x, y, width, height);
}

RestoreDisplayPlan DisplayResolver::restorePlan(const WindowRecord& window, const DisplayState& source, const DisplayState& current)
{
    if (current.displays.empty()) {
        DisplayFallbackEvent event;
        event.savedDisplayID = window.displayID;
        event.reason = DisplayFallbackReason::noDisplaysAvailable;
        return RestoreDisplayPlan {window.frame.cgRect(), std::nullopt, event};
    }
    const auto resolution = resolvedRestoreDisplay(window.displayID, source, current);
    if (!resolution)
        return RestoreDisplayPlan {window.frame.cgRect(), std::nullopt, std::nullopt};

    const CGRect raw = window.normalizedFrame.denormalized(resolution->display.frameRect());
    RestoreDisplayPlan plan {clamped(raw, resolution->display.visibleFrameRect()), resolution->display.id, std::nullopt};
    if (resolution->reason) {
        DisplayFallbackEvent event;
        event.savedDisplayID = window.displayID;
        event.resolvedDisplayID = resolution->display.id;
        event.reason = *resolution->reason;
        plan.fallback = event;
    }
    return plan;
}

} // namespace zen
