#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

namespace zen {

// The identity of the program behind a window: its desktop entry id (without ".desktop")
// and the entry's name, or the window class when no entry claims it. The same window
// gives the same answer as long as the installed entries stay the same: the answers are
// dropped when GIO reports a change to the installed applications (reported in the GLib
// main context of the main thread, which the Qt event loop runs; watched from the first
// question on, so that GIO is loaded only then), and a
// window no entry claims has the entries read again once they are a few seconds old, so an
// application installed after start is recognised even when that report is late or missing.
class DesktopEntryResolver {
public:
    DesktopEntryResolver();
    ~DesktopEntryResolver();
    DesktopEntryResolver(const DesktopEntryResolver&) = delete;
    DesktopEntryResolver& operator=(const DesktopEntryResolver&) = delete;

    struct Identity {
        std::optional<QString> bundleIdentifier;
        std::optional<QString> localizedName;
    };

    Identity resolve(const QByteArray& wmInstance, const QByteArray& wmClass, const std::optional<QString>& gtkApplicationId);

    // Launches the entry with this id; ids that could name a path are refused. The program
    // gets the null device as its standard streams.
    static bool launch(const QString& desktopId);
    // Opens the file with the program set up for its content type, with its own streams as
    // above; false when no program is set up for it or it could not be started.
    static bool openWithDefaultApplication(const QString& filePath, const QString& contentType);

private:
    struct Entry {
        QString id;
        QString name;
        QString startupWMClass;
    };
    struct Answer {
        Identity identity;
        bool fromEntry = false;
    };
    void loadEntries();
    void dropEntries();
    std::optional<Identity> entryFor(const QString& id) const;
    std::optional<Identity> claimingEntry(const QString& instance, const QString& cls,
                                          const std::optional<QString>& gtkApplicationId) const;

    std::mutex m_mutex;
    bool m_loaded = false;
    std::chrono::steady_clock::time_point m_loadedAt;
    std::vector<Entry> m_entries;
    std::map<std::tuple<QByteArray, QByteArray, QString>, Answer> m_cache;
    // Whether the installed applications changed, set from the GLib main context; shared with
    // the watch so that a late report never touches a destroyed resolver.
    struct Watch;
    void startWatching();
    std::shared_ptr<Watch> m_watch;
};

} // namespace zen
