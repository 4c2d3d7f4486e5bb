#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <expected>
#include <memory>
#include <optional>

namespace zen {

// The user's stored preferences (an INI file under the XDG config home) with a registration
// domain: defaults registered at start-up answer reads of keys the user never stored, are
// never written to disk, and last as long as this object (the process, for standard()).
// Safe to use from any thread.
//
// The file is read once, without blocking and only when it is a regular file of sane size,
// and every change replaces it atomically. Its text is QSettings' INI format, read and written
// in memory: nothing but the file and its atomic replacement is ever written. A link is
// written through only to a regular file of the user's own inside the home folder (as
// dotfile managers arrange); any other link, a named pipe, a device, a folder or an oversized
// file is left untouched, and the preferences live in memory for the session:
// notSavedReason() says why, and the log says so once.
class UserDefaults {
public:
    // A handful of keys fit in a few hundred bytes; a larger file is no file of ours.
    static constexpr qint64 maximumFileSize = 64 * 1024;

    // Preferences kept in the given INI file (tests pass a file in a temporary folder and
    // a temporary home).
    explicit UserDefaults(const QString& iniFilePath, const QString& homeFolder = {});
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide preferences: $XDG_CONFIG_HOME/Zentharion/Zentharion.conf.
    static UserDefaults& standard();

    // Adds to the registration domain; stored values are not touched.
    void registerDefaults(const QVariantMap& defaults);

    // The stored value, else the registered one, else absent.
    std::optional<QVariant> object(const QString& key) const;
    // False when the key has neither a stored nor a registered value, or holds no Boolean.
    bool boolForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setString(const QString& key, const QString& value);
    void removeObject(const QString& key);

    QString fileName() const;
    // Why changes are kept in memory only for this session; absent while they are saved.
    std::optional<QString> notSavedReason() const;

    // Where the file at `path` may be written: the path itself (a regular file, or nothing
    // yet), or the file a link resolves to when that is a regular file owned by this user
    // inside `homeFolder`. Otherwise why not, as the end of a sentence naming the path.
    static std::expected<QString, QString> writableTarget(const QString& path, const QString& homeFolder);

private:
    void load();
    // Writes the stored values with `key` set to `value` (removed when absent) over what the
    // file holds now, so that another instance's changes to other keys are kept.
    void store(const QString& key, const std::optional<QVariant>& value);
    std::expected<QVariantMap, QString> readFile(const QString& target) const;
    void stopSaving(const QString& why);

    mutable QMutex m_mutex;
    QString m_path;
    QString m_home;
    QVariantMap m_values;
    QVariantMap m_registered;
    std::optional<QString> m_notSaved;
    std::optional<QString> m_lastWriteFailure;
};

} // namespace zen
