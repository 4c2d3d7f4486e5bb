#include "Platform/X11/DesktopEntryResolver.h"

#include "Platform/DesktopServices.h"

#include <QCoreApplication>
#include <QThread>

namespace zen {

namespace {

QString stripDesktopSuffix(QString id)
{
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return id;
}

// An unclaimed window makes the entries be read again at most this often; the change report
// normally comes first, this only covers its absence (no main loop running yet).
constexpr auto missReloadAge = std::chrono::seconds(3);

bool isAcceptableDesktopId(const QString& desktopId)
{
    return !desktopId.isEmpty() && !desktopId.contains(QLatin1Char('/')) && !desktopId.contains(QLatin1String(".."))
        && !desktopId.contains(QChar(0));
}

} // namespace

// Change reports come from the GLib main context of the thread that asked for them; the main
// thread's is the one the Qt event loop runs. The watch starts with the first question, so a
// program that never asks never loads GIO.
struct DesktopEntryResolver::Watch {
    std::atomic<bool> changed{false};
    std::mutex mutex;
    std::shared_ptr<void> handle;
    bool requested = false;
};

DesktopEntryResolver::DesktopEntryResolver()
    : m_watch(std::make_shared<Watch>())
{
}

DesktopEntryResolver::~DesktopEntryResolver() = default;

void DesktopEntryResolver::startWatching()
{
    {
        std::lock_guard lock(m_watch->mutex);
        if (std::exchange(m_watch->requested, true))
            return;
    }
    const auto start = [weak = std::weak_ptr<Watch>(m_watch)] {
        const auto watch = weak.lock();
        if (!watch)
            return;
        auto handle = desktopServices().watchInstalledApplications([weak] {
            if (const auto w = weak.lock())
                w->changed.store(true);
        });
        std::lock_guard lock(watch->mutex);
        watch->handle = std::move(handle);
    };
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() != application->thread())
        QMetaObject::invokeMethod(application, start, Qt::QueuedConnection);
    else
        start();
}

void DesktopEntryResolver::dropEntries()
{
    m_loaded = false;
    m_entries.clear();
    m_cache.clear();
}

void DesktopEntryResolver::loadEntries()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_loadedAt = std::chrono::steady_clock::now();
    for (const DesktopServices::ApplicationEntry& application : desktopServices().installedApplications()) {
        Entry e{stripDesktopSuffix(application.id), application.name, application.startupWMClass};
        if (!e.id.isEmpty())
            m_entries.push_back(std::move(e));
    }
}

std::optional<DesktopEntryResolver::Identity> DesktopEntryResolver::entryFor(const QString& id) const
{
    for (const Entry& e : m_entries) {
        if (e.id == id)
            return Identity {e.id, e.name.isEmpty() ? std::nullopt : std::optional<QString>(e.name)};
    }
    return std::nullopt;
}

std::optional<DesktopEntryResolver::Identity> DesktopEntryResolver::claimingEntry(const QString& instance, const QString& cls,
                                                                                 const std::optional<QString>& gtkApplicationId) const
{
    std::optional<Identity> found;
    if (gtkApplicationId && !gtkApplicationId->isEmpty())
        found = entryFor(*gtkApplicationId);
    for (const QString& wanted : {instance, cls}) {
        if (found || wanted.isEmpty())
            continue;
        for (const Entry& e : m_entries) {
            if (!e.startupWMClass.isEmpty() && e.startupWMClass == wanted) {
                found = Identity {e.id, e.name.isEmpty() ? std::nullopt : std::optional<QString>(e.name)};
                break;
            }
        }
    }
    if (!found && !cls.isEmpty())
        found = entryFor(cls.toLower());
    return found;
}

DesktopEntryResolver::Identity DesktopEntryResolver::resolve(const QByteArray& wmInstance, const QByteArray& wmClass,
                                                             const std::optional<QString>& gtkApplicationId)
{
    std::lock_guard lock(m_mutex);
    startWatching();
    if (m_watch->changed.exchange(false))
        dropEntries();
    const auto entriesOld = [this] { return m_loaded && std::chrono::steady_clock::now() - m_loadedAt >= missReloadAge; };
    const auto key = std::make_tuple(wmInstance, wmClass, gtkApplicationId.value_or(QString()));
    if (auto it = m_cache.find(key); it != m_cache.end() && (it->second.fromEntry || !entriesOld()))
        return it->second.identity;
    loadEntries();

    const QString instance = QString::fromUtf8(wmInstance);
    const QString cls = QString::fromUtf8(wmClass);
    std::optional<Identity> found = claimingEntry(instance, cls, gtkApplicationId);
    if (!found && entriesOld()) {
        dropEntries();
        loadEntries();
        found = claimingEntry(instance, cls, gtkApplicationId);
    }
    Identity identity;
    if (found)
        identity = *found;
    else if (!cls.isEmpty())
        identity = Identity {cls, cls};
    else if (!instance.isEmpty())
        identity = Identity {instance, instance};
    m_cache[key] = Answer {identity, found.has_value()};
    return identity;
}

bool DesktopEntryResolver::launch(const QString& desktopId)
{
    if (!isAcceptableDesktopId(desktopId))
        return false;
    return desktopServices().launch((desktopId + QLatin1String(".desktop")).toUtf8());
}

bool DesktopEntryResolver::openWithDefaultApplication(const QString& filePath, const QString& contentType)
{
    return desktopServices().openWithDefaultApplication(filePath, contentType);
}

} // namespace zen
