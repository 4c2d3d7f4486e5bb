#include "Dashboard/DashboardAppIdentityResolver.h"

#include "Dashboard/DashboardSymbols.h"
#include "Platform/DesktopServices.h"
#include "Shared/StringExtensions.h"

#include <QFileInfo>
#include <QGuiApplication>

namespace zen {

DashboardAppIdentityResolver& DashboardAppIdentityResolver::shared()
{
    static DashboardAppIdentityResolver resolver;
    return resolver;
}

DashboardAppIdentityResolver::DashboardAppIdentityResolver(NameLookup lookup)
    : DashboardAppIdentityResolver(
          [lookup = std::move(lookup)](const QString& id) -> std::optional<ApplicationEntry> {
              if (!lookup)
                  return std::nullopt;
              const std::optional<QString> name = lookup(id);
              if (!name)
                  return std::nullopt;
              // A name-only lookup has no file name to fall back on: the identifier stands in.
              return ApplicationEntry {name, id, std::nullopt};
          },
          {})
{
}

DashboardAppIdentityResolver::DashboardAppIdentityResolver(EntryLookup lookup, IconLoader iconLoader)
    : m_lookup(std::move(lookup)), m_iconLoader(std::move(iconLoader))
{
}

bool DashboardAppIdentityResolver::isLookupSafe(const QString& desktopId)
{
    // GIO takes a desktop id, but a text with a slash or ".." could reach files outside the
    // application folders; identifiers come from other programs' window properties.
    return !desktopId.isEmpty() && !desktopId.contains(QLatin1Char('/')) && !desktopId.contains(QLatin1String(".."))
        && !desktopId.contains(QChar(0));
}

DashboardAppIdentity DashboardAppIdentityResolver::identity(const QString& bundleIdentifier)
{
    if (const auto cached = m_cache.find(bundleIdentifier); cached != m_cache.end())
        return cached->second;
    DashboardAppIdentity identity = makeIdentity(bundleIdentifier);
    m_cache.emplace(bundleIdentifier, identity);
    return identity;
}

DashboardAppIdentity DashboardAppIdentityResolver::makeIdentity(const QString& bundleIdentifier) const
{
    std::optional<ApplicationEntry> entry;
    if (m_lookup && isLookupSafe(bundleIdentifier))
        entry = m_lookup(bundleIdentifier);

    QString name = bundleIdentifier;
    QIcon icon;
    // Icons need the GUI application; a process without one (a command-line tool naming
    // applications in messages) gets names only.
    const bool canLoadIcons = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (entry) {
        name = appName(*entry).value_or(bundleIdentifier);
        if (canLoadIcons && m_iconLoader && entry->iconName && !entry->iconName->isEmpty())
            icon = m_iconLoader(*entry->iconName);
    }
    if (icon.isNull() && canLoadIcons)
        icon = genericApplicationIcon();
    return {bundleIdentifier, name, icon, accentColor(bundleIdentifier), entry.has_value()};
}

std::optional<QString> DashboardAppIdentityResolver::appName(const ApplicationEntry& entry)
{
    if (const auto name = nonEmptyValue(entry.localizedName))
        return name;
    QString fileName = QFileInfo(entry.fileName).fileName();
    if (fileName.endsWith(QLatin1String(".desktop")))
        fileName.chop(8);
    return nonEmptyValue(fileName);
}

std::optional<DashboardAppIdentityResolver::ApplicationEntry> DashboardAppIdentityResolver::installedEntry(
    const QString& desktopId)
{
    if (!isLookupSafe(desktopId))
        return std::nullopt;
    const QByteArray fileName = (desktopId + QLatin1String(".desktop")).toUtf8();
    const auto details = desktopServices().entryDetails(fileName);
    if (!details)
        return std::nullopt;
    ApplicationEntry entry;
    entry.localizedName = details->localizedName;
    entry.fileName = details->fileName.value_or(QString::fromUtf8(fileName));
    entry.iconName = details->iconName;
    return entry;
}

std::optional<QString> DashboardAppIdentityResolver::desktopEntryDisplayName(const QString& desktopId)
{
    const auto entry = installedEntry(desktopId);
    if (!entry)
        return std::nullopt;
    return appName(*entry);
}

QIcon DashboardAppIdentityResolver::themeIcon(const QString& iconName)
{
    DashboardSymbols::ensureIconTheme();
    if (QFileInfo(iconName).isAbsolute()) {
        // Only regular files: an entry could name a device or a FIFO that would block reading.
        const QFileInfo file(iconName);
        if (!file.isFile())
            return {};
        QIcon icon(file.absoluteFilePath());
        return icon.availableSizes().isEmpty() && icon.pixmap(16, 16).isNull() ? QIcon() : icon;
    }
    return QIcon::fromTheme(iconName);
}

QIcon DashboardAppIdentityResolver::genericApplicationIcon()
{
    return DashboardSymbols::icon(QStringLiteral("app.generic"));
}

std::uint32_t DashboardAppIdentityResolver::accentHash(const QString& bundleIdentifier)
{
    std::uint32_t hash = 5381;
    for (const uint scalar : bundleIdentifier.toUcs4())
        hash = hash * 33u + static_cast<std::uint32_t>(scalar);
    return hash;
}

QColor DashboardAppIdentityResolver::accentColor(const QString& bundleIdentifier)
{
    return QColor::fromHsvF(static_cast<float>(accentHash(bundleIdentifier) % 360u) / 360.0f, 0.68f, 0.78f, 1.0f);
}

} // namespace zen
