#pragma once

#include <QString>

#include <memory>
#include <mutex>

namespace zen {

// Held around every change of a layouts folder (save, edit, delete), so that a read-modify-
// write of a layout is never interleaved with another change of the same folder: by other
// threads of this process through a mutex per folder, keyed by the folder's identity (device
// and inode, so two spellings of one folder, a linked alias among them, share it), and by
// other processes (a second instance on another display) through an exclusive `flock` on a
// lock file inside the folder, which is never reached through a link.
//
// Taking it blocks until it is held; it is released when the object goes. Not re-entrant.
// Where the folder or its lock file cannot be opened (a read-only or vanished folder), only
// this process is kept out; a change there fails on its own anyway.
class SnapshotFolderLock {
public:
    static inline const QString lockFileName = QStringLiteral(".zentharion-layouts.lock");

    explicit SnapshotFolderLock(const QString& directory);
    ~SnapshotFolderLock();
    SnapshotFolderLock(const SnapshotFolderLock&) = delete;
    SnapshotFolderLock& operator=(const SnapshotFolderLock&) = delete;

    // Whether other processes are kept out too.
    bool holdsFileLock() const { return m_lockFile >= 0; }

private:
    std::shared_ptr<std::mutex> m_mutex;
    std::unique_lock<std::mutex> m_held;
    int m_lockFile = -1;
};

} // namespace zen
