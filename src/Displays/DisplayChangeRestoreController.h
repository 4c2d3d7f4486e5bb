#pragma once

#include "Displays/DisplayConfigurationMatcher.h"
#include "Displays/DisplayRestoreSuggestionPresenting.h"
#include "MenuBar/OperationScheduler.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotStore.h"
#include "Snapshots/SnapshotStoreError.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <compare>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace zen {

class PermissionCoordinator;
class ScreenParametersNotifier;
class UserDefaults;
class SnapshotMenuController;

// Which monitors are attached, whatever their arrangement: a sorted multiset of identities.
struct DisplayTopologySignature {
    struct Hardware {
        std::uint32_t vendorID = 0;
        std::uint32_t productID = 0;
        std::uint32_t serialNumber = 0;
        auto operator<=>(const Hardware&) const = default;
    };
    struct Anonymous {
        auto operator<=>(const Anonymous&) const = default;
    };
    // Hardware identities sort before names, names before anonymous monitors.
    using Item = std::variant<Hardware, QString, Anonymous>;

    std::vector<Item> displays;

    static DisplayTopologySignature of(const DisplayState& state);
    friend bool operator==(const DisplayTopologySignature&, const DisplayTopologySignature&) = default;
};

// Every detail of every attached monitor, so that any move, resize, change of usable area,
// scale, primary monitor or name makes a different signature.
struct DisplayConfigurationSignature {
    std::vector<DisplayRecord> displays; // by frame x, frame y, then id

    static DisplayConfigurationSignature of(const DisplayState& state);
    // Every field exactly, but names by canonical equivalence, as a layout's own records do.
    friend bool operator==(const DisplayConfigurationSignature&, const DisplayConfigurationSignature&) = default;
};

// Watches the monitors and, once they have been quiet for a while after a change of which
// monitors are attached, offers the saved layouts made for the new set: a toast for one, a
// chooser for several. Main thread only.
class DisplayChangeRestoreController : public QObject {
    Q_OBJECT
public:
    using SnapshotProvider = std::function<std::expected<std::vector<Snapshot>, SnapshotStoreError>()>;
    using DisplayStateProvider = std::function<DisplayState()>;
    using Gate = std::function<bool()>;
    using Restore = std::function<void(const QUuid&)>;
    using Log = std::function<void(QtMsgType, const QString&)>;

    struct Options {
        // Not owned. None: the application's screens, followed from start() on.
        ScreenParametersNotifier* notifier = nullptr;
        DisplayStateProvider displayStateProvider; // the live monitors
        DisplayConfigurationMatcher matcher;
        double debounceInterval = 2.0; // seconds
        std::shared_ptr<OperationScheduler> scheduler; // QTimer
        Log log; // the "displays" log category
        // Where forApplication reads the preference; none: UserDefaults::standard().
        UserDefaults* userDefaults = nullptr;
    };

    DisplayChangeRestoreController(SnapshotProvider snapshotProvider, Gate isSuggestionEnabled,
                                   Gate isRestoreAuthorized, Gate isOperating,
                                   std::weak_ptr<DisplayRestoreSuggestionPresenting> suggestionPresenter,
                                   Restore restore, Options options, QObject* parent = nullptr);
    ~DisplayChangeRestoreController() override;

    // As the application builds it: layouts from the store (newest first), the stored
    // preference, a fresh access check and the layout-operations controller's busy flag.
    static std::unique_ptr<DisplayChangeRestoreController>
    forApplication(SnapshotStore store, std::shared_ptr<PermissionCoordinator> permissionCoordinator,
                   std::weak_ptr<SnapshotMenuController> snapshotMenuController,
                   std::weak_ptr<DisplayRestoreSuggestionPresenting> suggestionPresenter, Restore restore,
                   Options options);

    // Records the monitors attached now and starts listening; later calls do nothing.
    void start();
    // One change notification: hides a suggestion made for another configuration at once
    // and (re)starts the quiet period.
    void displayParametersDidChange();

    // The quiet period as a timer delay: negative and non-finite values count as 0, huge
    // ones are capped instead of overflowing.
    static std::chrono::nanoseconds debounceDelay(double seconds);

    // The log lines.
    static inline const QString unchangedTopologyMessage =
        QStringLiteral("Ignoring display-change notification because display topology is unchanged.");
    static inline const QString settingDisabledMessage =
        QStringLiteral("Ignoring display-change restore suggestion because the setting is disabled.");
    static inline const QString accessUnavailableMessage =
        QStringLiteral("Ignoring display-change restore suggestion because window access is unavailable.");
    static inline const QString operationActiveMessage =
        QStringLiteral("Ignoring display-change restore suggestion because another layout operation is active.");
    static inline const QString loadFailedFormat =
        QStringLiteral("Failed to load snapshots for display-change matching: %1");
    static inline const QString noMatchMessage =
        QStringLiteral("No saved layout matched the current display configuration.");
    static inline const QString multipleMatchesMessage =
        QStringLiteral("Multiple saved layouts matched the current display configuration; showing a chooser.");

private:
    void evaluateDisplayChange();
    void log(QtMsgType type, const QString& message) const;

    SnapshotProvider m_snapshotProvider;
    Gate m_isSuggestionEnabled;
    Gate m_isRestoreAuthorized;
    Gate m_isOperating;
    std::weak_ptr<DisplayRestoreSuggestionPresenting> m_suggestionPresenter;
    Restore m_restore;
    Options m_options;
    bool m_started = false;
    std::unique_ptr<OperationScheduler::Handle> m_debounceTask;
    std::optional<DisplayTopologySignature> m_lastDisplayTopologySignature;
    std::optional<DisplayConfigurationSignature> m_suggestedDisplaySignature;
    // A suggestion was taken down because its monitors were merely reconfigured (a panel
    // reserving its space after a hot-plug does that): the next evaluation offers again even
    // though the set of monitors is the same.
    bool m_reofferAfterReconfiguration = false;
};

} // namespace zen
