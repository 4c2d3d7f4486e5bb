#include "Platform/DesktopServices.h"

#include "Infrastructure/AppLogger.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace zen {

namespace {

constexpr char moduleFileName[] = "libzentharion-desktop.so";
using Entry = DesktopServices* (*)(int interfaceRevision, const char* version);

// Next to the program (a build tree), then where `cmake --install` puts it relative to the
// program's folder.
QStringList candidatePaths()
{
    const QDir programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
    return {programFolder.filePath(QLatin1String(moduleFileName)),
            QDir::cleanPath(programFolder.filePath(QStringLiteral(ZENTHARION_MODULE_DIR_FROM_PROGRAM "/")
                                                   + QLatin1String(moduleFileName)))};
}

using Loaded = DesktopServicesLoad;

Loaded load()
{
    Loaded loaded = loadDesktopServices(candidatePaths());
    if (!loaded.services)
        qCCritical(AppLogger::app,
                   "Could not load the desktop services module (launching applications, application names and "
                   "icons, update checks are unavailable): %s",
                   qUtf8Printable(loaded.failure));
    return loaded;
}

const Loaded& loaded()
{
    static const Loaded once = load();
    return once;
}

} // namespace

DesktopServicesLoad loadDesktopServices(const QStringList& paths)
{
    DesktopServicesLoad loaded;
    QStringList problems;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isFile())
            continue;
        QLibrary library(path);
        // Never unloaded: GLib's types and Qt's network threads stay registered for the
        // process's life.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        const auto entry = reinterpret_cast<Entry>(library.resolve("zentharion_desktop_services"));
        if (!entry) {
            problems << library.errorString();
            continue;
        }
        if (DesktopServices* services = entry(DesktopServices::interfaceRevision, ZENTHARION_VERSION)) {
            loaded.services = services;
            return loaded;
        }
        problems << QStringLiteral("%1 belongs to another version of Zentharion").arg(path);
    }
    if (problems.isEmpty())
        problems << QStringLiteral("%1 is not there (looked in %2)")
                        .arg(QLatin1String(moduleFileName),
                             paths.isEmpty() ? QStringLiteral("no folder") : paths.join(QStringLiteral(", ")));
    loaded.failure = problems.join(QStringLiteral("; "));
    return loaded;
}

DesktopServices* desktopServices()
{
    return loaded().services;
}

QString desktopServicesFailure()
{
    return loaded().failure;
}

} // namespace zen
