#pragma once

#include "Dashboard/DashboardAppIdentity.h"

#include <QColor>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace zen {

// Names applications for the user by their bundle identifier (here, the desktop entry id),
// with an icon and a stable colour. Answers are cached for the resolver's life: entries rarely
// change while we run, and the same layout names the same applications again and again.
// Main thread only.
class DashboardAppIdentityResolver {
public:
    // What an installed desktop entry offers for naming an application.
    struct ApplicationEntry {
        std::optional<QString> localizedName; // the entry's Name in the user's language
        QString fileName;                     // the entry's file name
        std::optional<QString> iconName;      // the entry's Icon: a theme name or a file path
    };
    using EntryLookup = std::function<std::optional<ApplicationEntry>(const QString& desktopId)>;
    // Turns an entry's Icon value into an icon; a null icon when it gives none.
    using IconLoader = std::function<QIcon(const QString& iconName)>;

    // The display name of the desktop entry with this id, absent when there is none.
    using NameLookup = std::function<std::optional<QString>(const QString& desktopId)>;

    // The process-wide resolver over the installed desktop entries.
    static DashboardAppIdentityResolver& shared();

    // Names only: every application gets the generic application icon.
    explicit DashboardAppIdentityResolver(NameLookup lookup);
    explicit DashboardAppIdentityResolver(EntryLookup lookup = installedEntry, IconLoader iconLoader = themeIcon);

    // From the cache, else looked up once. Never fails.
    DashboardAppIdentity identity(const QString& bundleIdentifier);

    // The entry's localized Name, else its file name without ".desktop"; absent when both are blank.
    static std::optional<QString> appName(const ApplicationEntry& entry);

    // Looks the id up among the installed desktop entries (ids that could name a path are
    // refused).
    static std::optional<ApplicationEntry> installedEntry(const QString& desktopId);
    static std::optional<QString> desktopEntryDisplayName(const QString& desktopId);
    static bool isLookupSafe(const QString& desktopId);

    // An icon-theme name through the theme; an absolute path as an image file.
    static QIcon themeIcon(const QString& iconName);
    // The desktop's generic application icon, painted when the theme has none. Never null.
    static QIcon genericApplicationIcon();

    // djb2 over the identifier's Unicode scalars in wrapping 32-bit arithmetic: the same on
    // every run and machine, unlike Qt's seeded hashes.
    static std::uint32_t accentHash(const QString& bundleIdentifier);
    // Hue from the hash, fixed saturation and brightness.
    static QColor accentColor(const QString& bundleIdentifier);

private:
    DashboardAppIdentity makeIdentity(const QString& bundleIdentifier) const;

    EntryLookup m_lookup;
    IconLoader m_iconLoader;
    std::map<QString, DashboardAppIdentity> m_cache;
};

} // namespace zen
