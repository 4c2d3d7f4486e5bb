// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "Dashboard/DashboardAppIdentityResolver.h"

#include "Shared/StringExtensions.h"

namespace zen {

DashboardAppIdentityResolver& DashboardAppIdentityResolver::shared()
{
    static DashboardAppIdentityResolver resolver;
    return resolver;
}

DashboardAppIdentityResolver::DashboardAppIdentityResolver(NameLookup lookup)
    : m_lookup(std::move(lookup))
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

    std::optional<QString> name;
    if (m_lookup && isLookupSafe(bundleIdentifier))
        name = nonEmptyValue(m_lookup(bundleIdentifier));
    DashboardAppIdentity identity {bundleIdentifier, name.value_or(bundleIdentifier), {}, accentColor(bundleIdentifier)};
    m_cache.emplace(bundleIdentifier, identity);
    return identity;
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

std::optional<QString> DashboardAppIdentityResolver::desktopEntryDisplayName(const QString& desktopId)
{
    if (!isLookupSafe(desktopId))
        return std::nullopt;
    const QByteArray fileName = (desktopId + QLatin1String(".desktop")).toUtf8();
    GDesktopAppInfo* info = g_desktop_app_info_new(fileName.constData());
    if (!info)
        return std::nullopt;
    std::optional<QString> name;
    if (const char* displayName = g_app_info_get_display_name(G_APP_INFO(info)))
        name = QString::fromUtf8(displayName);
    g_object_unref(info);
    return name;
}

} // namespace zen
