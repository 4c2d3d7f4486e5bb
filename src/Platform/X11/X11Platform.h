#pragma once

#include "Platform/PlatformServices.h"
#include "Platform/X11/DesktopEntryResolver.h"
#include "Platform/X11/X11DesktopReader.h"
#include "Platform/X11/X11WindowWriter.h"

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

namespace zen {

class X11Connection;

// The platform services on one X11 connection of their own, over EWMH/ICCCM and RandR.
// A reading of the whole desktop is taken when the running applications or the complete
// window list are asked for; attribute reads answer from the latest reading (taken afresh
// when it is older than a second), so one discovery costs a handful of round trips rather
// than one per attribute. Whole-desktop questions asked back to back with no write between
// them share one reading.
class X11Platform final : public AccessibilityService, public WindowServer, public Workspace, public ScreenSource {
public:
    // Absent when no X server can be reached.
    static std::shared_ptr<X11Platform> connect(const char* displayName = nullptr);
    PlatformServices services();

    // AccessibilityService
    bool isProcessTrusted() override;
    AXUIElement applicationElement(std::int32_t processIdentifier) override;
    std::optional<AXAttributeValue> copyAttributeValue(const AXUIElement& element, const QString& attribute) override;
    bool setAttributeValue(const AXUIElement& element, const QString& attribute, const AXAttributeValue& value) override;
    bool performAction(const AXUIElement& element, const QString& action) override;
    bool setFrame(const AXUIElement& element, const CGRect& frame) override;
    // One batch of requests for all windows; which of them have gone is learnt after it.
    std::vector<bool> setFrames(const std::vector<AXFramePlacement>& placements) override;
    std::vector<bool> performActions(const std::vector<AXUIElement>& elements, const QString& action) override;

    // WindowServer
    std::optional<std::vector<QVariantMap>> copyWindowList(WindowListOption option) override;
    bool windowListTruncated() override;

    // Workspace
    std::vector<RunningApplication> runningApplications() override;
    bool launchApplication(const QString& bundleIdentifier) override;
    bool activateApplication(std::int32_t processIdentifier) override;

    // ScreenSource
    std::vector<PlatformScreen> screens() override;
    std::optional<std::uint32_t> mainDisplayID() override;

    X11Connection& connection() { return *m_connection; }
    // A fresh reading of the desktop.
    std::shared_ptr<const X11DesktopState> refresh();
    // The next question reads the desktop afresh, as if something had been written.
    void forgetReading() { invalidate(); }

private:
    explicit X11Platform(std::shared_ptr<X11Connection> connection);
    // The last reading when it is younger than `maxAge` and nothing was written since, else a
    // fresh one. A whole-desktop question takes one only moments old, an attribute read one
    // up to a second old.
    std::shared_ptr<const X11DesktopState> reading(std::chrono::steady_clock::duration maxAge);
    DesktopEntryResolver::Identity identityOf(const X11ClientWindow& window);
    // The reading a write looks its window up in: the last one even when a write has made it
    // stale, since writes change neither which windows exist nor their owners and frame
    // extents; a window it does not know (one that appeared since) costs one fresh reading.
    // Re-reading the whole desktop before every attribute write made a restore of n windows
    // cost O(n^2) round trips.
    std::optional<std::pair<std::shared_ptr<const X11DesktopState>, const X11ClientWindow*>> writeTarget(const AXUIElement& element);
    // The same for several elements at once: at most one fresh reading for all of them. Null
    // for an element that names no window of its process.
    std::pair<std::shared_ptr<const X11DesktopState>, std::vector<const X11ClientWindow*>>
    writeTargets(const std::vector<AXUIElement>& elements);
    // After a write the last reading no longer describes the desktop for readers.
    void invalidate(bool stackingChanged = false);
    void noteRaised(std::int32_t pid, std::uint32_t window);

    std::shared_ptr<X11Connection> m_connection;
    X11WindowWriter m_writer;
    DesktopEntryResolver m_entries;
    std::mutex m_stateMutex;
    std::shared_ptr<const X11DesktopState> m_state;
    std::chrono::steady_clock::time_point m_stateTime;
    bool m_stateStale = false;
    // Whether we changed the stacking (raised, activated, un-minimized) since the reading.
    bool m_stackingChanged = false;
    std::uint64_t m_stackingChanges = 0;
    std::uint64_t m_writes = 0;
    // Per process, the window we last raised or activated and when.
    std::map<std::int32_t, std::pair<std::uint32_t, std::chrono::steady_clock::time_point>> m_lastRaised;
    std::weak_ptr<X11Platform> m_self;
};

} // namespace zen
