// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gio.h>

#include "Platform/Linux/MainAppLaunchAtLoginService.h"

#include "Platform/Linux/AutostartEntry.h"
#include "Platform/Linux/FileViewer.h"
#include "Shared/AtomicFileWriter.h"
#include "Shared/Uuid.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <unistd.h>

namespace zen {

namespace {

constexpr const char* group = "Desktop Entry";

} // namespace

MainAppLaunchAtLoginService::MainAppLaunchAtLoginService(Locations locations) : m_locations(std::move(locations)) {}

MainAppLaunchAtLoginService::Locations MainAppLaunchAtLoginService::liveLocations()
{
    Locations locations;
    // GenericConfigLocation is $XDG_CONFIG_HOME (or ~/.config) first, then $XDG_CONFIG_DIRS.
    QStringList configFolders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!configFolders.isEmpty())
        locations.userAutostartFolder = QDir(configFolders.takeFirst()).filePath(QStringLiteral("autostart"));
    for (const QString& folder : configFolders)
        locations.systemAutostartFolders << QDir(folder).filePath(QStringLiteral("autostart"));
    locations.executablePath = QCoreApplication::applicationFilePath();
    locations.openFolder = [](const QString& folder) { linux_desktop::openFolder(folder); };
    return locations;
}

QString MainAppLaunchAtLoginService::userEntryPath() const
{
    return QDir(m_locations.userAutostartFolder).filePath(desktopID + QStringLiteral(".desktop"));
}

QString MainAppLaunchAtLoginService::execLine(const QString& executablePath)
{
    QString quoted;
    for (const QChar c : executablePath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
        if (c == u'%')
            quoted += u'%';
    }
    quoted = u'"' + quoted + u'"' + u' ' + autostartArgument;
    // GIO looks the program up before it expands "%%", so it would not find a file whose
    // path holds "%" and would not start it. The shell, which GIO does find, starts it instead
    // from an argument, where "%%" has become "%".
    if (executablePath.contains(u'%'))
        return shellTrampoline + u' ' + quoted;
    return quoted;
}

bool MainAppLaunchAtLoginService::argumentsRun(const QStringList& arguments, const QString& executablePath)
{
    const QString self = QFileInfo(executablePath).canonicalFilePath();
    if (self.isEmpty())
        return false;
    const auto same = [&](const QString& path) { return QFileInfo(path).canonicalFilePath() == self; };
    QStringList run = arguments;
    if (run.size() > 1 && run.last() == autostartArgument)
        run.removeLast();
    if (run.size() == 1)
        return same(run.first());
    const QStringList shell = run.mid(0, 3);
    return run.size() == 4 && (shell == shellTrampolineArguments || shell == earlierShellTrampolineArguments)
           && same(run[3]);
}

std::optional<QStringList> MainAppLaunchAtLoginService::entryArguments(const QString& entryPath)
{
    const auto entry = AutostartEntry::read(entryPath);
    return entry ? entry->arguments : std::nullopt;
}

bool MainAppLaunchAtLoginService::executableUsable() const
{
    const QString& path = m_locations.executablePath;
    if (path.isEmpty() || !QFileInfo(path).isAbsolute())
        return false;
    // A line break cannot be written into a desktop entry's value and read back as the same path.
    for (const QChar c : path)
        if (c.category() == QChar::Other_Control)
            return false;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

std::optional<QString> MainAppLaunchAtLoginService::systemEntryPath() const
{
    for (const QString& folder : m_locations.systemAutostartFolders) {
        const QString path = QDir(folder).filePath(desktopID + QStringLiteral(".desktop"));
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

std::optional<QString> MainAppLaunchAtLoginService::effectiveEntryPath() const
{
    if (QFileInfo::exists(userEntryPath()) || QFileInfo(userEntryPath()).isSymLink())
        return userEntryPath();
    return systemEntryPath();
}

bool MainAppLaunchAtLoginService::entryRunsThisProgram(const QString& entryPath) const
{
    const auto entry = AutostartEntry::read(entryPath);
    if (!entry || entry->hidden || !entry->autostartEnabled)
        return false;
    return entry->arguments && argumentsRun(*entry->arguments, m_locations.executablePath);
}

LaunchAtLoginServiceStatus MainAppLaunchAtLoginService::status() const
{
    if (!executableUsable())
        return LaunchAtLoginServiceStatus::notFound;
    const auto entry = effectiveEntryPath();
    if (entry && entryRunsThisProgram(*entry))
        return LaunchAtLoginServiceStatus::enabled;
    return LaunchAtLoginServiceStatus::notRegistered;
}

std::expected<void, PlatformError> MainAppLaunchAtLoginService::writeUserEntry(bool hidden)
{
    const QString folder = m_locations.userAutostartFolder;
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return std::unexpected(PlatformError{QStringLiteral("The autostart folder %1 could not be created.").arg(folder), 0});

    g_autoptr(GKeyFile) file = g_key_file_new();
    g_key_file_set_string(file, group, "Type", "Application");
    g_key_file_set_string(file, group, "Name", "Zentharion");
    if (hidden) {
        // Hides the system-wide entry of the same id for this user.
        g_key_file_set_boolean(file, group, "Hidden", TRUE);
    } else {
        g_key_file_set_string(file, group, "Comment", "Restore saved window layouts");
        g_key_file_set_string(file, group, "Exec", execLine(m_locations.executablePath).toUtf8().constData());
        g_key_file_set_string(file, group, "Icon", desktopID.toUtf8().constData());
        g_key_file_set_boolean(file, group, "Terminal", FALSE);
        g_key_file_set_boolean(file, group, "X-GNOME-Autostart-enabled", TRUE);
    }
    gsize length = 0;
    g_autofree gchar* data = g_key_file_to_data(file, &length, nullptr);
    const QByteArray bytes(data, qsizetype(length));

    const QString target = userEntryPath();
    const QString temporary =
        QDir(folder).filePath(QStringLiteral(".%1.%2.tmp").arg(desktopID, uuidText(QUuid::createUuid())));
    return AtomicFileWriter().write(target, temporary, bytes);
}

std::expected<void, PlatformError> MainAppLaunchAtLoginService::registerItem()
{
    if (!executableUsable())
        return std::unexpected(PlatformError{
            QStringLiteral("This program's file %1 cannot be started at login.").arg(m_locations.executablePath), 0});
    return writeUserEntry(false);
}

std::expected<void, PlatformError> MainAppLaunchAtLoginService::unregisterItem()
{
    const QString user = userEntryPath();
    const bool userEntryExists = QFileInfo::exists(user) || QFileInfo(user).isSymLink();
    if (userEntryExists && !entryRunsThisProgram(user))
        return {}; // already not starting this program; someone else's entry is left alone
    const auto system = systemEntryPath();
    if (system && (userEntryExists || entryRunsThisProgram(*system)))
        return writeUserEntry(true); // removing ours would bring the system-wide one back
    if (!userEntryExists)
        return {};
    if (::unlink(QFile::encodeName(user).constData()) != 0)
        return std::unexpected(PlatformError::fromErrno(errno, QStringLiteral("Cannot remove %1").arg(user)));
    return {};
}

void MainAppLaunchAtLoginService::openLoginItemsSettings()
{
    if (!m_locations.openFolder)
        return;
    const QString folder = m_locations.userAutostartFolder;
    m_locations.openFolder(QFileInfo(folder).isDir() ? folder : QFileInfo(folder).absolutePath());
}

} // namespace zen
