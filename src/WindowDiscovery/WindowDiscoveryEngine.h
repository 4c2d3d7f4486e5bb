#pragma once

#include "Permissions/AccessibilityTrustChecker.h"
#include "WindowDiscovery/AXAttributeReader.h"
#include "WindowDiscovery/CGWindowMetadataReader.h"
#include "WindowDiscovery/DiscoveredApplication.h"
#include "WindowDiscovery/WindowDiscoveryDiagnostic.h"

#include <QString>

#include <expected>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace zen {

struct PlatformServices;

struct WindowDiscoveryResult {
    std::vector<DiscoveredApplication> applications;
    std::vector<WindowDiscoveryDiagnostic> diagnostics;
    // The window list was cut at the platform's cap; the last diagnostic says so too.
    bool windowListTruncated = false;
};

class WindowDiscoveryError {
public:
    enum Code { accessibilityPermissionDenied };

    WindowDiscoveryError(Code code = accessibilityPermissionDenied) : m_code(code) {}
    Code code() const { return m_code; }
    QString errorDescription() const { return QStringLiteral("Window access is required to capture layouts."); }
    QString localizedDescription() const { return errorDescription(); }
    QString ownDescription() const { return QStringLiteral("WindowDiscoveryError.accessibilityPermissionDenied"); }

    friend bool operator==(const WindowDiscoveryError&, const WindowDiscoveryError&) = default;

private:
    Code m_code;
};

// Finds the windows of other applications that could be saved or moved now, and says why
// each other window was left out. Keeps no state; runs on the caller's thread.
struct WindowDiscoveryEngine {
    using RunningApplicationsProvider = std::function<std::vector<RunningApplicationSnapshot>()>;
    using AppElementProvider = std::function<AXUIElement(std::int32_t)>;
    using CGWindowMetadataProvider =
        std::function<std::map<std::int32_t, std::vector<CGWindowMetadata>>(const std::set<std::int32_t>&)>;

    AccessibilityTrustChecker trustChecker;
    AXAttributeReader attributeReader;
    RunningApplicationsProvider runningApplicationsProvider;
    AppElementProvider appElementProvider;
    CGWindowMetadataProvider cgWindowMetadataProvider;
    std::int32_t currentProcessIdentifier = 0;
    // Asked after the window list was read: whether that list was cut at the platform's cap.
    // Empty: never.
    std::function<bool()> windowListTruncatedProvider;

    // Everything bound to the given platform services (the live desktop by default), with
    // this process as the one never examined.
    static WindowDiscoveryEngine forPlatform(const PlatformServices& services);
    static WindowDiscoveryEngine live();

    std::expected<WindowDiscoveryResult, WindowDiscoveryError>
    discoverRunningWindowsWithDiagnostics(const std::vector<RunningApplicationSnapshot>& runningApplications) const;
    std::expected<WindowDiscoveryResult, WindowDiscoveryError> discoverRunningWindowsWithDiagnostics() const;
    std::expected<std::vector<DiscoveredApplication>, WindowDiscoveryError> discoverRunningWindows() const;

    // The window-list entry of `frame` among `candidates`: within 8 points on every edge,
    // an equal title first, then the smallest summed difference, then the earliest.
    struct Match {
        std::size_t index;
        CGWindowMetadata metadata;
    };
    static std::optional<Match> bestCGWindowMatch(const CGRect& frame, const std::optional<QString>& title,
                                                  const std::vector<CGWindowMetadata>& candidates);
    static std::optional<QString> unmanageableWindowRejectionReason(const QString& role, const std::optional<QString>& subrole,
                                                                    const std::optional<CGWindowMetadata>& cgMetadata);
    static bool isValidDiscoveredWindowFrame(const CGRect& frame);

private:
    struct AXWindowSnapshot {
        std::optional<QString> title;
        QString role;
        std::optional<QString> subrole;
        CGRect frame;
        bool isMinimized = false;
        bool isFullscreen = false;
        bool isMain = false;
        bool isHidden = false;
    };

    std::vector<RunningApplicationSnapshot> candidateApplications(const std::vector<RunningApplicationSnapshot>& apps) const;
    std::optional<AXWindowSnapshot> axWindowSnapshot(const AXUIElement& window, bool appIsHidden) const;
    static DiscoveredWindow discoveredWindow(const AXUIElement& element, const AXWindowSnapshot& snapshot,
                                             const std::optional<CGWindowMetadata>& cgWindowMetadata);
};

} // namespace zen
