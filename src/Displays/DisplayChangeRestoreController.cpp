#include "Displays/DisplayChangeRestoreController.h"

#include "Displays/DisplayResolver.h"
#include "Displays/ScreenParametersNotifier.h"
#include "Infrastructure/AppLogger.h"
#include "Infrastructure/ZentharionSettings.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Permissions/PermissionCoordinator.h"
#include "Shared/UserDefaults.h"

#include <QPointer>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace zen {

DisplayTopologySignature DisplayTopologySignature::of(const DisplayState& state)
{
    DisplayTopologySignature signature;
    for (const DisplayRecord& display : state.displays) {
        if (display.vendorID && display.productID && display.serialNumber) {
            signature.displays.emplace_back(Hardware{*display.vendorID, *display.productID, *display.serialNumber});
            continue;
        }
        const QString name = display.localizedName.value_or(QString()).trimmed();
        // Kept composed, so that names a layout's records call equal are one monitor here too.
        if (!name.isEmpty())
            signature.displays.emplace_back(name.normalized(QString::NormalizationForm_C));
        else
            signature.displays.emplace_back(Anonymous{});
    }
    std::sort(signature.displays.begin(), signature.displays.end());
    return signature;
}

DisplayConfigurationSignature DisplayConfigurationSignature::of(const DisplayState& state)
{
    DisplayConfigurationSignature signature{state.displays};
    std::sort(signature.displays.begin(), signature.displays.end(), [](const DisplayRecord& a, const DisplayRecord& b) {
        return std::tie(a.frame.x, a.frame.y, a.id) < std::tie(b.frame.x, b.frame.y, b.id);
    });
    return signature;
}

DisplayChangeRestoreController::DisplayChangeRestoreController(
    SnapshotProvider snapshotProvider, Gate isSuggestionEnabled, Gate isRestoreAuthorized, Gate isOperating,
    std::weak_ptr<DisplayRestoreSuggestionPresenting> suggestionPresenter, Restore restore, Options options,
    QObject* parent)
    : QObject(parent)
    , m_snapshotProvider(std::move(snapshotProvider))
    , m_isSuggestionEnabled(std::move(isSuggestionEnabled))
    , m_isRestoreAuthorized(std::move(isRestoreAuthorized))
    , m_isOperating(std::move(isOperating))
    , m_suggestionPresenter(std::move(suggestionPresenter))
    , m_restore(std::move(restore))
    , m_options(std::move(options))
{
    if (!m_options.displayStateProvider)
        m_options.displayStateProvider = [resolver = DisplayResolver()] { return resolver.captureDisplayState(); };
    if (!m_options.scheduler)
        m_options.scheduler = std::make_shared<QtOperationScheduler>();
}

DisplayChangeRestoreController::~DisplayChangeRestoreController()
{
    if (m_debounceTask)
        m_debounceTask->cancel();
}

std::unique_ptr<DisplayChangeRestoreController> DisplayChangeRestoreController::forApplication(
    SnapshotStore store, std::shared_ptr<PermissionCoordinator> permissionCoordinator,
    std::weak_ptr<SnapshotMenuController> snapshotMenuController,
    std::weak_ptr<DisplayRestoreSuggestionPresenting> suggestionPresenter, Restore restore, Options options)
{
    auto snapshots = [store = std::move(store)]() -> std::expected<std::vector<Snapshot>, SnapshotStoreError> {
        auto summaries = store.listSummaries();
        if (!summaries)
            return std::unexpected(summaries.error());
        std::vector<Snapshot> loaded;
        loaded.reserve(summaries->size());
        for (const SnapshotSummary& summary : *summaries) {
            auto snapshot = store.loadSnapshot(summary.id);
            // One unreadable layout spoils the whole offer: choosing among the others could
            // miss the very layout the user made for these monitors.
            if (!snapshot)
                return std::unexpected(snapshot.error());
            loaded.push_back(std::move(*snapshot));
        }
        return loaded;
    };
    auto enabled = [defaults = options.userDefaults] {
        const UserDefaults& preferences = defaults ? *defaults : UserDefaults::standard();
        return preferences.boolForKey(ZentharionSettings::suggestRestoreOnDisplayChangeKey);
    };
    auto authorized = [coordinator = std::move(permissionCoordinator)] {
        return coordinator
            && coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::privilegedAction)
                   == AccessibilityAuthorizationState::authorized;
    };
    auto operating = [snapshotMenuController] {
        const auto controller = snapshotMenuController.lock();
        return controller && controller->isOperating();
    };
    return std::make_unique<DisplayChangeRestoreController>(std::move(snapshots), std::move(enabled),
                                                            std::move(authorized), std::move(operating),
                                                            std::move(suggestionPresenter), std::move(restore),
                                                            std::move(options));
}

std::chrono::nanoseconds DisplayChangeRestoreController::debounceDelay(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return std::chrono::nanoseconds(0);
    const double nanoseconds = seconds * 1e9;
    // The largest double below the int64 range: converting anything larger is undefined.
    constexpr double limit = 9.223372036854774784e18;
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::min(nanoseconds, limit)));
}

void DisplayChangeRestoreController::start()
{
    if (m_started)
        return;
    m_started = true;
    m_lastDisplayTopologySignature = DisplayTopologySignature::of(m_options.displayStateProvider());
    ScreenParametersNotifier* notifier = m_options.notifier;
    if (!notifier)
        notifier = ScreenParametersNotifier::forApplication(this);
    // Queued: the screens' signals come from inside the platform's event handling, and the
    // reaction reads every screen again, which must see the change complete.
    connect(notifier, &ScreenParametersNotifier::screenParametersChanged, this,
            &DisplayChangeRestoreController::displayParametersDidChange, Qt::QueuedConnection);
}

void DisplayChangeRestoreController::displayParametersDidChange()
{
    const auto presenter = m_suggestionPresenter.lock();
    if (presenter && presenter->isDisplayRestoreSuggestionVisible()) {
        const auto current = DisplayConfigurationSignature::of(m_options.displayStateProvider());
        if (m_suggestedDisplaySignature && !(*m_suggestedDisplaySignature == current)) {
            presenter->hideDisplayRestoreSuggestion();
            m_suggestedDisplaySignature.reset();
            m_reofferAfterReconfiguration = true;
        }
    } else {
        m_suggestedDisplaySignature.reset();
    }

    if (m_debounceTask)
        m_debounceTask->cancel();
    QPointer<DisplayChangeRestoreController> self(this);
    m_debounceTask = m_options.scheduler->runAfter(debounceDelay(m_options.debounceInterval), [self] {
        if (self)
            self->evaluateDisplayChange();
    });
}

void DisplayChangeRestoreController::evaluateDisplayChange()
{
    const bool reoffer = std::exchange(m_reofferAfterReconfiguration, false);
    const DisplayState state = m_options.displayStateProvider();
    const auto configuration = DisplayConfigurationSignature::of(state);
    auto topology = DisplayTopologySignature::of(state);

    if (m_lastDisplayTopologySignature && *m_lastDisplayTopologySignature == topology && !reoffer) {
        log(QtDebugMsg, unchangedTopologyMessage);
        return;
    }
    m_lastDisplayTopologySignature = std::move(topology);

    if (!m_isSuggestionEnabled || !m_isSuggestionEnabled()) {
        log(QtDebugMsg, settingDisabledMessage);
        return;
    }
    if (!m_isRestoreAuthorized || !m_isRestoreAuthorized()) {
        log(QtDebugMsg, accessUnavailableMessage);
        return;
    }
    if (m_isOperating && m_isOperating()) {
        log(QtDebugMsg, operationActiveMessage);
        return;
    }

    auto snapshots = m_snapshotProvider();
    if (!snapshots) {
        log(QtCriticalMsg, loadFailedFormat.arg(snapshots.error().localizedDescription()));
        return;
    }
    const auto matches = m_options.matcher.matches(*snapshots, state);
    if (matches.empty()) {
        log(QtDebugMsg, noMatchMessage);
        return;
    }
    m_suggestedDisplaySignature = configuration;

    QPointer<DisplayChangeRestoreController> self(this);
    const Restore restore = m_restore;
    const auto restoreAndForget = [self, restore](const QUuid& id) {
        if (self)
            self->m_suggestedDisplaySignature.reset();
        if (restore)
            restore(id);
    };

    if (matches.size() == 1) {
        const auto presenter = m_suggestionPresenter.lock();
        if (!presenter)
            return;
        const QUuid id = matches.front().snapshotID;
        presenter->showDisplayRestoreSuggestion(matches.front().snapshotName,
                                                [restoreAndForget, id] { restoreAndForget(id); });
        return;
    }

    log(QtDebugMsg, multipleMatchesMessage);
    const auto presenter = m_suggestionPresenter.lock();
    if (!presenter)
        return;
    std::vector<DisplayRestoreSuggestionOption> options;
    options.reserve(matches.size());
    for (const auto& match : matches)
        options.push_back({match.snapshotID, match.snapshotName});
    presenter->showDisplayRestoreSuggestionChooser(options, restoreAndForget);
}

void DisplayChangeRestoreController::log(QtMsgType type, const QString& message) const
{
    if (m_options.log) {
        m_options.log(type, message);
        return;
    }
    // The texts contain layout and monitor names only through the store's error, never
    // format directives: pass them as an argument.
    if (type == QtCriticalMsg)
        qCCritical(AppLogger::displays, "%s", qUtf8Printable(message));
    else
        qCDebug(AppLogger::displays, "%s", qUtf8Printable(message));
}

} // namespace zen
