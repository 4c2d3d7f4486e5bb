#pragma once

#include <QDeadlineTimer>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <chrono>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zen {

// What the user's preferences learn from the system (tests give their own).
struct UserDefaultsEnvironment {
    // The account's home folder in the password database, asked when HOME names none;
    // empty: getpwuid_r.
    std::function<QString()> passwordDatabaseHome {};
    // Runs `call` once `delay` has passed, on the thread that handles the program's events,
    // never before it returns; empty: a timer on the application's thread (none without an
    // application: kept changes then wait for the next change or saveNow()).
    std::function<void(std::chrono::milliseconds delay, std::function<void()> call)> later {};
};

// The user's stored preferences (an INI file under the XDG config home) with a registration
// domain: defaults registered at start-up answer reads of keys the user never stored, are
// never written to disk, and last as long as this object (the process, for standard()).
// Safe to use from any thread.
//
// The file is read once, without blocking and only when it is a regular file of sane size,
// and every change replaces it atomically, with the program's own writer: the new file is
// renamed over whatever entry stands there, so nothing is ever written through a link put
// there meanwhile. Its text is QSettings' INI format, made by QSettings on a private copy
// beside the file (see SettingsText), so the settings need no folder but their own.
//
// The settings folder is used only when it is this user's own and, where a link leads to it,
// inside the home folder (judged on the folder opened, not on a path looked at before); one
// that exists keeps its mode, and a missing one is made 0700 only inside a folder of the
// user's own. Two copies of the program changing settings at once take turns through an flock
// on the settings folder itself, which no entry planted anywhere can stand in for; reading
// needs no lock. A change never writes without it: a change that cannot have it within
// lockWaitMs, or whose write fails, is kept (reads answer it) and written once it can be, by
// a retry soon after, by the next change, or by saveNow() (at quit for standard()); it is then
// written only where the file still holds for its key what it held when the change was first
// kept, so that a value another copy saved since is not undone. notSavedReason() says what is
// not saved, in words that follow the file: at once where waiting cannot help, after a few
// retries where another program holds the lock, gone once the changes are in the file, and
// naming the changes lost at quit. What a copy of the program ended in the middle of a change
// left beside the file is removed under the lock. A link at the file is written through only
// to a regular file of the user's own inside the home folder (as dotfile managers arrange);
// any other link, a named pipe, a device, a folder, an oversized file or one that is not in
// the settings format is left untouched, and the preferences live in memory for the session:
// notSavedReason() says why, and the log says so once.
class UserDefaults {
public:
    // A handful of keys fit in a few hundred bytes; a larger file is no file of ours.
    static constexpr qint64 maximumFileSize = 64 * 1024;

    // How long a change waits for another copy of the program to finish its own: changes are
    // made on the main thread, and a write takes a few milliseconds.
    static constexpr int lockWaitMs = 40;
    // How long the changes still kept at quit wait for the lock.
    static constexpr int quitLockWaitMs = 2000;
    // When kept changes are tried again: soon, then every second; the person is told after
    // this many tries.
    static constexpr std::chrono::milliseconds firstRetryDelay {250};
    static constexpr std::chrono::milliseconds retryDelay {1000};
    static constexpr int retriesBeforeTelling = 3;

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
    // Why changes are kept in memory only for this session, cannot be saved, are not saved yet
    // after a while, or were lost at quit; absent while every change is in the file.
    std::optional<QString> notSavedReason() const;

    // Calls `changed` on `context`'s thread each time notSavedReason() may have changed, while
    // `context` lives.
    void onNotSavedChanged(QObject* context, std::function<void()> changed);

    // Writes the kept changes, waiting for the lock until `wait` has passed. True when none is
    // left unsaved. Where some still are, the person is told which (this is the quit's save).
    bool saveNow(std::chrono::milliseconds wait);

    // Where the file at `path` may be written: the path itself (a regular file, or nothing
    // yet), or the file a link resolves to when that is a regular file owned by this user
    // inside `homeFolder`. Otherwise why not, as the end of a sentence naming the path.
    static std::expected<QString, QString> writableTarget(const QString& path, const QString& homeFolder);

private:
    // A change not in the file yet.
    struct KeptChange {
        std::optional<QVariant> value;
        // What the file held for the key when the change was first kept; absent while the
        // change is being written for the first time.
        std::optional<std::optional<QVariant>> fileHeld;
    };
    // Why kept changes are not in the file: the cause, as a clause ("another program holds
    // the folder ..."), and what the person can do about it ("close it").
    struct Problem {
        QString cause;
        QString action;
        // Whether it may go by itself (another program's lock), so that the person is told only
        // once a few retries failed; otherwise at once.
        bool passes = false;
    };
    struct RetryGuard;
    class ReasonWatch;

    void load();
    // Sets `key` to `value` (removes it when absent) and writes it, with the kept changes.
    void store(const QString& key, const std::optional<QVariant>& value);
    // Writes the kept changes over what the file holds now, so that another copy's changes
    // to other keys stay, under the folder's lock had before `deadline`; true when written.
    bool write(QDeadlineTimer deadline);
    std::expected<QByteArray, QString> readText(const QString& path) const;
    void stopSaving(const QString& why);
    // The changes could not be written now: each newly kept one remembers what the file holds
    // for its key (`fileNow` when known, read through the open settings folder `folder`
    // otherwise), and a retry is due.
    void keepForLater(const Problem& problem, const std::optional<QVariantMap>& fileNow, int folder = -1);
    void retry();
    void tell(const QString& words);
    // Removes what a cut write left beside the file; the lock is held.
    void sweep(int folder, const QString& target);
    std::optional<QString> reason() const;
    void notifyObservers();

    mutable QMutex m_mutex;
    QString m_path;
    QString m_home;
    QVariantMap m_values;
    QVariantMap m_registered;
    std::function<void(std::chrono::milliseconds, std::function<void()>)> m_later;
    std::shared_ptr<RetryGuard> m_guard;
    // Changes not in the file yet, made on top of what it holds at the next write.
    std::map<QString, KeptChange> m_unsaved;
    std::optional<QString> m_notSaved;
    std::optional<Problem> m_problem;
    std::optional<QString> m_told;
    bool m_retryDue = false;
    int m_failedRetries = 0;
    bool m_swept = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_observers;
};

} // namespace zen
