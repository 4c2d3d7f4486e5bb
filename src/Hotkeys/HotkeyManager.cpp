#include "Hotkeys/HotkeyManager.h"

#include "Hotkeys/HotkeyBindingValidator.h"
#include "Infrastructure/AppLogger.h"

#include <algorithm>

namespace zen {

HotkeyManager::HotkeyManager(std::function<void(QUuid)> callback, std::shared_ptr<HotkeyRegistering> registrar,
                             EventHandlerInstaller eventHandlerInstaller, EventHandlerRemover eventHandlerRemover)
    : m_callback(std::move(callback))
    , m_registrar(std::move(registrar))
    , m_eventHandlerInstaller(std::move(eventHandlerInstaller))
    , m_eventHandlerRemover(std::move(eventHandlerRemover))
{
}

HotkeyManager::~HotkeyManager()
{
    unregisterAll();
    // The installed handler points back at this manager: it must go with it.
    if (m_eventHandler && m_eventHandlerRemover)
        m_eventHandlerRemover(*m_eventHandler);
}

std::expected<void, HotkeyManagerError> HotkeyManager::reloadBindings(const std::vector<HotkeyLayout>& layouts)
{
    m_latestSummaries = layouts;
    if (auto installed = installEventHandlerIfNeeded(); !installed)
        return installed;
    if (m_suspensions > 0)
        return {};
    return registerAll();
}

std::expected<void, HotkeyManagerError> HotkeyManager::installEventHandlerIfNeeded()
{
    if (m_didInstallEventHandler)
        return {};
    if (!m_eventHandlerInstaller)
        return std::unexpected(HotkeyManagerError::eventHandlerInstallFailed(-1));
    auto installed = m_eventHandlerInstaller([this](EventHotKeyID hotkeyID) { handlePress(hotkeyID); });
    if (!installed)
        return std::unexpected(installed.error());
    m_eventHandler = *installed;
    m_didInstallEventHandler = true;
    return {};
}

void HotkeyManager::suspendBindings()
{
    ++m_suspensions;
    unregisterAll();
}

std::expected<void, HotkeyManagerError> HotkeyManager::resumeBindings()
{
    if (m_suspensions > 0 && --m_suspensions > 0)
        return {};
    // Keys grabbed without a handler would swallow the user's presses and do nothing, while
    // the caller is told all went well: without the handler, register nothing and say why.
    if (auto installed = installEventHandlerIfNeeded(); !installed)
        return installed;
    return registerAll();
}

void HotkeyManager::handlePress(EventHotKeyID hotkeyID)
{
    if (m_suspensions > 0 || hotkeyID.signature != hotkeySignature)
        return;
    handleRegisteredHotkey(hotkeyID.id);
}

void HotkeyManager::handleRegisteredHotkey(std::uint32_t id)
{
    if (m_suspensions > 0)
        return;
    const auto it = m_snapshotIDsByHotkeyID.find(id);
    if (it == m_snapshotIDsByHotkeyID.end() || !m_callback)
        return;
    m_callback(it->second);
}

std::expected<void, HotkeyManagerError> HotkeyManager::registerAll()
{
    unregisterAll();
    m_refusedLayoutIDs.clear();

    struct Taken {
        HotkeyBinding binding;
        QString name;
    };
    std::vector<Taken> taken;
    std::vector<HotkeyManagerError> failures;
    std::uint32_t nextID = 1;

    for (const auto& layout : m_latestSummaries) {
        if (!layout.hotkey)
            continue;
        const HotkeyBinding& binding = *layout.hotkey;
        if (!HotkeyBindingValidator::isValidModifierMask(binding.modifiers)) {
            failures.push_back(HotkeyManagerError::invalidBinding(layout.name));
            m_refusedLayoutIDs.insert(layout.id);
            continue;
        }
        const auto holder = std::find_if(taken.begin(), taken.end(),
                                         [&](const Taken& entry) { return matches(entry.binding, binding); });
        if (holder != taken.end()) {
            // The message reads "<name> already uses that hotkey.": it names the layout that
            // keeps the shortcut, so the user learns what the refused one collides with.
            failures.push_back(HotkeyManagerError::duplicateBinding(holder->name));
            m_refusedLayoutIDs.insert(layout.id);
            continue;
        }
        // Taken even if registering fails, so a later layout cannot claim it either.
        taken.push_back({binding, layout.name});

        if (!m_registrar) {
            failures.push_back(HotkeyManagerError::registrationFailed(layout.name, -1));
            m_refusedLayoutIDs.insert(layout.id);
            continue;
        }
        auto reference = m_registrar->registerHotkey(binding, {hotkeySignature, nextID});
        if (!reference) {
            failures.push_back(HotkeyManagerError::registrationFailed(layout.name, reference.error().status));
            m_refusedLayoutIDs.insert(layout.id);
            continue;
        }
        m_hotkeyRefsByID[nextID] = *reference;
        m_snapshotIDsByHotkeyID[nextID] = layout.id;
        ++nextID;
    }
    // Once this line is out the keys are the program's: a press from now on reaches it.
    qCInfo(AppLogger::app, "Shortcuts registered: %d (layouts: %d)", int(m_hotkeyRefsByID.size()),
           int(m_latestSummaries.size()));

    if (!failures.empty())
        return std::unexpected(HotkeyManagerError::registrationFailures(std::move(failures)));
    return {};
}

QSet<QUuid> HotkeyManager::refusedLayoutIDs() const
{
    if (m_didInstallEventHandler)
        return m_refusedLayoutIDs;
    // Without the handler no press reaches us: every shortcut is refused.
    QSet<QUuid> all;
    for (const auto& layout : m_latestSummaries)
        if (layout.hotkey)
            all.insert(layout.id);
    return all;
}

void HotkeyManager::unregisterAll()
{
    if (m_registrar) {
        for (const auto& [id, reference] : m_hotkeyRefsByID)
            m_registrar->unregisterHotkey(reference);
    }
    m_hotkeyRefsByID.clear();
    m_snapshotIDsByHotkeyID.clear();
}

} // namespace zen
