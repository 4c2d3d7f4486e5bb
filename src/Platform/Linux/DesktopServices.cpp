// The desktop services on GIO.
// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "Platform/DesktopServices.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

namespace zen {

namespace {

std::optional<QString> textOf(const char* s)
{
    if (!s)
        return std::nullopt;
    return QString::fromUtf8(s);
}

void onAppInfoChanged(GAppInfoMonitor*, gpointer data)
{
    (*static_cast<std::function<void()>*>(data))();
}

void deleteCallback(gpointer data, GClosure*)
{
    delete static_cast<std::function<void()>*>(data);
}

struct AppInfoWatch {
    GAppInfoMonitor* monitor = nullptr;
    gulong handler = 0;
    ~AppInfoWatch()
    {
        g_signal_handler_disconnect(monitor, handler);
        g_object_unref(monitor);
    }
};

// Runs in the launched program's process between fork and exec: only a system call.
void changeToFolder(gpointer folder)
{
    if (::chdir(static_cast<const char*>(folder)) != 0) {
        // Left in the folder it inherited: a missing home is no reason not to start.
    }
}

// The program gets its own standard streams, as a desktop launcher gives it: inheriting ours
// would have it write into the terminal Zentharion was started from. It starts in the home
// folder, as from a desktop launcher, unless its entry names a folder (Path): not in whatever
// folder Zentharion was started from.
bool launchWithOwnStreams(GDesktopAppInfo* info, GList* uris)
{
    const QByteArray home = QFile::encodeName(QDir::homePath());
    g_autofree gchar* path = g_desktop_app_info_get_string(info, "Path");
    const bool entryNamesFolder = path && *path;
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const gboolean ok = g_desktop_app_info_launch_uris_as_manager_with_fds(
        info, uris, nullptr, G_SPAWN_SEARCH_PATH, entryNamesFolder ? nullptr : changeToFolder,
        const_cast<char*>(home.constData()), nullptr, nullptr, devNull, devNull, devNull, nullptr);
    if (devNull >= 0)
        ::close(devNull);
    return ok;
}

// The desktop's interface settings, or null where they are not installed. Looked up before
// the settings object is made: GSettings aborts the program for a schema it does not know.
GSettings* desktopInterfaceSettings()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema)
        return nullptr;
    GSettings* settings = nullptr;
    if (g_settings_schema_has_key(schema, "enable-animations"))
        settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    return settings;
}

// Hands `uri` to `app` (taking the reference); false when there is no app (nothing is set up
// to show it) or it could not be started.
bool openWith(GAppInfo* app, const char* uri)
{
    if (!app)
        return false;
    GList uris{const_cast<char*>(uri), nullptr, nullptr};
    bool ok = false;
    if (G_IS_DESKTOP_APP_INFO(app))
        ok = launchWithOwnStreams(G_DESKTOP_APP_INFO(app), &uris);
    else
        ok = g_app_info_launch_uris(app, &uris, nullptr, nullptr);
    g_object_unref(app);
    return ok;
}

class LinuxDesktopServices final : public DesktopServices {
public:
    std::vector<ApplicationEntry> installedApplications() override
    {
        std::vector<ApplicationEntry> entries;
        g_autolist(GAppInfo) all = g_app_info_get_all();
        for (GList* l = all; l; l = l->next) {
            auto* info = static_cast<GAppInfo*>(l->data);
            if (!G_IS_DESKTOP_APP_INFO(info))
                continue;
            entries.push_back({textOf(g_app_info_get_id(info)).value_or(QString()),
                               textOf(g_app_info_get_name(info)).value_or(QString()),
                               textOf(g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(info))).value_or(QString())});
        }
        return entries;
    }

    std::shared_ptr<void> watchInstalledApplications(std::function<void()> changed) override
    {
        auto watch = std::make_shared<AppInfoWatch>();
        watch->monitor = g_app_info_monitor_get();
        watch->handler = g_signal_connect_data(watch->monitor, "changed", G_CALLBACK(onAppInfoChanged),
                                               new std::function<void()>(std::move(changed)), deleteCallback,
                                               GConnectFlags(0));
        return watch;
    }

    std::optional<EntryDetails> entryDetails(const QByteArray& fileName) override
    {
        g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new(fileName.constData());
        if (!info)
            return std::nullopt;
        EntryDetails details;
        // The Name key as localized for the user (GIO picks the locale's variant).
        details.localizedName = textOf(g_app_info_get_name(G_APP_INFO(info)));
        details.fileName = textOf(g_desktop_app_info_get_filename(info));
        if (gchar* icon = g_desktop_app_info_get_string(info, "Icon")) {
            details.iconName = QString::fromUtf8(icon);
            g_free(icon);
        }
        return details;
    }

    bool launch(const QByteArray& fileName) override
    {
        g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new(fileName.constData());
        return info && launchWithOwnStreams(info, nullptr);
    }

    bool openWithDefaultApplication(const QString& filePath, const QString& contentType) override
    {
        g_autoptr(GFile) file = g_file_new_for_path(QFile::encodeName(filePath).constData());
        g_autofree gchar* uri = g_file_get_uri(file);
        return openWith(g_app_info_get_default_for_type(contentType.toUtf8().constData(), FALSE), uri);
    }

    bool openUri(const QUrl& url) override
    {
        return openWith(g_app_info_get_default_for_uri_scheme(url.scheme().toUtf8().constData()), url.toEncoded().constData());
    }

    bool handlesUriScheme(const QString& scheme) override
    {
        g_autoptr(GAppInfo) app = g_app_info_get_default_for_uri_scheme(scheme.toUtf8().constData());
        return app != nullptr;
    }

    std::optional<bool> desktopEnablesAnimations() override
    {
        // Made once and kept: the setting is read at every change of a view.
        static GSettings* const settings = desktopInterfaceSettings();
        if (!settings)
            return std::nullopt;
        return bool(g_settings_get_boolean(settings, "enable-animations"));
    }
};

} // namespace

DesktopServices& desktopServices()
{
    static LinuxDesktopServices services;
    return services;
}

} // namespace zen

