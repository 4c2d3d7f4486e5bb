#include "Snapshots/SnapshotStore.h"

#include "Infrastructure/AppSupportDirectoryBootstrapper.h"
#include "Shared/Directories.h"
#include "Shared/StringExtensions.h"
#include "Shared/Uuid.h"
#include "Snapshots/SnapshotCoding.h"
#include "Snapshots/SnapshotFolderLock.h"
#include "Snapshots/SnapshotSummaryScanner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

using Failure = std::unexpected<SnapshotStoreError>;

const QString jsonSuffix = QStringLiteral(".json");

// A change goes ahead only under the folder's lock: never unlocked in silence.
std::optional<SnapshotStoreError> lockFailure(const SnapshotFolderLock& lock)
{
    switch (lock.state()) {
    case SnapshotFolderLock::State::held:
        return std::nullopt;
    case SnapshotFolderLock::State::busy:
    case SnapshotFolderLock::State::abandoned: // the program is ending: the change is dropped
        return SnapshotStoreError::storeBusy();
    case SnapshotFolderLock::State::unavailable:
        break;
    }
    return SnapshotStoreError::snapshotWriteFailed(
        lock.lockFilePath(), PlatformError{QStringLiteral("The layouts folder's lock file cannot be made"), EEXIST});
}

// The id a layout file is named by, when its name is exactly the upper-case id text plus
// ".json"; anything else is not a layout file.
std::optional<QUuid> layoutFileID(const QString& fileName)
{
    if (!fileName.endsWith(jsonSuffix))
        return std::nullopt;
    const QStringView base = QStringView(fileName).chopped(jsonSuffix.size());
    const auto id = parseUuidStrict(base);
    if (!id || uuidText(*id) != base)
        return std::nullopt;
    return id;
}

const QString temporarySuffix = QStringLiteral(".tmp");

// Whether the name is one save() gives its temporary file: "<UPPER-UUID>-<UPPER-UUID>.tmp".
bool isTemporaryFileName(const QString& fileName)
{
    constexpr qsizetype uuidLength = 36;
    if (fileName.size() != 2 * uuidLength + 1 + temporarySuffix.size() || !fileName.endsWith(temporarySuffix)
        || fileName[uuidLength] != u'-')
        return false;
    const QStringView name(fileName);
    for (const QStringView part : {name.first(uuidLength), name.sliced(uuidLength + 1, uuidLength)}) {
        const auto id = parseUuidStrict(part);
        if (!id || uuidText(*id) != part)
            return false;
    }
    return true;
}

bool pathExists(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

std::expected<std::vector<QString>, PlatformError> directoryEntries(const QString& directory)
{
    DIR* dir = ::opendir(QFile::encodeName(directory).constData());
    if (!dir)
        return std::unexpected(PlatformError::fromErrno(errno, QStringLiteral("Cannot list %1").arg(directory)));
    std::vector<QString> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != u"." && name != u"..")
            names.push_back(name);
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0)
        return std::unexpected(PlatformError::fromErrno(err, QStringLiteral("Cannot list %1").arg(directory)));
    return names;
}

} // namespace

SnapshotStore::SnapshotStore(QString snapshotsDirectory, Clock clock, AtomicFileWriter writer)
    : m_directory(std::move(snapshotsDirectory))
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_writer(std::move(writer))
{
}

SnapshotStore::SnapshotStore(const AppSupportDirectoryBootstrapper& bootstrapper, Clock clock, AtomicFileWriter writer)
    : SnapshotStore(bootstrapper.snapshotsURL(), std::move(clock), std::move(writer))
{
}

QString SnapshotStore::fileURL(const QUuid& id) const
{
    return QDir(m_directory).filePath(uuidText(id) + jsonSuffix);
}

QDateTime SnapshotStore::resolve(const std::optional<QDateTime>& now) const
{
    return now ? *now : m_clock();
}

std::expected<void, SnapshotStoreError> SnapshotStore::ensureSnapshotsDirectoryExists() const
{
    if (auto made = createDirectories(m_directory); !made)
        return Failure(SnapshotStoreError::directoryReadFailed(made.error()));
    return {};
}

std::optional<SnapshotSummary> SnapshotStore::summaryOfFile(const QDir& directory, const QString& name, const QUuid& fileID,
                                                            SnapshotSummaryScanner& scanner)
{
    const QString path = directory.filePath(name);
    const auto bytes = readRegularFile(path, maximumFileSize);
    if (!bytes)
        return std::nullopt;
    // A row needs no window decoded; what the scanner leaves undecided, the full reader
    // decides as it would have anyway.
    auto scanned = scanner.read(*bytes);
    if (scanned.verdict == SnapshotSummaryScanner::Verdict::refused)
        return std::nullopt;
    if (scanned.verdict == SnapshotSummaryScanner::Verdict::row) {
        if (scanned.result.schemaVersion != Snapshot::currentSchemaVersion || scanned.result.summary.id != fileID)
            return std::nullopt;
        return std::move(scanned.result.summary);
    }
    if (auto snapshot = decodeLayoutFile(path, *bytes))
        return SnapshotSummary::fromSnapshot(*snapshot);
    return std::nullopt;
}

std::expected<std::vector<SnapshotSummary>, SnapshotStoreError> SnapshotStore::listSummaries() const
{
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const auto names = directoryEntries(m_directory);
    if (!names)
        return Failure(SnapshotStoreError::directoryReadFailed(names.error()));

    // Callers list on a worker thread: one parser, one file after the other.
    const QDir directory(m_directory);
    SnapshotSummaryScanner scanner;
    std::vector<SnapshotSummary> summaries;
    for (const QString& name : *names) {
        if (const auto fileID = layoutFileID(name)) {
            if (auto row = summaryOfFile(directory, name, *fileID, scanner))
                summaries.push_back(std::move(*row));
        }
    }
    std::stable_sort(summaries.begin(), summaries.end(), [](const SnapshotSummary& a, const SnapshotSummary& b) {
        if (a.updatedAt != b.updatedAt)
            return a.updatedAt > b.updatedAt;
        return a.createdAt > b.createdAt;
    });
    return summaries;
}

std::expected<Snapshot, SnapshotStoreError> SnapshotStore::loadSnapshot(const QUuid& id) const
{
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const QString path = fileURL(id);
    if (!pathExists(path))
        return Failure(SnapshotStoreError::notFound(id));
    return loadSnapshotAt(path);
}

std::expected<Snapshot, SnapshotStoreError> SnapshotStore::loadSnapshotAt(const QString& path) const
{
    const auto bytes = readRegularFile(path, maximumFileSize);
    if (!bytes)
        return Failure(SnapshotStoreError::snapshotDecodeFailed(path, bytes.error()));
    return decodeLayoutFile(path, *bytes);
}

std::expected<Snapshot, SnapshotStoreError> SnapshotStore::decodeLayoutFile(const QString& path, const QByteArray& bytes)
{
    auto decoded = decodeSnapshotDocument(bytes);
    if (!decoded)
        return Failure(SnapshotStoreError::snapshotDecodeFailed(
            path, PlatformError{decoded.error().localizedDescription(), EILSEQ}));

    const QString fileName = QFileInfo(path).fileName();
    const auto fileID = parseUuidStrict(QStringView(fileName).chopped(
        fileName.endsWith(jsonSuffix) ? jsonSuffix.size() : 0));
    if (!fileID)
        return Failure(SnapshotStoreError::snapshotDecodeFailed(
            path, PlatformError{QStringLiteral("The file isn\u2019t in the correct format."), EILSEQ}));
    if (decoded->schemaVersion != Snapshot::currentSchemaVersion)
        return Failure(SnapshotStoreError::unsupportedSchemaVersion(decoded->schemaVersion));
    if (decoded->id != *fileID)
        return Failure(SnapshotStoreError::snapshotIdentityMismatch(path, *fileID, decoded->id));
    return std::move(*decoded);
}

std::expected<void, SnapshotStoreError> SnapshotStore::save(const Snapshot& snapshot) const
{
    // The folder first: the lock is keyed by the folder's identity and lives inside it.
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const SnapshotFolderLock lock(m_directory);
    if (auto failed = lockFailure(lock))
        return Failure(*failed);
    return saveLocked(snapshot);
}

std::expected<void, SnapshotStoreError> SnapshotStore::saveLocked(const Snapshot& snapshot) const
{
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const auto name = nonEmptyValue(snapshot.name);
    if (!name)
        return Failure(SnapshotStoreError::invalidName());

    Snapshot record = snapshot;
    record.name = *name;
    record.schemaVersion = Snapshot::currentSchemaVersion;

    const QString destination = fileURL(record.id);
    const QString temporary = QDir(m_directory).filePath(
        QStringLiteral("%1-%2%3").arg(uuidText(record.id), uuidText(QUuid::createUuid()), temporarySuffix));

    const auto bytes = encodeSnapshotDocument(record);
    if (!bytes)
        return Failure(SnapshotStoreError::snapshotWriteFailed(
            destination, PlatformError{bytes.error().localizedDescription(), EINVAL}));
    // A file the store would refuse to read must never replace one it can.
    if (bytes->size() > maximumFileSize)
        return Failure(SnapshotStoreError::snapshotWriteFailed(
            destination, PlatformError{QStringLiteral("The layout is larger than %1 bytes").arg(maximumFileSize), EFBIG}));
    if (auto written = m_writer.write(destination, temporary, *bytes); !written)
        return Failure(SnapshotStoreError::snapshotWriteFailed(destination, written.error()));
    return {};
}

std::expected<void, SnapshotStoreError> SnapshotStore::deleteSnapshot(const QUuid& id) const
{
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const SnapshotFolderLock lock(m_directory);
    if (auto failed = lockFailure(lock))
        return Failure(*failed);
    const QString path = fileURL(id);
    if (!pathExists(path))
        return Failure(SnapshotStoreError::notFound(id));
    // unlink, not a recursive removal: a folder that happens to bear a layout's name is not ours
    // to delete.
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return Failure(SnapshotStoreError::snapshotWriteFailed(
            path, PlatformError::fromErrno(errno, QStringLiteral("Cannot remove %1").arg(path))));
    return {};
}

int SnapshotStore::removeStaleTemporaryFiles() const
{
    return removeStaleFiles(m_directory, isTemporaryFileName, m_clock().addSecs(-staleTemporaryFileAgeSeconds));
}

// ---------------------------------------------------------------- edits
// Each edit holds the folder's lock from its load to its save.

std::expected<std::optional<Snapshot>, SnapshotStoreError> SnapshotStore::editSnapshot(const QUuid& id,
                                                                                      const Edit& edit) const
{
    if (auto ready = ensureSnapshotsDirectoryExists(); !ready)
        return Failure(ready.error());
    const SnapshotFolderLock lock(m_directory);
    if (auto failed = lockFailure(lock))
        return Failure(*failed);
    auto snapshot = loadSnapshot(id);
    if (!snapshot)
        return Failure(snapshot.error());
    const auto changed = edit(*snapshot);
    if (!changed)
        return Failure(changed.error());
    if (!*changed)
        return std::nullopt;
    if (auto saved = saveLocked(*snapshot); !saved)
        return Failure(saved.error());
    return std::move(*snapshot);
}

std::expected<Snapshot, SnapshotStoreError> SnapshotStore::modifySnapshot(const QUuid& id,
                                                                          const std::function<void(Snapshot&)>& change) const
{
    auto modified = editSnapshot(id, [&](Snapshot& snapshot) -> std::expected<bool, SnapshotStoreError> {
        change(snapshot);
        return true;
    });
    if (!modified)
        return Failure(modified.error());
    return std::move(**modified);
}

std::expected<void, SnapshotStoreError> SnapshotStore::renameSnapshot(const QUuid& id, const QString& newName,
                                                                      std::optional<QDateTime> now) const
{
    // The name is checked before the layout is looked for.
    const auto name = nonEmptyValue(newName);
    if (!name)
        return Failure(SnapshotStoreError::invalidName());
    auto renamed = editSnapshot(id, [&](Snapshot& snapshot) -> std::expected<bool, SnapshotStoreError> {
        snapshot.name = *name;
        snapshot.updatedAt = resolve(now);
        return true;
    });
    if (!renamed)
        return Failure(renamed.error());
    return {};
}

bool SnapshotStore::isAcceptableHotkeyModifierMask(std::uint32_t modifiers)
{
    constexpr std::uint32_t required = 0x100 | 0x800 | 0x1000; // Command, Option, Control
    constexpr std::uint32_t allowed = required | 0x200;        // ... and Shift
    return (modifiers & required) != 0 && (modifiers & ~allowed) == 0;
}

std::expected<void, SnapshotStoreError> SnapshotStore::setHotkey(const QUuid& id,
                                                                 const std::optional<HotkeyBinding>& hotkey,
                                                                 std::optional<QDateTime> now) const
{
    auto stored = editSnapshot(id, [&](Snapshot& snapshot) -> std::expected<bool, SnapshotStoreError> {
        if (hotkey) {
            if (!isAcceptableHotkeyModifierMask(hotkey->modifiers))
                return Failure(SnapshotStoreError::invalidHotkeyAssignment());
            // Reads only: listing takes no lock, so it is safe while the edit holds it.
            const auto summaries = listSummaries();
            if (!summaries)
                return Failure(summaries.error());
            for (const SnapshotSummary& other : *summaries) {
                if (other.id == id || !other.hotkey)
                    continue;
                if (other.hotkey->keyCode == hotkey->keyCode && other.hotkey->modifiers == hotkey->modifiers)
                    return Failure(SnapshotStoreError::duplicateHotkeyAssignment(other.name));
            }
        }
        snapshot.hotkey = hotkey;
        snapshot.updatedAt = resolve(now);
        return true;
    });
    if (!stored)
        return Failure(stored.error());
    return {};
}

std::expected<qsizetype, SnapshotStoreError> SnapshotStore::removeWindowsWhere(
    const QUuid& snapshotID, const std::function<bool(const WindowRecord&)>& shouldRemove,
    const std::optional<QDateTime>& now) const
{
    qsizetype removed = 0;
    auto edited = editSnapshot(snapshotID, [&](Snapshot& snapshot) -> std::expected<bool, SnapshotStoreError> {
        std::vector<WindowRecord> remaining;
        for (const WindowRecord& window : snapshot.windows)
            if (!shouldRemove(window))
                remaining.push_back(window);
        removed = qsizetype(snapshot.windows.size() - remaining.size());
        if (removed == 0)
            return false;
        if (remaining.empty())
            return Failure(SnapshotStoreError::layoutRequiresWindow());
        snapshot.windows = std::move(remaining);
        snapshot.updatedAt = resolve(now);
        return true;
    });
    if (!edited)
        return Failure(edited.error());
    return removed;
}

std::expected<bool, SnapshotStoreError> SnapshotStore::removeWindow(const QUuid& windowID, const QUuid& snapshotID,
                                                                    std::optional<QDateTime> now) const
{
    const auto removed = removeWindowsWhere(
        snapshotID, [&](const WindowRecord& window) { return window.id == windowID; }, now);
    if (!removed)
        return Failure(removed.error());
    return *removed > 0;
}

std::expected<qsizetype, SnapshotStoreError> SnapshotStore::removeApp(const QString& bundleIdentifier,
                                                                       const QUuid& snapshotID,
                                                                       std::optional<QDateTime> now) const
{
    return removeWindowsWhere(
        snapshotID, [&](const WindowRecord& window) { return window.bundleIdentifier == bundleIdentifier; }, now);
}

std::vector<WindowRecord> SnapshotStore::sortedWindowsForZOrder(std::vector<WindowRecord> windows)
{
    std::stable_sort(windows.begin(), windows.end(), [](const WindowRecord& a, const WindowRecord& b) {
        if (a.zOrderHint.has_value() != b.zOrderHint.has_value())
            return a.zOrderHint.has_value();
        if (a.zOrderHint && *a.zOrderHint != *b.zOrderHint)
            return *a.zOrderHint < *b.zOrderHint;
        return uuidTextLess(a.id, b.id);
    });
    return windows;
}

std::vector<WindowRecord> SnapshotStore::reorderedGlobalWindows(const std::vector<WindowRecord>& windows,
                                                                std::uint32_t displayID,
                                                                const std::vector<WindowRecord>& orderedDisplayWindows)
{
    std::vector<WindowRecord> result = sortedWindowsForZOrder(windows);
    size_t next = 0;
    for (WindowRecord& window : result) {
        if (window.displayID == displayID && next < orderedDisplayWindows.size())
            window = orderedDisplayWindows[next++];
    }
    return result;
}

std::expected<bool, SnapshotStoreError> SnapshotStore::reorderDisplayWindows(const QUuid& snapshotID,
                                                                             std::uint32_t displayID,
                                                                             const std::vector<QUuid>& orderedWindowIDs,
                                                                             std::optional<QDateTime> now) const
{
    auto reordered = editSnapshot(snapshotID, [&](Snapshot& snapshot) -> std::expected<bool, SnapshotStoreError> {
        std::vector<WindowRecord> displayWindows;
        for (const WindowRecord& window : snapshot.windows)
            if (window.displayID == displayID)
                displayWindows.push_back(window);

        QSet<QUuid> displayIDs;
        for (const WindowRecord& window : displayWindows)
            displayIDs.insert(window.id);
        const QSet<QUuid> requestedIDs(orderedWindowIDs.begin(), orderedWindowIDs.end());
        if (orderedWindowIDs.size() != displayWindows.size() || qsizetype(orderedWindowIDs.size()) != requestedIDs.size()
            || requestedIDs != displayIDs)
            return Failure(SnapshotStoreError::invalidWindowOrder());

        const std::vector<WindowRecord> current = sortedWindowsForZOrder(displayWindows);
        if (std::equal(current.begin(), current.end(), orderedWindowIDs.begin(), orderedWindowIDs.end(),
                       [](const WindowRecord& w, const QUuid& id) { return w.id == id; }))
            return false;

        std::vector<WindowRecord> requested;
        for (const QUuid& id : orderedWindowIDs)
            requested.push_back(*std::find_if(displayWindows.begin(), displayWindows.end(),
                                              [&](const WindowRecord& w) { return w.id == id; }));

        QHash<QUuid, std::int64_t> newHints;
        std::int64_t number = 0;
        for (const WindowRecord& window : reorderedGlobalWindows(snapshot.windows, displayID, requested)) {
            if (window.displayID == displayID || window.zOrderHint)
                newHints.insert(window.id, ++number);
        }

        // The stored order of the windows never changes; only their hints do.
        for (WindowRecord& window : snapshot.windows) {
            const auto it = newHints.constFind(window.id);
            window = window.withZOrderHint(it == newHints.cend() ? std::nullopt : std::optional<std::int64_t>(*it));
        }
        snapshot.updatedAt = resolve(now);
        return true;
    });
    if (!reordered)
        return Failure(reordered.error());
    return reordered->has_value();
}

} // namespace zen
