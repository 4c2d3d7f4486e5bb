#include "Shared/AtomicFileWriter.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <utility>
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

RegularFileReader::~RegularFileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

RegularFileReader::RegularFileReader(RegularFileReader&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size), m_path(std::move(other.m_path))
{
}

std::expected<RegularFileReader, PlatformError> RegularFileReader::open(const QString& path, LinkPolicy links)
{
    const QByteArray native = nativePath(path);
    const bool follow = links == LinkPolicy::followToRegularFile;
    // Looked at before opening: opening a device can itself do something (rewind a tape,
    // wait for a modem), and a link may point anywhere, /etc/passwd included.
    struct stat before {};
    if ((follow ? ::stat(native.constData(), &before) : ::lstat(native.constData(), &before)) != 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot open"), path));
    if (S_ISLNK(before.st_mode))
        return std::unexpected(PlatformError{QStringLiteral("%1 is a symbolic link").arg(path), ELOOP});
    if (!S_ISREG(before.st_mode))
        return std::unexpected(PlatformError{QStringLiteral("%1 is not a regular file").arg(path), EINVAL});

    // O_NOFOLLOW and O_NONBLOCK: the entry may have been swapped for a link or a named pipe
    // since it was looked at; the open then fails or returns at once rather than waiting
    // for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | (follow ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot open"), path));
    RegularFileReader file;
    file.m_fd = fd;
    file.m_path = path;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::unexpected(errnoError(errno, QStringLiteral("Cannot inspect"), path));
    if (!S_ISREG(info.st_mode) || info.st_dev != before.st_dev || info.st_ino != before.st_ino)
        return std::unexpected(PlatformError{QStringLiteral("%1 is not a regular file").arg(path), EINVAL});
    file.m_size = info.st_size;
    return file;
}

std::expected<qint64, PlatformError> RegularFileReader::readAt(qint64 offset, char* buffer, qint64 length) const
{
    qint64 filled = 0;
    while (filled < length) {
        const ssize_t n = ::pread(m_fd, buffer + filled, size_t(length - filled), off_t(offset + filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(errnoError(errno, QStringLiteral("Cannot read"), m_path));
        }
        if (n == 0)
            break;
        filled += n;
    }
    return filled;
}

std::expected<QByteArray, PlatformError> readRegularFile(const QString& path, qint64 maxBytes, qsizetype spareCapacity,
                                                         LinkPolicy links)
{
    auto file = RegularFileReader::open(path, links);
    if (!file)
        return std::unexpected(file.error());
    if (file->size() > maxBytes)
        return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});

    // The file may grow while we read: never take more than the cap.
    QByteArray data;
    data.reserve(qsizetype(file->size()) + spareCapacity);
    data.resize(qsizetype(file->size()));
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size()) {
            // Most files end where their size said: one byte read into the stack tells, where
            // growing the buffer to look copied the whole file once more.
            char probe = 0;
            const auto more = file->readAt(filled, &probe, 1);
            if (!more)
                return std::unexpected(more.error());
            if (*more == 0)
                break;
            if (filled > maxBytes)
                return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
            data.resize(qsizetype(std::min<qint64>(maxBytes + 1, filled + 4096)));
            if (filled == data.size())
                return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
            data[filled++] = probe;
            continue;
        }
        const auto n = file->readAt(filled, data.data() + filled, data.size() - filled);
        if (!n)
            return std::unexpected(n.error());
        if (*n == 0)
            break;
        filled += *n;
    }
    if (filled > maxBytes)
        return std::unexpected(PlatformError{QStringLiteral("%1 is larger than %2 bytes").arg(path, QString::number(maxBytes)), EFBIG});
    data.resize(filled);
    return data;
}

bool isRegularFileNotLink(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace zen
