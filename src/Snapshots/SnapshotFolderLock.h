#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <mutex>

namespace zen {

// Held around every change of a layouts folder (save, edit, delete), so that a read-modify-
// write of a layout is never interleaved with another change of the same folder: by other
// threads of this process through a mutex per folder, keyed by the folder's identity (device
// and inode, so two spellings of one folder, a linked alias among them, share it), and by
// other processes (a second instance on another display) through an exclusive `flock` on a
// lock file inside the folder. The lock file is only ever a regular file of our own: a link,
// pipe or empty folder planted under its name is replaced, never followed or waited on.
//
// Taking it waits a bounded time: edits run on the main thread, and a holder that never lets
// go (a stopped process, a frozen network folder) must not freeze the window; saves run on
// workers, which may wait longer. It is released when the object goes. Not re-entrant. Where
// the folder is read-only or gone, only this process is kept out; a change there fails on its
// own anyway. A program that is ending abandons every wait at once (abandonWaits()): a change
// that was waiting is dropped whole, before it wrote anything.
class SnapshotFolderLock {
public:
    static inline const QString lockFileName = QStringLiteral(".zentharion-layouts.lock");
    // Far longer than a change of one layout takes, short enough for a window to wait.
    static constexpr std::chrono::milliseconds mainThreadWait {1000};
    static constexpr std::chrono::milliseconds workerWait {30000};
    // mainThreadWait on the application's thread (or without an application), else workerWait.
    static std::chrono::milliseconds defaultWait();

    enum class State {
        held,
        busy,        // another thread or process held it for the whole wait
        unavailable, // no lock file could be made (a folder with contents under its name, ...)
        abandoned,   // the wait was given up because the program is ending
    };

    // From now on (or again, given false), every wait for a lock of any folder, under way or
    // to come, ends at once with State::abandoned; a lock that is free is still taken. Any
    // thread.
    static void abandonWaits(bool abandon = true);

    explicit SnapshotFolderLock(const QString& directory, std::chrono::milliseconds wait = defaultWait());
    ~SnapshotFolderLock();
    SnapshotFolderLock(const SnapshotFolderLock&) = delete;
    SnapshotFolderLock& operator=(const SnapshotFolderLock&) = delete;

    State state() const { return m_state; }
    // Whether other processes are kept out too.
    bool holdsFileLock() const { return m_lockFile >= 0; }
    // The lock file's path, for a message about it.
    QString lockFilePath() const;

private:
    QString m_directory;
    std::shared_ptr<std::timed_mutex> m_mutex;
    std::unique_lock<std::timed_mutex> m_held;
    int m_lockFile = -1;
    State m_state = State::held;
};

} // namespace zen
