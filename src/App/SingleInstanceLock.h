#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace zen {

// One running copy per user and X display: a second copy would try to grab the same global
// shortcuts, lose them all, and leave the user with two tray icons. The lock is a file in the
// user's runtime folder named after the display; a copy that crashed leaves a file whose
// process is gone, which the next start takes over.
class SingleInstanceLock {
public:
    enum class Outcome { acquired, alreadyRunning, unavailable };

    // The display a DISPLAY value names, without its screen number: ":0", ":0.1" and
    // "unix:0" are one display; "localhost:10.0" (a forwarded one) is another.
    static QString normalizedDisplay(const QString& displayName);
    // The lock file's name for a display, safe as a file name.
    static QString lockFileName(const QString& displayName);

    SingleInstanceLock(const QString& directory, const QString& displayName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // `unavailable`: the lock file could not be written (no runtime folder, no space); the
    // caller runs anyway rather than refuse to start over it.
    Outcome tryLock();

    QString filePath() const { return m_filePath; }
    // "Zentharion is already running on display :0."
    QString alreadyRunningMessage() const;

private:
    QString m_display;
    QString m_filePath;
    std::unique_ptr<QLockFile> m_lockFile;
};

} // namespace zen
