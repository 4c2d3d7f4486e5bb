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

// Reads a whole file that must be a regular file of at most `maxBytes` bytes. A named pipe,
// a device or a folder is refused without blocking, and an oversized file without reading it,
// so a stray entry in a data folder can neither hang the program nor exhaust its memory.
std::expected<QByteArray, PlatformError> readRegularFile(const QString& path, qint64 maxBytes);

} // namespace zen
