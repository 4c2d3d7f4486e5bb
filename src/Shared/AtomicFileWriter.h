#pragma once

#include "Shared/UserFacingError.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <functional>
#include <optional>

namespace zen {

// Replaces a file's contents so that a reader (or a crash) sees either the old file whole or
// the new file whole: the bytes go to a temporary file in the same folder, are flushed to the
// disk, and the temporary file is renamed over the target. On any failure the temporary file
// is removed and the target is left byte for byte as it was.
class AtomicFileWriter {
public:
    enum class Step { Create, Write, Sync, Rename, SyncDirectory };

    // Called before each step; returning an error makes that step fail as if the system had
    // refused it (tests use it to stand for a full disk or a read-only folder).
    using FaultInjector = std::function<std::optional<PlatformError>(Step)>;

    AtomicFileWriter() = default;
    explicit AtomicFileWriter(FaultInjector faults) : m_faults(std::move(faults)) {}

    // `temporaryPath` must lie in the target's folder (rename only replaces atomically
    // within one file system); it must not exist yet. New files are readable by the user only.
    std::expected<void, PlatformError> write(const QString& targetPath,
                                             const QString& temporaryPath,
                                             const QByteArray& bytes) const;

private:
    std::optional<PlatformError> injected(Step step) const;

    FaultInjector m_faults;
};

// Whether reading may go through a symbolic link: never for files of the program's own
// folders; for a file the user may keep as a link (an autostart entry), to a regular file.
enum class LinkPolicy { refuse, followToRegularFile };

// A regular file open for reading, closed when destroyed. Opening refuses a symbolic link
// (even one to a regular file, unless the policy follows it) and anything but a regular file
// before a byte is read, so nothing we read can be redirected to a device or a named pipe,
// and opening never waits.
class RegularFileReader {
public:
    static std::expected<RegularFileReader, PlatformError> open(const QString& path,
                                                                LinkPolicy links = LinkPolicy::refuse);
    RegularFileReader(RegularFileReader&& other) noexcept;
    RegularFileReader& operator=(RegularFileReader&&) = delete;
    ~RegularFileReader();

    // The size when it was opened.
    qint64 size() const { return m_size; }
    // Up to `length` bytes from `offset`; fewer only at the end of the file.
    std::expected<qint64, PlatformError> readAt(qint64 offset, char* buffer, qint64 length) const;

private:
    RegularFileReader() = default;
    int m_fd = -1;
    qint64 m_size = 0;
    QString m_path;
};

// Reads a whole file that must be a regular file (not a link) of at most `maxBytes` bytes. A
// link, a named pipe, a device or a folder is refused without blocking, and an oversized file
// without reading it, so a stray entry in a data folder can neither hang the program, exhaust
// its memory, nor make it read (and pass on) a file elsewhere. `spareCapacity` bytes are
// allocated past the end for parsers that read ahead.
std::expected<QByteArray, PlatformError> readRegularFile(const QString& path, qint64 maxBytes, qsizetype spareCapacity = 0,
                                                         LinkPolicy links = LinkPolicy::refuse);

// Whether the path itself is a regular file (a link to one is not).
bool isRegularFileNotLink(const QString& path);

} // namespace zen
