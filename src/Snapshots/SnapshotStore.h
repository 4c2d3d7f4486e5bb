#pragma once

#include "Shared/AtomicFileWriter.h"
#include "Snapshots/Snapshot.h"
#include "Snapshots/SnapshotStoreError.h"
#include "Snapshots/SnapshotSummary.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDir;

namespace zen {

class AppSupportDirectoryBootstrapper;
class SnapshotSummaryScanner;

// The saved layouts on disk: one JSON file per layout, named by the layout's id in upper-case
// UUID text plus ".json", in one folder. Holds no cache: every call goes to the file system,
// so copies of the store may be used from any thread. Every change (save, edit, delete) holds
// the folder's lock (SnapshotFolderLock), shared by every store of that folder under any of
// its names and by other processes, so an edit can't be overwritten by a read-modify-write
// on another thread or in another instance of the program.
//
// Only files named exactly "<UPPER-CASE-UUID>.json" are layouts. Another spelling of the same
// id (lower case, as a case-sensitive file system allows) is not listed, so the list never
// shows a layout that can't then be loaded, edited or deleted by its id.
class SnapshotStore {
public:
    using Clock = std::function<QDateTime()>;

    // The largest layout file that is read; anything bigger is treated as unreadable.
    static constexpr qint64 maximumFileSize = 16 * 1024 * 1024;

    explicit SnapshotStore(QString snapshotsDirectory, Clock clock = {}, AtomicFileWriter writer = {});
    explicit SnapshotStore(const AppSupportDirectoryBootstrapper& bootstrapper, Clock clock = {},
                           AtomicFileWriter writer = {});

    QString snapshotsDirectory() const { return m_directory; }
    // The path of the layout file of an id (whether or not it exists).
    QString fileURL(const QUuid& id) const;

    // Every readable layout, newest update first (then newest creation); unreadable,
    // oversized or non-regular files are left out without a word. Reads every file: call it
    // off the main thread.
    std::expected<std::vector<SnapshotSummary>, SnapshotStoreError> listSummaries() const;
    std::expected<Snapshot, SnapshotStoreError> loadSnapshot(const QUuid& id) const;
    // Writes atomically with the name trimmed and the current schema version; the dates are
    // written as given. A failed save leaves the previous file as it was; a document larger
    // than `maximumFileSize` is refused as a failed write. A save still waiting for the
    // folder's lock when the program ends is dropped whole, as busy (SnapshotFolderLock).
    std::expected<void, SnapshotStoreError> save(const Snapshot& snapshot) const;
    std::expected<void, SnapshotStoreError> deleteSnapshot(const QUuid& id) const;
    // Loads the layout, lets `change` edit it and saves the result, all under the folder's
    // lock, so no other change of the store falls between the load and the save. Fails with
    // not-found when the layout is gone; returns the record as changed. `change` must not
    // call the store's changing functions (the lock is not re-entrant).
    std::expected<Snapshot, SnapshotStoreError> modifySnapshot(const QUuid& id,
                                                               const std::function<void(Snapshot&)>& change) const;

    // Edits: each loads the layout, changes it, stamps `updatedAt` with `now` (default: the
    // store's clock) and saves it. A failed edit leaves the file as it was.
    std::expected<void, SnapshotStoreError> renameSnapshot(const QUuid& id, const QString& newName,
                                                           std::optional<QDateTime> now = std::nullopt) const;
    std::expected<void, SnapshotStoreError> setHotkey(const QUuid& id, const std::optional<HotkeyBinding>& hotkey,
                                                      std::optional<QDateTime> now = std::nullopt) const;
    // True when the window was removed; false when the layout has no such window.
    std::expected<bool, SnapshotStoreError> removeWindow(const QUuid& windowID, const QUuid& snapshotID,
                                                         std::optional<QDateTime> now = std::nullopt) const;
    // The number of windows removed.
    std::expected<qsizetype, SnapshotStoreError> removeApp(const QString& bundleIdentifier, const QUuid& snapshotID,
                                                           std::optional<QDateTime> now = std::nullopt) const;
    // `orderedWindowIDs` front-most first; false when it is already the current order.
    std::expected<bool, SnapshotStoreError> reorderDisplayWindows(const QUuid& snapshotID, std::uint32_t displayID,
                                                                  const std::vector<QUuid>& orderedWindowIDs,
                                                                  std::optional<QDateTime> now = std::nullopt) const;

    // Temporary files of saves cut short by a crash or power loss: removed at start-up once
    // they are older than this, so a save still in progress (in this or another process) is
    // never touched.
    static constexpr qint64 staleTemporaryFileAgeSeconds = 5 * 60;
    // Deletes the store's own leftover temporary files ("<ID>-<UUID>.tmp", regular files
    // only) older than staleTemporaryFileAgeSeconds by the store's clock; returns how many.
    int removeStaleTemporaryFiles() const;

    // The stacking order: windows with a hint first by hint, then the rest; ties by id text.
    static std::vector<WindowRecord> sortedWindowsForZOrder(std::vector<WindowRecord> windows);
    // Whether the modifiers hold Command, Option or Control and nothing but those and Shift.
    static bool isAcceptableHotkeyModifierMask(std::uint32_t modifiers);

private:
    std::expected<void, SnapshotStoreError> ensureSnapshotsDirectoryExists() const;
    std::expected<Snapshot, SnapshotStoreError> loadSnapshotAt(const QString& path) const;
    static std::expected<Snapshot, SnapshotStoreError> decodeLayoutFile(const QString& path, const QByteArray& bytes);
    // The list row of one file, or nothing when it is not a layout this store lists.
    static std::optional<SnapshotSummary> summaryOfFile(const QDir& directory, const QString& name, const QUuid& fileID,
                                                        SnapshotSummaryScanner& scanner);
    std::expected<void, SnapshotStoreError> saveLocked(const Snapshot& snapshot) const;
    // Returns whether the layout changed (and should be saved), or why the edit is refused.
    using Edit = std::function<std::expected<bool, SnapshotStoreError>(Snapshot&)>;
    // Loads the layout and hands it to `edit`, under the folder's lock; saves it when `edit`
    // reports a change. Returns the record as saved, or nothing when it was left unchanged.
    std::expected<std::optional<Snapshot>, SnapshotStoreError> editSnapshot(const QUuid& id, const Edit& edit) const;
    std::expected<qsizetype, SnapshotStoreError> removeWindowsWhere(
        const QUuid& snapshotID, const std::function<bool(const WindowRecord&)>& shouldRemove,
        const std::optional<QDateTime>& now) const;
    static std::vector<WindowRecord> reorderedGlobalWindows(const std::vector<WindowRecord>& windows,
                                                            std::uint32_t displayID,
                                                            const std::vector<WindowRecord>& orderedDisplayWindows);
    QDateTime resolve(const std::optional<QDateTime>& now) const;

    QString m_directory;
    Clock m_clock;
    AtomicFileWriter m_writer;
};

} // namespace zen
