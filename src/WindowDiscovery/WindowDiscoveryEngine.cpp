#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include "Platform/PlatformServices.h"
#include "Shared/StringExtensions.h"

#include <QSet>

#include <cmath>
#include <unistd.h>

namespace zen {

namespace {

const QSet<QString>& transientWindowRoles()
{
    static const QSet<QString> roles {QStringLiteral("AXSheet"), QStringLiteral("AXPopover"), QStringLiteral("AXMenu")};
    return roles;
}

const QSet<QString>& transientWindowSubroles()
{
    static const QSet<QString> subroles {QStringLiteral("AXSystemDialog"), QStringLiteral("AXFloatingWindow")};
    return subroles;
}

} // namespace

WindowDiscoveryEngine WindowDiscoveryEngine::forPlatform(const PlatformServices& services)
{
    WindowDiscoveryEngine engine;
    auto accessibility = services.accessibility;
    auto workspace = services.workspace;
    engine.trustChecker = AccessibilityTrustChecker([accessibility] { return accessibility && accessibility->isProcessTrusted(); });
    engine.attributeReader = AXAttributeReader(accessibility);
    engine.runningApplicationsProvider = [workspace] {
        std::vector<RunningApplicationSnapshot> list;
        if (workspace) {
            for (const RunningApplication& app : workspace->runningApplications())
                list.push_back(RunningApplicationSnapshot::fromApplication(app));
        }
        return list;
    };
    engine.appElementProvider = [accessibility](std::int32_t pid) {
        return accessibility ? accessibility->applicationElement(pid) : AXUIElement {pid, 0};
    };
    engine.cgWindowMetadataProvider = [reader = CGWindowMetadataReader(services.windowServer)](const std::set<std::int32_t>& pids) {
        return reader.readWindowMetadata(pids);
    };
    engine.currentProcessIdentifier = std::int32_t(::getpid());
    engine.windowListTruncatedProvider = [windowServer = services.windowServer] {
        return windowServer && windowServer->windowListTruncated();
    };
    return engine;
}

WindowDiscoveryEngine WindowDiscoveryEngine::live()
{
    return forPlatform(defaultPlatformServices());
}

std::expected<WindowDiscoveryResult, WindowDiscoveryError> WindowDiscoveryEngine::discoverRunningWindowsWithDiagnostics() const
{
    return discoverRunningWindowsWithDiagnostics(runningApplicationsProvider ? runningApplicationsProvider()
                                                                             : std::vector<RunningApplicationSnapshot> {});
}

std::expected<std::vector<DiscoveredApplication>, WindowDiscoveryError> WindowDiscoveryEngine::discoverRunningWindows() const
{
    auto result = discoverRunningWindowsWithDiagnostics();
    if (!result)
        return std::unexpected(result.error());
    return std::move(result->applications);
}

std::expected<WindowDiscoveryResult, WindowDiscoveryError>
WindowDiscoveryEngine::discoverRunningWindowsWithDiagnostics(const std::vector<RunningApplicationSnapshot>& runningApplications) const
{
    if (!trustChecker.isTrusted())
        return std::unexpected(WindowDiscoveryError::accessibilityPermissionDenied);

    const auto candidates = candidateApplications(runningApplications);
    std::set<std::int32_t> pids;
    for (const auto& app : candidates)
        pids.insert(app.processIdentifier);
    auto metadataByPid = cgWindowMetadataProvider ? cgWindowMetadataProvider(pids)
                                                  : std::map<std::int32_t, std::vector<CGWindowMetadata>> {};

    WindowDiscoveryResult result;
    for (const auto& app : candidates) {
        const QString bundleIdentifier = *app.bundleIdentifier;
        const std::int32_t pid = app.processIdentifier;
        std::vector<CGWindowMetadata> pool;
        if (auto it = metadataByPid.find(pid); it != metadataByPid.end())
            pool = it->second;

        const AXUIElement appElement = appElementProvider ? appElementProvider(pid) : AXUIElement {pid, 0};
        const bool appIsHidden = attributeReader.boolean(appElement, AXAttribute::hidden).value_or(false);
        const auto windowElements = attributeReader.elementArray(appElement, AXAttribute::windows).value_or(std::vector<AXUIElement> {});

        std::vector<DiscoveredWindow> kept;
        for (const AXUIElement& element : windowElements) {
            const auto snapshot = axWindowSnapshot(element, appIsHidden);
            if (!snapshot) {
                result.diagnostics.push_back({bundleIdentifier, pid, WindowDiscoveryDiagnosticReason::missingOrInvalidFrame});
                continue;
            }
            std::optional<CGWindowMetadata> matched;
            if (auto match = bestCGWindowMatch(snapshot->frame, snapshot->title, pool)) {
                // Claimed at once, so no later window of this application can take it, even
                // when this window is then rejected.
                matched = match->metadata;
                pool.erase(pool.begin() + std::ptrdiff_t(match->index));
            }
            if (auto reason = unmanageableWindowRejectionReason(snapshot->role, snapshot->subrole, matched)) {
                result.diagnostics.push_back({bundleIdentifier, pid, *reason});
                continue;
            }
            kept.push_back(discoveredWindow(element, *snapshot, matched));
        }
        if (!kept.empty())
            result.applications.push_back({bundleIdentifier, pid, app.localizedName, std::move(kept)});
    }
    // Reported, not fatal: the front-most windows are what a capture of such a desktop can keep.
    if (windowListTruncatedProvider && windowListTruncatedProvider()) {
        result.windowListTruncated = true;
        result.diagnostics.push_back({std::nullopt, std::nullopt, WindowDiscoveryDiagnosticReason::windowListTruncated});
    }
    return result;
}

std::vector<RunningApplicationSnapshot>
WindowDiscoveryEngine::candidateApplications(const std::vector<RunningApplicationSnapshot>& apps) const
{
    std::vector<RunningApplicationSnapshot> out = apps;
    std::erase_if(out, [this](const RunningApplicationSnapshot& app) {
        return !app.bundleIdentifier || app.isTerminated || app.activationPolicy == ActivationPolicy::prohibited
            || app.processIdentifier == currentProcessIdentifier;
    });
    return out;
}

bool WindowDiscoveryEngine::isValidDiscoveredWindowFrame(const CGRect& frame)
{
    // A null frame is not finite; an empty one has no positive size.
    return frame.isFinite() && !frame.isInfinite() && frame.size.width > 0 && frame.size.height > 0;
}

std::optional<WindowDiscoveryEngine::AXWindowSnapshot>
WindowDiscoveryEngine::axWindowSnapshot(const AXUIElement& window, bool appIsHidden) const
{
    const auto position = attributeReader.point(window, AXAttribute::position);
    if (!position)
        return std::nullopt;
    const auto size = attributeReader.size(window, AXAttribute::size);
    if (!size)
        return std::nullopt;
    const CGRect frame(position->x, position->y, size->width, size->height);
    if (!isValidDiscoveredWindowFrame(frame))
        return std::nullopt;

    AXWindowSnapshot s;
    s.frame = frame;
    s.isHidden = attributeReader.boolean(window, AXAttribute::hidden).value_or(appIsHidden);
    s.title = attributeReader.string(window, AXAttribute::title);
    s.role = attributeReader.string(window, AXAttribute::role).value_or(AXRoleName::window);
    s.subrole = attributeReader.string(window, AXAttribute::subrole);
    s.isMinimized = attributeReader.boolean(window, AXAttribute::minimized).value_or(false);
    s.isFullscreen = attributeReader.boolean(window, AXAttribute::fullScreen).value_or(false);
    s.isMain = attributeReader.boolean(window, AXAttribute::main).value_or(false);
    return s;
}

std::optional<WindowDiscoveryEngine::Match>
WindowDiscoveryEngine::bestCGWindowMatch(const CGRect& frame, const std::optional<QString>& title,
                                         const std::vector<CGWindowMetadata>& candidates)
{
    constexpr double tolerance = 8.0;
    const auto axTitle = nonEmptyValue(title);
    std::optional<Match> best;
    int bestRank = 0;
    double bestDistance = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const CGRect& b = candidates[i].bounds;
        const double dx = std::fabs(frame.minX() - b.minX());
        const double dy = std::fabs(frame.minY() - b.minY());
        const double dw = std::fabs(frame.width() - b.width());
        const double dh = std::fabs(frame.height() - b.height());
        if (!(dx <= tolerance && dy <= tolerance && dw <= tolerance && dh <= tolerance))
            continue;
        const auto entryTitle = nonEmptyValue(candidates[i].title);
        const int rank = (axTitle && entryTitle && *axTitle == *entryTitle) ? 0 : 1;
        const double distance = dx + dy + dw + dh;
        if (!best || rank < bestRank || (rank == bestRank && distance < bestDistance)) {
            best = Match {i, candidates[i]};
            bestRank = rank;
            bestDistance = distance;
        }
    }
    return best;
}

std::optional<QString> WindowDiscoveryEngine::unmanageableWindowRejectionReason(
    const QString& role, const std::optional<QString>& subrole, const std::optional<CGWindowMetadata>& cgMetadata)
{
    if (cgMetadata && cgMetadata->layer != 0)
        return WindowDiscoveryDiagnosticReason::nonzeroCGWindowLayer;
    if (transientWindowRoles().contains(role))
        return WindowDiscoveryDiagnosticReason::transientRole;
    if (subrole && transientWindowSubroles().contains(*subrole))
        return WindowDiscoveryDiagnosticReason::transientSubrole;
    if (role == AXRoleName::dialog && !cgMetadata)
        return WindowDiscoveryDiagnosticReason::unmanageableDialog;
    return std::nullopt;
}

DiscoveredWindow WindowDiscoveryEngine::discoveredWindow(const AXUIElement& element, const AXWindowSnapshot& s,
                                                         const std::optional<CGWindowMetadata>& m)
{
    DiscoveredWindow w;
    w.axElement = element;
    w.title = s.title;
    w.role = s.role;
    w.subrole = s.subrole;
    w.frame = s.frame;
    w.isMinimized = s.isMinimized;
    w.isFullscreen = s.isFullscreen;
    w.isMain = s.isMain;
    w.isVisible = !s.isHidden && (!m || m->isOnScreen);
    if (m) {
        w.cgWindowID = m->windowID;
        w.ownerName = m->ownerName;
        w.cgLayer = m->layer;
        w.zOrderHint = m->zOrderHint;
        w.isOnScreen = m->isOnScreen;
    }
    return w;
}

} // namespace zen
