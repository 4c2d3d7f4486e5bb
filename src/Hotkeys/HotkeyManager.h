#pragma once

#include "Hotkeys/HotkeyManagerError.h"
#include "Hotkeys/HotkeyRegistering.h"
#include "Snapshots/Snapshot.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace zen {

// What the manager needs of one saved layout.
struct HotkeyLayout {
    QUuid id;
    QString name;
    std::optional<HotkeyBinding> hotkey;
};

using EventHandlerReference = std::uint64_t;
// Arranges for presses of registered hotkeys to reach the given handler on the main thread.
using EventHandlerInstaller =
    std::function<std::expected<EventHandlerReference, HotkeyManagerError>(HotkeyPressHandler)>;
using EventHandlerRemover = std::function<void(EventHandlerReference)>;

// Keeps one system-wide shortcut registered per layout that has a binding, and turns a press
// into a restore request for that layout. Main thread only.
class HotkeyManager {
public:
    // "ZTHK": every registration carries it; presses with another signature are not ours.
    static constexpr std::uint32_t hotkeySignature = (std::uint32_t('Z') << 24) | (std::uint32_t('T') << 16)
                                                     | (std::uint32_t('H') << 8) | std::uint32_t('K');

    HotkeyManager(std::function<void(QUuid)> callback, std::shared_ptr<HotkeyRegistering> registrar,
                  EventHandlerInstaller eventHandlerInstaller, EventHandlerRemover eventHandlerRemover);
    ~HotkeyManager();

    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Replaces the layouts and registers their bindings afresh (unless suspended). A failure
    // names what could not be registered; everything else stays registered.
    std::expected<void, HotkeyManagerError> reloadBindings(const std::vector<HotkeyLayout>& layouts);

    // Any list of layout rows with `id`, `name` and `hotkey` fields, such as the store's
    // summaries.
    template <typename Rows>
        requires(!std::is_same_v<Rows, std::vector<HotkeyLayout>>)
    std::expected<void, HotkeyManagerError> reloadBindings(const Rows& rows)
    {
        std::vector<HotkeyLayout> layouts;
        for (const auto& row : rows)
            layouts.push_back({row.id, row.name, row.hotkey});
        return reloadBindings(layouts);
    }

    // Suspensions nest: the tray's prompt and the dashboard's capture field may both be open,
    // and the shortcuts come back only when the last of them resumes.
    void suspendBindings();
    std::expected<void, HotkeyManagerError> resumeBindings();

    void handleRegisteredHotkey(std::uint32_t id);

    // The layouts whose binding the last registration refused (invalid, a duplicate of an
    // earlier layout's, or not grabbed); kept while the bindings are suspended.
    QSet<QUuid> refusedLayoutIDs() const;

private:
    void handlePress(EventHotKeyID hotkeyID);
    // Once per manager; a failed install is tried again at the next reload or resume.
    std::expected<void, HotkeyManagerError> installEventHandlerIfNeeded();
    std::expected<void, HotkeyManagerError> registerAll();
    void unregisterAll();

    std::function<void(QUuid)> m_callback;
    std::shared_ptr<HotkeyRegistering> m_registrar;
    EventHandlerInstaller m_eventHandlerInstaller;
    EventHandlerRemover m_eventHandlerRemover;
    std::optional<EventHandlerReference> m_eventHandler;
    bool m_didInstallEventHandler = false;
    std::map<std::uint32_t, HotkeyReference> m_hotkeyRefsByID;
    std::map<std::uint32_t, QUuid> m_snapshotIDsByHotkeyID;
    std::vector<HotkeyLayout> m_latestSummaries;
    QSet<QUuid> m_refusedLayoutIDs;
    int m_suspensions = 0;
};

} // namespace zen
