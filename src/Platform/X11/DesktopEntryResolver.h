#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace zen {

// The identity of the program behind a window: its desktop entry id (without ".desktop")
// and the entry's name, or the window class when no entry claims it. The same window
// always gives the same answer; answers are cached for the resolver's life.
class DesktopEntryResolver {
public:
    struct Identity {
        std::optional<QString> bundleIdentifier;
        std::optional<QString> localizedName;
    };

    Identity resolve(const QByteArray& wmInstance, const QByteArray& wmClass, const std::optional<QString>& gtkApplicationId);

    // Launches the entry with this id; ids that could name a path are refused.
    static bool launch(const QString& desktopId);
    static bool isAcceptableDesktopId(const QString& desktopId);

private:
    struct Entry {
        QString id;
        QString name;
        QString startupWMClass;
    };
    void loadEntries();
    std::optional<Identity> entryFor(const QString& id) const;

    std::mutex m_mutex;
    bool m_loaded = false;
    std::vector<Entry> m_entries;
    std::map<std::tuple<QByteArray, QByteArray, QString>, Identity> m_cache;
};

} // namespace zen
