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

    // A folder of this user's that nobody else can write in: `runtimeDirectory`
    // ($XDG_RUNTIME_DIR) when it is this user's and closed to others; else "zentharion-<uid>"
    // in `temporaryDirectory`, made closed to others; else "zentharion" in `cacheDirectory`,
    // likewise. Empty when there is none. A folder of the shared temporary folder is only
    // taken when it is ours, as another user could make it first and fill it.
    static QString privateDirectory(const QString& runtimeDirectory, const QString& temporaryDirectory,
                                    const QString& cacheDirectory);
    // The same for this process's environment.
    static QString privateDirectory();

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
