#include "Shared/SettingsText.h"

#include <QFile>
#include <QSettings>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// How often a read starts again with a new copy when a sweep of another copy of the program
// took its copy before it was held.
constexpr int readAttempts = 3;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

QByteArray copyPrefix(const QString& fileName)
{
    return '.' + QFile::encodeName(fileName) + ".copy-";
}

// Removes the files, links and pipes in the open folder (what QSettings leaves beside a copy:
// its lock file, a save cut short); a folder inside, which none of ours makes, stays.
void emptyFolder(int folder)
{
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return;
    DIR* entries = ::fdopendir(listed);
    if (!entries) {
        ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info {};
        if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// One copy of a settings text beside the settings file: a folder of this call's own (0700, so
// that nobody else can put an entry in it, even where others may write in the settings folder)
// holding the copy, which QSettings reaches through the copy folder's own descriptor. Gone with
// this object together with what QSettings left in it.
class ScratchCopy {
public:
    ScratchCopy(int folder, const QString& fileName)
        : m_folder(folder)
    {
        // A folder another user took from under its name (where others may rename entries in
        // the settings folder) is left to them, and another is made, a few times at most.
        for (int attempt = 0; attempt < readAttempts && !make(copyPrefix(fileName)); ++attempt) {}
    }

    ~ScratchCopy()
    {
        if (m_fd >= 0) {
            emptyFolder(m_fd);
            ::close(m_fd);
        }
        if (m_made)
            ::unlinkat(m_folder, m_name.constData(), AT_REMOVEDIR);
    }

    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;

    const std::optional<QString>& error() const { return m_error; }
    int errorNumber() const { return m_errno; }
    const QString& path() const { return m_path; }

    bool write(const QByteArray& bytes)
    {
        const int fd = ::openat(m_fd, m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return fail(errno);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : EIO;
                ::close(fd);
                return fail(error);
            }
            done += n;
        }
        if (::close(fd) != 0)
            return fail(errno);
        return true;
    }

    // Whether the copy's folder is still there: a sweep that took it before it was held leaves
    // QSettings reading nothing.
    bool stillThere() const
    {
        struct stat info {};
        return ::fstat(m_fd, &info) == 0 && info.st_nlink > 0;
    }

    // What the copy holds now (QSettings replaced it by renaming); empty when there is none.
    std::optional<QByteArray> read()
    {
        const int fd = ::openat(m_fd, m_name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT)
                return QByteArray();
            fail(errno);
            return std::nullopt;
        }
        QByteArray bytes;
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                fail(errno);
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0)
                break;
            bytes.append(buffer, n);
        }
        ::close(fd);
        return bytes;
    }

private:
    // Makes the copy's folder; false where it was lost between being made and being held.
    bool make(const QByteArray& prefix)
    {
        m_name = prefix + QUuid::createUuid().toByteArray(QUuid::Id128);
        m_error.reset();
        if (::mkdirat(m_folder, m_name.constData(), 0700) != 0)
            return !fail(errno); // nothing was made: trying again would not help
        m_fd = ::openat(m_folder, m_name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        // Another user who may rename entries in the settings folder could have put something
        // of theirs under the name; one that holds it now, or took it before it was held, is a
        // sweep removing it.
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0
            || ::flock(m_fd, LOCK_SH | LOCK_NB) != 0 || ::fstat(m_fd, &info) != 0 || info.st_nlink == 0) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = -1;
            return fail(EAGAIN);
        }
        m_made = true;
        // The copy is named as its folder: QSettings keeps what it read by path, and the
        // descriptor's number is given again to later calls.
        m_path = QStringLiteral("/proc/self/fd/%1/").arg(m_fd) + QFile::decodeName(m_name);
        // QSettings must reach this very folder by that way; without /proc it would read nothing.
        struct stat reached {};
        if (::stat(QFile::encodeName(QStringLiteral("/proc/self/fd/%1").arg(m_fd)).constData(), &reached) != 0
            || reached.st_dev != info.st_dev || reached.st_ino != info.st_ino) {
            m_error = QStringLiteral("its private copy cannot be reached through /proc/self/fd");
            m_errno = ENOENT;
        }
        return true;
    }

    bool fail(int error)
    {
        m_errno = error;
        m_error = QStringLiteral("its private copy cannot be made beside it (%1)").arg(errnoText(error));
        return false;
    }

    int m_folder;
    QByteArray m_name;
    int m_fd = -1;
    bool m_made = false;
    QString m_path;
    std::optional<QString> m_error;
    int m_errno = 0;
};

SettingsTextError noCopy(const QString& why, int error)
{
    return {SettingsTextError::Kind::noScratchCopy, QStringLiteral("cannot be read or written: %1").arg(why), error};
}

// The values QSettings reads from the copy it was opened on, or why the text is none of its.
std::expected<QVariantMap, SettingsTextError> valuesOf(const QSettings& settings, const QByteArray& text)
{
    // Looked at once every value is read: QSettings parses a section's lines only when it is
    // first asked for one of its keys, and finds a format error there.
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    if (settings.status() == QSettings::FormatError)
        return std::unexpected(SettingsTextError {
            SettingsTextError::Kind::unreadable, QStringLiteral("is not in the settings format (it cannot be read)")});
    if (settings.status() != QSettings::NoError)
        return std::unexpected(noCopy(QStringLiteral("its private copy cannot be read"), EIO));
    // Text without a single setting is no file of ours: taking it as "nothing stored" would
    // answer every setting, the first launch's among them, with its default unsaid.
    if (values.isEmpty() && !text.trimmed().isEmpty())
        return std::unexpected(SettingsTextError {
            SettingsTextError::Kind::unreadable, QStringLiteral("holds no setting that can be read")});
    return values;
}

// Whether `written` has the keys of `expected`, and each changed key with its new value.
bool holdsChanges(const QVariantMap& written, const QVariantMap& expected, const SettingsChanges& changes)
{
    if (written.keys() != expected.keys())
        return false;
    return std::ranges::all_of(changes, [&written](const auto& change) {
        const auto& [key, value] = change;
        return !value || written.value(key).toString() == value->toString();
    });
}

} // namespace

SettingsText::SettingsText(int folder, QString fileName)
    : m_folder(folder)
    , m_fileName(std::move(fileName))
{
}

int SettingsText::removeLeftovers(int folder, const QString& fileName)
{
    const QByteArray prefix = copyPrefix(fileName);
    std::vector<QByteArray> names;
    // Listed through a descriptor of its own: the one given may be O_PATH.
    if (const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); listed >= 0) {
        if (DIR* entries = ::fdopendir(listed)) {
            while (const dirent* entry = ::readdir(entries)) {
                if (QByteArray(entry->d_name).startsWith(prefix))
                    names.emplace_back(entry->d_name);
            }
            ::closedir(entries);
        } else {
            ::close(listed);
        }
    }
    int removed = 0;
    for (const QByteArray& name : names) {
        struct stat info {};
        if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(info.st_mode)) {
            // Nothing of ours is a file here: whatever stands under such a name was put there,
            // and goes without being opened.
            removed += ::unlinkat(folder, name.constData(), 0) == 0;
            continue;
        }
        // A copy's folder a live call holds stays; one of another user's is not emptied; a link
        // swapped in meanwhile is not followed.
        const int copy = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (copy < 0)
            continue;
        if (::fstat(copy, &info) == 0 && info.st_uid == ::geteuid() && ::flock(copy, LOCK_EX | LOCK_NB) == 0) {
            emptyFolder(copy);
            removed += ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0;
        }
        ::close(copy);
    }
    return removed;
}

std::expected<QVariantMap, SettingsTextError> SettingsText::decode(const QByteArray& text) const
{
    if (text.isEmpty())
        return QVariantMap();
    for (int attempt = 1;; ++attempt) {
        ScratchCopy copy(m_folder, m_fileName);
        const bool swept = copy.errorNumber() == EAGAIN;
        if (!swept && (copy.error() || !copy.write(text)))
            return std::unexpected(noCopy(*copy.error(), copy.errorNumber()));
        if (!swept) {
            const QSettings settings(copy.path(), QSettings::IniFormat);
            auto values = valuesOf(settings, text);
            if (copy.stillThere())
                return values;
        }
        if (attempt == readAttempts)
            return std::unexpected(noCopy(QStringLiteral("its private copy was removed while it was read"), EAGAIN));
    }
}

std::expected<SettingsText::Edited, SettingsTextError> SettingsText::edit(const QByteArray& text,
                                                                          const SettingsChanges& changes) const
{
    ScratchCopy copy(m_folder, m_fileName);
    if (copy.error() || (!text.isEmpty() && !copy.write(text)))
        return std::unexpected(noCopy(*copy.error(), copy.errorNumber()));
    Edited edited;
    {
        QSettings settings(copy.path(), QSettings::IniFormat);
        auto values = valuesOf(settings, text);
        if (!values)
            return std::unexpected(values.error());
        edited.before = *values;
        edited.values = std::move(*values);
        for (const auto& [key, value] : changes) {
            if (value) {
                settings.setValue(key, *value);
                edited.values.insert(key, *value);
            } else {
                settings.remove(key);
                edited.values.remove(key);
            }
        }
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return std::unexpected(noCopy(QStringLiteral("its private copy cannot be written"), EIO));
    }
    auto bytes = copy.read();
    if (!bytes)
        return std::unexpected(noCopy(*copy.error(), copy.errorNumber()));
    // QSettings reports no error where its write of the copy was cut short (a file size limit,
    // a folder that filled): the text is read once more to be sure it holds every change.
    const auto written = decode(*bytes);
    if (!written || !holdsChanges(*written, edited.values, changes))
        return std::unexpected(noCopy(QStringLiteral("its private copy was not written whole"), written ? EIO : written.error().error));
    edited.text = std::move(*bytes);
    return edited;
}

} // namespace zen
