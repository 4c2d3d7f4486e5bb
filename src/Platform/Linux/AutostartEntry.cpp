// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <glib.h>

#include "Platform/Linux/AutostartEntry.h"

#include "Shared/AtomicFileWriter.h"

#include <memory>

namespace zen {

namespace {

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

constexpr const char* group = "Desktop Entry";

// A missing or malformed key reads as `fallback`.
bool boolean(GKeyFile* file, const char* key, bool fallback)
{
    GError* error = nullptr;
    const gboolean value = g_key_file_get_boolean(file, group, key, &error);
    if (error) {
        g_clear_error(&error);
        return fallback;
    }
    return value;
}

std::optional<QStringList> execArguments(GKeyFile* file)
{
    // get_string undoes the key file's own escapes (\\, \s, ...); what is left is the Exec
    // quoting, which follows the shell's rules for the quoted forms it allows.
    gchar* exec = g_key_file_get_string(file, group, "Exec", nullptr);
    if (!exec)
        return std::nullopt;
    gint argc = 0;
    gchar** argv = nullptr;
    const bool parsed = g_shell_parse_argv(exec, &argc, &argv, nullptr);
    g_free(exec);
    if (!parsed)
        return std::nullopt;
    QStringList arguments;
    for (gint i = 0; i < argc; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        // Field codes (%f, %U, ...) stand alone and expand to nothing at login; "%%" is "%".
        if (argument.size() == 2 && argument.startsWith(u'%') && argument != QStringLiteral("%%"))
            continue;
        arguments << QString(argument).replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    g_strfreev(argv);
    return arguments;
}

} // namespace

std::optional<AutostartEntry> AutostartEntry::parse(const QByteArray& bytes)
{
    KeyFile file(g_key_file_new());
    GError* error = nullptr;
    if (!g_key_file_load_from_data(file.get(), bytes.constData(), gsize(bytes.size()), G_KEY_FILE_NONE, &error)) {
        g_clear_error(&error);
        return std::nullopt;
    }
    AutostartEntry entry;
    entry.hidden = boolean(file.get(), "Hidden", false);
    entry.autostartEnabled = boolean(file.get(), "X-GNOME-Autostart-enabled", true);
    entry.arguments = execArguments(file.get());
    return entry;
}

std::optional<AutostartEntry> AutostartEntry::read(const QString& path)
{
    // The user may keep the entry as a link (a dotfile manager does); it must end at a
    // regular file all the same.
    const auto bytes = readRegularFile(path, maximumFileSize, 0, LinkPolicy::followToRegularFile);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes);
}

} // namespace zen
