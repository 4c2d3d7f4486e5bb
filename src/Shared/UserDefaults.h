#pragma once

#include "Shared/SettingsText.h"

#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace zen {

// What the user's preferences learn from the system (tests give their own).
struct UserDefaultsEnvironment {
    // The account's home folder in the password database, asked when HOME names none;
    // empty: getpwuid_r.
    std::function<QString()> passwordDatabaseHome {};
    // Where the private copies of the text are made; empty: the temporary folder.
    QString scratchFolder {};
};

// The user's stored preferences (an INI file under the XDG config home) with a registration
// domain: defaults registered at start-up answer reads of keys the user never stored, are
// never written to disk, and last as long as this object (the process, for standard()).
// Safe to use from any thread.
//
// The file is read once, without blocking and only when it is a regular file of sane size,
// and every change replaces it atomically, with the program's own writer: the new file is
// renamed over whatever entry stands there, so nothing is ever written through a link put
// there meanwhile. Its text is QSettings' INI format, made by QSettings on a private copy of
// the program's own (see SettingsText). Two copies of the program changing settings at once
// take turns through the lock file "<file>.lock", waited on for half a second at most. A
// link is written through only to a regular file of the user's own inside the home folder
// (as dotfile managers arrange); any other link, a named pipe, a device, a folder, an
// oversized file or one that is not in the settings format is left untouched, and the
// preferences live in memory for the session: notSavedReason() says why, and the log says
// so once.
class UserDefaults {
public:
    // A handful of keys fit in a few hundred bytes; a larger file is no file of ours.
    static constexpr qint64 maximumFileSize = 64 * 1024;

    // How long a change waits for another copy of the program to finish its own: changes are
    // made on the main thread.
    static constexpr int lockWaitMs = 500;

    using Environment = UserDefaultsEnvironment;

    // Preferences kept in the given INI file (tests pass a file in a temporary folder and
    // a temporary home).
    explicit UserDefaults(const QString& iniFilePath, const QString& homeFolder = {}, Environment environment = {});
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
    // Sets `key` to `value` (removes it when absent) and writes it, with any earlier change
    // not saved yet, over what the file holds now, so that another instance's changes to other
    // keys are kept.
    void store(const QString& key, const std::optional<QVariant>& value);
    std::expected<QByteArray, QString> readText(const QString& target) const;
    void stopSaving(const QString& why);
    // A failure that may pass (a full disk, the temporary folder refused): the changes wait
    // for the next one; said once per cause.
    void writeFailed(const QString& target, const QString& why);

    mutable QMutex m_mutex;
    QString m_path;
    QString m_home;
    QVariantMap m_values;
    QVariantMap m_registered;
    SettingsText m_text;
    // Changes not in the file yet, made on top of what it holds at the next write.
    SettingsChanges m_unsaved;
    std::optional<QString> m_notSaved;
    std::optional<QString> m_lastWriteFailure;
    std::optional<QString> m_lastLockProblem;
};

} // namespace zen
