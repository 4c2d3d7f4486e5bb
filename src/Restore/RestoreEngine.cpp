#include "Restore/RestoreEngine.h"

#include "Platform/PlatformServices.h"
#include "Restore/AXRestoreWindowApplier.h"
#include "Restore/RestoreSkipReason.h"
#include "Restore/RestoreWindowZOrderRestorer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>
#include <thread>

namespace zen {

namespace {

struct LivePair {
    RestoreWindowCandidate candidate;
    const DiscoveredWindow* window;
};

// Numbers every live window 0, 1, 2, ... across the applications, in discovery order; the
// number finds the live window of a planned candidate again.
std::vector<LivePair> liveWindowsByCandidateID(const std::vector<DiscoveredApplication>& applications)
{
    std::vector<LivePair> pairs;
    std::int64_t next = 0;
    for (const auto& app : applications) {
        for (const auto& window : app.windows) {
            RestoreWindowCandidate c;
            c.id = next++;
            c.bundleIdentifier = app.bundleIdentifier;
            c.pid = app.pid;
            c.title = window.title;
            c.role = window.role;
            c.subrole = window.subrole;
            c.frame = window.frame;
            pairs.push_back({std::move(c), &window});
        }
    }
    return pairs;
}

// Discovery words its permission error for captures; a restore that loses the permission on
// the way says so in its own words.
RestoreEngineFailure asRestoreFailure(RestoreEngineFailure failure)
{
    if (const auto* e = failure.as<WindowDiscoveryError>(); e && e->code() == WindowDiscoveryError::accessibilityPermissionDenied)
        return RestoreEngineError(RestoreEngineError::accessibilityPermissionDenied);
    return failure;
}

// The X11 protocol carries 16-bit coordinates; a number outside them (or no number at all)
// can't name a place on any desktop.
bool isWithinCoordinateRange(const CGRect& r)
{
    constexpr double limit = 32767.0;
    const double values[] = {r.origin.x, r.origin.y, r.origin.x + r.size.width, r.origin.y + r.size.height};
    for (double v : values) {
        if (!std::isfinite(v) || v < -limit || v > limit)
            return false;
    }
    return std::isfinite(r.size.width) && std::isfinite(r.size.height);
}

// A layout file may hold any numbers. What the saved window asks for - its frame laid into
// the display that stands in for its own, or its saved frame when there is none - must be a
// real place, not just what clamping happens to make of it.
bool isPlaceable(const WindowRecord& saved, const RestoreDisplayPlan& plan, const DisplayState& current)
{
    if (!isWithinCoordinateRange(plan.targetFrame))
        return false;
    if (!plan.resolvedDisplayID)
        return isWithinCoordinateRange(saved.frame.cgRect());
    for (const auto& display : current.displays) {
        if (display.id == *plan.resolvedDisplayID)
            return isWithinCoordinateRange(saved.normalizedFrame.denormalized(display.frameRect()));
    }
    return true;
}

std::vector<RestoreWindowCandidate> candidatesOf(const std::vector<LivePair>& pairs)
{
    std::vector<RestoreWindowCandidate> out;
    out.reserve(pairs.size());
    for (const auto& p : pairs)
        out.push_back(p.candidate);
    return out;
}

} // namespace

QString RestoreEngineFailure::localizedDescription() const
{
    return std::visit([](const auto& e) { return e.localizedDescription(); }, m_error);
}

QString RestoreEngineFailure::ownDescription() const
{
    return std::visit([](const auto& e) { return e.ownDescription(); }, m_error);
}

double RestoreEngine::monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void RestoreEngine::sleepSeconds(double seconds)
{
    // Callers pass a positive, finite interval; anything else is no pause at all.
    if (!std::isfinite(seconds) || seconds <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::int64_t(std::min(seconds, 3600.0) * 1e9)));
}

RestoreEngine RestoreEngine::forPlatform(SnapshotStore store, const PlatformServices& services,
                                         std::shared_ptr<const TelemetryLogging> logger)
{
    auto accessibility = services.accessibility;
    auto workspace = services.workspace;
    const WindowDiscoveryEngine discovery = WindowDiscoveryEngine::forPlatform(services);
    // The running applications read for the latest discovery: the running set is asked for
    // right after each discovery, and reading the workspace again would read the whole
    // desktop again for the same answer.
    struct LastRunning {
        std::mutex mutex;
        std::optional<std::vector<RunningApplicationSnapshot>> applications;
    };
    auto lastRunning = std::make_shared<LastRunning>();
    RestoreEngine engine {
        std::move(store),
        AccessibilityTrustChecker([accessibility] { return accessibility && accessibility->isProcessTrusted(); }),
        std::make_shared<AXRestoreWindowApplier>(accessibility),
        RestoreWindowMatchPlanner {},
        DisplayResolver(services.screens),
        std::make_shared<NSWorkspaceRestoreApplicationLauncher>(workspace),
        std::make_shared<NSWorkspaceRestoreApplicationActivator>(workspace),
        [discovery, lastRunning]() -> std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure> {
            auto running = discovery.runningApplicationsProvider ? discovery.runningApplicationsProvider()
                                                                 : std::vector<RunningApplicationSnapshot> {};
            {
                std::lock_guard lock(lastRunning->mutex);
                lastRunning->applications = running;
            }
            auto result = discovery.discoverRunningWindowsWithDiagnostics(running);
            if (!result)
                return std::unexpected(RestoreEngineFailure(result.error()));
            return std::move(result->applications);
        },
        [workspace, lastRunning] {
            QSet<QString> ids;
            std::optional<std::vector<RunningApplicationSnapshot>> running;
            {
                std::lock_guard lock(lastRunning->mutex);
                running = lastRunning->applications;
            }
            if (!running && workspace) {
                running.emplace();
                for (const auto& app : workspace->runningApplications())
                    running->push_back(RunningApplicationSnapshot::fromApplication(app));
            }
            // An application that has exited is not running, even while the window server
            // still shows a window of it: it is launched again like any other.
            for (const auto& app : running.value_or(std::vector<RunningApplicationSnapshot> {})) {
                if (app.bundleIdentifier && !app.isTerminated)
                    ids.insert(*app.bundleIdentifier);
            }
            return ids;
        },
        5.0,
        0.1,
        &RestoreEngine::monotonicSeconds,
        &RestoreEngine::sleepSeconds,
        logger ? std::move(logger) : std::make_shared<NoOpTelemetryLogger>(),
    };
    return engine;
}

RestoreEngine RestoreEngine::live(SnapshotStore store, std::shared_ptr<const TelemetryLogging> logger)
{
    return forPlatform(std::move(store), defaultPlatformServices(), std::move(logger));
}

void RestoreEngine::log(const TelemetryLogEvent& event) const
{
    if (telemetryLogger)
        telemetryLogger->log(event);
}

QSet<QString> RestoreEngine::runningBundleIdentifiers(const std::vector<DiscoveredApplication>& applications) const
{
    QSet<QString> ids = runningApplicationBundleProvider ? runningApplicationBundleProvider() : QSet<QString> {};
    for (const auto& app : applications)
        ids.insert(app.bundleIdentifier);
    return ids;
}

bool RestoreEngine::launchedApplicationsAreReady(const Snapshot& snapshot, const QSet<QString>& requestedLaunches,
                                                 const std::vector<DiscoveredApplication>& applications) const
{
    std::vector<WindowRecord> launchedWindows;
    for (const auto& w : snapshot.windows) {
        if (requestedLaunches.contains(w.bundleIdentifier))
            launchedWindows.push_back(w);
    }
    const auto pairs = liveWindowsByCandidateID(applications);
    const auto plans = matchPlanner.plans(launchedWindows, candidatesOf(pairs), runningBundleIdentifiers(applications), {},
                                          requestedLaunches);
    // A launched program maps its windows one after another: stopping at its first window
    // would leave the others where the window manager puts them.
    return std::ranges::all_of(plans, [](const RestoreWindowPlan& plan) { return plan.candidate.has_value(); });
}

std::expected<std::vector<DiscoveredApplication>, RestoreEngineFailure>
RestoreEngine::rediscoverApplicationsUntilLaunchReadiness(const Snapshot& snapshot, const QSet<QString>& requestedLaunches) const
{
    const auto now = [this] { return launchClock ? launchClock() : monotonicSeconds(); };
    const double deadline = now() + launchTimeout;
    auto applications = discoveredApplicationsProvider();
    if (!applications)
        return applications;
    // A clock that stops answering with numbers (NaN) compares false and ends the wait,
    // rather than holding the restore forever.
    while (!launchedApplicationsAreReady(snapshot, requestedLaunches, *applications) && now() < deadline) {
        if (launchPollSleeper)
            launchPollSleeper(launchPollInterval);
        applications = discoveredApplicationsProvider();
        if (!applications)
            return applications;
    }
    return applications;
}

std::expected<RestoreResult, RestoreEngineFailure> RestoreEngine::restoreSnapshot(const QUuid& id) const
{
    auto fail = [&](RestoreEngineFailure failure) -> std::expected<RestoreResult, RestoreEngineFailure> {
        log(TelemetryLogEvent::restoreFailed(id, failure));
        return std::unexpected(std::move(failure));
    };

    if (!trustChecker.isTrusted())
        return fail(RestoreEngineError(RestoreEngineError::accessibilityPermissionDenied));

    auto loaded = snapshotStore.loadSnapshot(id);
    if (!loaded)
        return fail(loaded.error());
    const Snapshot& snapshot = *loaded;

    const DisplayState currentDisplays = displayResolver.captureDisplayState();

    if (!discoveredApplicationsProvider)
        return fail(RestoreEngineError(RestoreEngineError::accessibilityPermissionDenied));
    auto discovered = discoveredApplicationsProvider();
    if (!discovered)
        return fail(asRestoreFailure(discovered.error()));
    std::vector<DiscoveredApplication> applications = std::move(*discovered);

    const QSet<QString> initiallyRunning = runningBundleIdentifiers(applications);
    QSet<QString> requested;
    QSet<QString> asked;
    for (const auto& w : snapshot.windows) {
        if (initiallyRunning.contains(w.bundleIdentifier) || asked.contains(w.bundleIdentifier))
            continue;
        asked.insert(w.bundleIdentifier);
        if (applicationLauncher && applicationLauncher->requestLaunch(w.bundleIdentifier))
            requested.insert(w.bundleIdentifier);
    }
    if (!requested.isEmpty()) {
        auto waited = rediscoverApplicationsUntilLaunchReadiness(snapshot, requested);
        if (!waited)
            return fail(asRestoreFailure(waited.error()));
        applications = std::move(*waited);
    }

    const auto pairs = liveWindowsByCandidateID(applications);
    // Without a wait nothing was discovered since the running set was taken.
    const auto plans = matchPlanner.plans(snapshot.windows, candidatesOf(pairs),
                                          requested.isEmpty() ? initiallyRunning : runningBundleIdentifiers(applications),
                                          initiallyRunning, requested);

    RestoreResult result;
    for (const auto& plan : plans) {
        if (plan.skip)
            result.skippedItems.push_back(*plan.skip);
    }

    auto skipFailed = [&](const WindowRecord& saved, const std::optional<QString>& reason) {
        result.skippedItems.push_back(RestoreSkip {QUuid::createUuid(), saved.bundleIdentifier, saved.windowTitle,
                                                   reason.value_or(RestoreSkipReason::restoreFailed)});
    };

    // What each plan comes to before anything is written: passed over, refused, or a
    // placement in the batch that places every window at once.
    struct Step {
        const RestoreWindowPlan* plan = nullptr;
        const LivePair* pair = nullptr;
        std::optional<QString> refusal;
        RestoreDisplayPlan displayPlan;
        std::size_t placement = 0;
    };
    std::vector<Step> steps;
    std::vector<RestoreWindowPlacement> placements;
    for (const auto& plan : plans) {
        Step step;
        step.plan = &plan;
        if (!plan.candidate) {
            if (plan.skip)
                continue; // listed with the planner's skips
            // Every saved window ends as restored or skipped; a plan with neither gets its skip here.
            step.refusal = RestoreSkipReason::windowNotFound;
        } else if (plan.candidate->id >= 0 && std::size_t(plan.candidate->id) < pairs.size()
                   && pairs[std::size_t(plan.candidate->id)].candidate.id == plan.candidate->id) {
            step.pair = &pairs[std::size_t(plan.candidate->id)];
            step.displayPlan = DisplayResolver::restorePlan(plan.savedWindow, snapshot.sourceDisplayState, currentDisplays);
            if (!isPlaceable(plan.savedWindow, step.displayPlan, currentDisplays)) {
                step.refusal = RestoreSkipReason::restoreFailed;
            } else {
                step.placement = placements.size();
                placements.push_back(RestoreWindowPlacement {&plan.savedWindow, step.displayPlan.targetFrame, step.pair->window});
            }
        } else {
            step.refusal = RestoreSkipReason::windowNotFound;
        }
        steps.push_back(std::move(step));
    }
    std::vector<RestoreWindowApplyResult> applied;
    if (windowApplier && !placements.empty())
        applied = windowApplier->applyAll(placements);

    std::vector<RestoreWindowZOrderItem> stacking;
    for (const Step& step : steps) {
        const WindowRecord& saved = step.plan->savedWindow;
        if (step.refusal) {
            skipFailed(saved, step.refusal);
            continue;
        }
        const RestoreWindowApplyResult outcome = step.placement < applied.size()
            ? applied[step.placement]
            : RestoreWindowApplyResult::failed(RestoreSkipReason::restoreFailed);
        if (!outcome.didRestore) {
            skipFailed(saved, outcome.failureReason);
            continue;
        }
        ++result.restoredWindows;
        stacking.push_back(RestoreWindowZOrderItem {saved, step.plan->candidate->pid, *step.pair->window});
        if (outcome.downgrade)
            result.downgradedItems.push_back(*outcome.downgrade);
        if (step.displayPlan.fallback)
            result.displayFallbacks.push_back(*step.displayPlan.fallback);
    }

    RestoreWindowZOrderRestorer {RestoreWindowZOrderPlanner {}, windowApplier, applicationActivator}.restore(stacking);

    log(TelemetryLogEvent::restoreCompleted(snapshot, result));
    return result;
}

} // namespace zen
