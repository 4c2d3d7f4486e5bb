// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "Platform/X11/DesktopEntryResolver.h"

#include <fcntl.h>
#include <unistd.h>

namespace zen {

namespace {

QString utf8(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

QString stripDesktopSuffix(QString id)
{
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return id;
}

// An unclaimed window makes the entries be read again at most this often; the change report
// normally comes first, this only covers its absence (no main loop running yet).
constexpr auto missReloadAge = std::chrono::seconds(3);

void onAppInfoChanged(GAppInfoMonitor*, gpointer data)
{
    (*static_cast<std::shared_ptr<std::atomic<bool>>*>(data))->store(true);
}

void deleteFlag(gpointer data, GClosure*)
{
    delete static_cast<std::shared_ptr<std::atomic<bool>>*>(data);
}

} // namespace

DesktopEntryResolver::DesktopEntryResolver()
{
    GAppInfoMonitor* monitor = g_app_info_monitor_get();
    m_monitor = monitor;
    m_changedHandler = g_signal_connect_data(monitor, "changed", G_CALLBACK(onAppInfoChanged),
                                             new std::shared_ptr<std::atomic<bool>>(m_changed), deleteFlag, GConnectFlags(0));
}

DesktopEntryResolver::~DesktopEntryResolver()
{
    if (m_monitor) {
        g_signal_handler_disconnect(m_monitor, m_changedHandler);
        g_object_unref(m_monitor);
    }
}

void DesktopEntryResolver::dropEntries()
{
    m_loaded = false;
    m_entries.clear();
    m_cache.clear();
}

bool DesktopEntryResolver::isAcceptableDesktopId(const QString& desktopId)
{
    return !desktopId.isEmpty() && !desktopId.contains(QLatin1Char('/')) && !desktopId.contains(QLatin1String(".."))
        && !desktopId.contains(QChar(0));
}

void DesktopEntryResolver::loadEntries()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_loadedAt = std::chrono::steady_clock::now();
    GList* all = g_app_info_get_all();
    for (GList* l = all; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        if (!G_IS_DESKTOP_APP_INFO(info))
            continue;
        Entry e;
        e.id = stripDesktopSuffix(utf8(g_app_info_get_id(info)));
        e.name = utf8(g_app_info_get_name(info));
        e.startupWMClass = utf8(g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(info)));
        if (!e.id.isEmpty())
            m_entries.push_back(e);
    }
    g_list_free_full(all, g_object_unref);
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
    if (m_changed->exchange(false))
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

namespace {

// The program gets its own standard streams, as a desktop launcher gives it: inheriting ours
// would have it write into the terminal Zentharion was started from.
bool launchWithOwnStreams(GDesktopAppInfo* info, GList* uris)
{
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    GError* error = nullptr;
    const gboolean ok = g_desktop_app_info_launch_uris_as_manager_with_fds(
        info, uris, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr, devNull, devNull, devNull,
        &error);
    if (devNull >= 0)
        ::close(devNull);
    if (error)
        g_error_free(error);
    return ok;
}

} // namespace

bool DesktopEntryResolver::launch(const QString& desktopId)
{
    if (!isAcceptableDesktopId(desktopId))
        return false;
    const QByteArray file = (desktopId + QLatin1String(".desktop")).toUtf8();
    GDesktopAppInfo* info = g_desktop_app_info_new(file.constData());
    if (!info)
        return false;
    const bool ok = launchWithOwnStreams(info, nullptr);
    g_object_unref(info);
    return ok;
}

bool DesktopEntryResolver::openWithDefaultApplication(const QString& filePath, const QString& contentType)
{
    GAppInfo* app = g_app_info_get_default_for_type(contentType.toUtf8().constData(), FALSE);
    if (!app)
        return false; // nothing is set up to show it
    GFile* file = g_file_new_for_path(filePath.toLocal8Bit().constData());
    gchar* uri = g_file_get_uri(file);
    GList uris{uri, nullptr, nullptr};
    bool ok = false;
    if (G_IS_DESKTOP_APP_INFO(app)) {
        ok = launchWithOwnStreams(G_DESKTOP_APP_INFO(app), &uris);
    } else {
        GError* error = nullptr;
        ok = g_app_info_launch_uris(app, &uris, nullptr, &error);
        if (error)
            g_error_free(error);
    }
    g_free(uri);
    g_object_unref(file);
    g_object_unref(app);
    return ok;
}

} // namespace zen
