// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <glib.h>

#include "Platform/Linux/AutostartEntry.h"

#include "Shared/AtomicFileWriter.h"

namespace zen {

namespace {

constexpr const char* group = "Desktop Entry";

// A missing or malformed key reads as `fallback`.
bool boolean(GKeyFile* file, const char* key, bool fallback)
{
    g_autoptr(GError) error = nullptr;
    const gboolean value = g_key_file_get_boolean(file, group, key, &error);
    return error ? fallback : bool(value);
}

std::optional<QStringList> execArguments(GKeyFile* file)
{
    // get_string undoes the key file's own escapes (\\, \s, ...); what is left is the Exec
    // quoting, which follows the shell's rules for the quoted forms it allows.
    g_autofree gchar* exec = g_key_file_get_string(file, group, "Exec", nullptr);
    gint argc = 0;
    g_auto(GStrv) argv = nullptr;
    if (!exec || !g_shell_parse_argv(exec, &argc, &argv, nullptr))
        return std::nullopt;
    QStringList arguments;
    for (gint i = 0; i < argc; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        // Field codes (%f, %U, ...) stand alone and expand to nothing at login; "%%" is "%".
        if (argument.size() == 2 && argument.startsWith(u'%') && argument != QStringLiteral("%%"))
            continue;
        arguments << QString(argument).replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return arguments;
}

} // namespace

std::optional<AutostartEntry> AutostartEntry::parse(const QByteArray& bytes)
{
    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_data(file, bytes.constData(), gsize(bytes.size()), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    AutostartEntry entry;
    entry.hidden = boolean(file, "Hidden", false);
    entry.autostartEnabled = boolean(file, "X-GNOME-Autostart-enabled", true);
    entry.arguments = execArguments(file);
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
