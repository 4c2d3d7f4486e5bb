#pragma once

#include "Dashboard/DashboardAppIdentity.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace zen {

// Names applications for the user by their bundle identifier (here, the desktop entry id).
// Answers are cached for the resolver's life: entries rarely change while we run, and the
// same layout names the same applications again and again. Main thread only.
class DashboardAppIdentityResolver {
public:
    // The display name of the desktop entry with this id, absent when there is none.
    using NameLookup = std::function<std::optional<QString>(const QString& desktopId)>;

    // The process-wide resolver over the installed desktop entries.
    static DashboardAppIdentityResolver& shared();

    explicit DashboardAppIdentityResolver(NameLookup lookup = desktopEntryDisplayName);

    // The entry's name, else the identifier itself. Never fails.
    DashboardAppIdentity identity(const QString& bundleIdentifier);

    // Looks the id up among the installed desktop entries (ids that could name a path are
    // refused).
    static std::optional<QString> desktopEntryDisplayName(const QString& desktopId);
    static bool isLookupSafe(const QString& desktopId);

    // djb2 over the identifier's Unicode scalars in wrapping 32-bit arithmetic: the same on
    // every run and machine, unlike Qt's seeded hashes.
    static std::uint32_t accentHash(const QString& bundleIdentifier);
    // Hue from the hash, fixed saturation and brightness.
    static QColor accentColor(const QString& bundleIdentifier);

private:
    NameLookup m_lookup;
    std::map<QString, DashboardAppIdentity> m_cache;
};

} // namespace zen
