#pragma once

#include <QString>

namespace zen {

// One running copy per user and X display: a second copy would try to grab the same global
// shortcuts, lose them all, and leave the user with two tray icons. The lock is an flock(2) on
// a file named after the display in a folder only this user can reach; the kernel lets go of
// it when its process ends, however it ends, so the file a killed copy leaves behind (empty,
// half written, or anything else a regular file may hold) never stops the next start.
// Anything but a regular file under the name is no copy at all and is replaced.
class SingleInstanceLock {
public:
    enum class Outcome { acquired, alreadyRunning, unavailable };

    // The display a DISPLAY value names, without its screen number: ":0", ":0.1" and
    // "unix:0" are one display; "localhost:10.0" (a forwarded one) is another.
    static QString normalizedDisplay(const QString& displayName);
    // The lock file's name for a display, safe as a file name.
    static QString lockFileName(const QString& displayName);

    // The user's runtime folder, where every launch of this user looks for the lock: the one
    // Qt takes for $XDG_RUNTIME_DIR (this user's, closed to others, else a folder of its own).
    // A launch without the variable (from a shell that lost the session's environment) takes
    // "<uid>" in `userRuntimeFolders`, the folder the login manager made for the session,
    // when it is this user's own folder (no link) closed to others. Where Qt refuses its own
    // (another user planted its name in the shared temporary folder), "zentharion" in the
    // user's cache folder: made closed to others, or taken as it stands when it is this user's
    // own folder (no link) closed already, and only where a folder made there would stay
    // closed. Empty when there is none.
    static QString privateDirectory(const QString& userRuntimeFolders = QStringLiteral("/run/user"));

    SingleInstanceLock(const QString& directory, const QString& displayName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // `unavailable`: there is no private folder, or the lock file could not be made there (no
    // space, a folder with contents under its name); the caller runs anyway rather than
    // refuse to start over it.
    Outcome tryLock();

    QString filePath() const { return m_filePath; }
    // "Zentharion is already running on display :0."
    QString alreadyRunningMessage() const;

private:
    QString m_display;
    QString m_directory;
    QString m_filePath;
    int m_fd = -1;
};

} // namespace zen
