#include "Shared/AtomicFileWriter.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

PlatformError errnoError(int err, const QString& what, const QString& path)
{
    return PlatformError::fromErrno(err, QStringLiteral("%1 %2").arg(what, path));
}

} // namespace

std::optional<PlatformError> AtomicFileWriter::injected(Step step) const
{
    if (!m_faults)
        return std::nullopt;
    return m_faults(step);
}

std::expected<void, PlatformError> AtomicFileWriter::write(const QString& targetPath,
                                                           const QString& temporaryPath,
                                                           const QByteArray& bytes) const
{
    const QByteArray temp = nativePath(temporaryPath);
    const QByteArray target = nativePath(targetPath);

    if (auto fault = injected(Step::Create))
        return std::unexpected(*fault);
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot create"), temporaryPath));

    auto failAndRemove = [&](PlatformError error) -> std::expected<void, PlatformError> {
        ::unlink(temp.constData());
        return std::unexpected(std::move(error));
    };
    auto closeFailAndRemove = [&](PlatformError error) {
        ::close(fd);
        return failAndRemove(std::move(error));
    };

    if (auto fault = injected(Step::Write))
        return closeFailAndRemove(*fault);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return closeFailAndRemove(errnoError(errno, QStringLiteral("Cannot write"), temporaryPath));
        }
        written += n;
    }

    if (auto fault = injected(Step::Sync))
        return closeFailAndRemove(*fault);
    // Without the flush a crash after the rename can leave an empty file under the target's
    // name on file systems that delay allocation.
    if (::fsync(fd) != 0)
        return closeFailAndRemove(errnoError(errno, QStringLiteral("Cannot flush"), temporaryPath));
    // close() can report a deferred write error (NFS, quota); it must not pass as success.
    if (::close(fd) != 0)
        return failAndRemove(errnoError(errno, QStringLiteral("Cannot close"), temporaryPath));

    if (auto fault = injected(Step::Rename))
        return failAndRemove(*fault);
    if (::rename(temp.constData(), target.constData()) != 0)
        return failAndRemove(errnoError(errno, QStringLiteral("Cannot replace"), targetPath));

    // The new name is durable only once the folder itself is flushed. The file is in place
    // by now, so a failure here is not reported: the write did happen.
    if (!injected(Step::SyncDirectory)) {
        const QByteArray folder = nativePath(QFileInfo(targetPath).absolutePath());
        const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return {};
}

std::expected<QByteArray, PlatformError> readRegularFile(const QString& path, qint64 maxBytes)
{
    const QByteArray native = nativePath(path);
    // O_NONBLOCK: opening a named pipe for reading would otherwise wait for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot open"), path));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot inspect"), path));
    if (!S_ISREG(info.st_mode))
        return std::unexpected(PlatformError{QStringLiteral("%1 is not a regular file").arg(path), EINVAL});
    if (info.st_size > maxBytes)
        return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});

    // The file may grow while we read: never take more than the cap.
    QByteArray data;
    data.resize(qsizetype(info.st_size));
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size()) {
            if (filled > maxBytes)
                return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
            data.resize(qsizetype(std::min<qint64>(maxBytes + 1, filled + 4096)));
            if (filled == data.size())
                return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
        }
        const ssize_t n = ::read(fd, data.data() + filled, size_t(data.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(errnoError(errno, QStringLiteral("Cannot read"), path));
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > maxBytes)
        return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
    data.resize(filled);
    return data;
}

} // namespace zen
