#include "Shared/Directories.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace zen {

namespace {

bool isDirectory(const QByteArray& path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::expected<void, PlatformError> createDirectories(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    // Walk down from the root so that the first failing component is the one reported.
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = clean.indexOf(u'/', from);
        const QString prefix = slash < 0 ? clean : clean.left(slash);
        const QByteArray native = QFile::encodeName(prefix);
        if (!prefix.isEmpty() && ::mkdir(native.constData(), 0700) != 0) {
            const int err = errno;
            if (err != EEXIST || !isDirectory(native))
                return std::unexpected(PlatformError::fromErrno(
                    err == EEXIST ? ENOTDIR : err, QStringLiteral("Cannot create folder %1").arg(prefix)));
        }
        if (slash < 0)
            return {};
        from = slash + 1;
    }
}

} // namespace zen
