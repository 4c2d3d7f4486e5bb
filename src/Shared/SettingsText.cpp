#include "Shared/SettingsText.h"

#include "Shared/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// Gives every copy of the process a name of its own: QSettings caches what it read by file
// name and answers from that cache while size and time look unchanged, so a name used twice
// could answer with an earlier text of the same length.
std::atomic<quint64> copiesMade {0};

constexpr char scratchPrefix[] = "zentharion-settings-";

QString errnoText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

// Removes the files and links in the open folder (what QSettings leaves beside a copy: its lock
// file, a save cut short); a folder inside, which none of ours makes, stays.
void emptyFolder(int folder)
{
    const int listed = ::dup(folder);
    if (listed < 0)
        return;
    DIR* entries = ::fdopendir(listed);
    if (!entries) {
        ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info {};
        if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// The process that made a scratch folder, from its name "zentharion-settings-<pid>-<n>-XXXXXX";
// 0 for a name of any other form.
pid_t makerOf(const char* name)
{
    const QByteArray text(name);
    if (!text.startsWith(scratchPrefix))
        return 0;
    const QList<QByteArray> parts = text.mid(qsizetype(sizeof scratchPrefix) - 1).split('-');
    bool isPid = false, isNumber = false;
    if (parts.size() != 3 || parts[2].size() != 6)
        return 0;
    const qint64 pid = parts[0].toLongLong(&isPid);
    parts[1].toULongLong(&isNumber);
    return isPid && isNumber && pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? pid_t(pid) : 0;
}

bool isRunning(pid_t pid)
{
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

// A folder of this process's own holding one copy of a settings text, gone with this object
// together with whatever QSettings left beside the copy (its lock file, a save cut short).
class ScratchCopy {
public:
    explicit ScratchCopy(const QString& base)
    {
        const quint64 number = ++copiesMade;
        if (base.isEmpty()) {
            m_error = QStringLiteral("no folder of this user's own is there to make a private copy in");
            return;
        }
        QByteArray pattern = QFile::encodeName(base) + '/' + scratchPrefix + QByteArray::number(::getpid()) + '-'
                             + QByteArray::number(number) + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            m_error = QStringLiteral("no private copy can be made in %1 (%2)").arg(base, errnoText(errno));
            return;
        }
        m_folderPath = pattern;
        // mkdtemp makes it 0700; looked at through the open folder all the same, so that a
        // folder that is not ours is never written in or emptied.
        m_folder = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (m_folder < 0 || ::fstat(m_folder, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700) {
            m_error = QStringLiteral("the private copy's folder %1 is not this user's own").arg(QFile::decodeName(pattern));
            if (m_folder >= 0)
                ::close(m_folder);
            m_folder = -1;
            return;
        }
        m_fileName = QByteArrayLiteral("settings-") + QByteArray::number(number) + QByteArrayLiteral(".conf");
    }

    ~ScratchCopy()
    {
        if (m_folder < 0)
            return;
        emptyFolder(m_folder);
        ::close(m_folder);
        ::rmdir(m_folderPath.constData());
    }

    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;

    const std::optional<QString>& error() const { return m_error; }
    QString filePath() const { return QFile::decodeName(m_folderPath + '/' + m_fileName); }

    bool write(const QByteArray& bytes)
    {
        const int fd = ::openat(m_folder, m_fileName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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

    // What the copy holds now; empty when there is none (QSettings makes no file for no keys).
    std::optional<QByteArray> read()
    {
        const int fd = ::openat(m_folder, m_fileName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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
    bool fail(int error)
    {
        m_error = QStringLiteral("its private copy cannot be used (%1)").arg(errnoText(error));
        return false;
    }

    int m_folder = -1;
    QByteArray m_folderPath;
    QByteArray m_fileName;
    std::optional<QString> m_error;
};

SettingsTextError noCopy(const QString& why)
{
    return {SettingsTextError::Kind::noScratchCopy, QStringLiteral("cannot be read or written: %1").arg(why)};
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
        return std::unexpected(noCopy(QStringLiteral("its private copy cannot be read")));
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

SettingsText::SettingsText(QString scratchBase)
    : m_scratchBase(std::move(scratchBase))
{
}

QString SettingsText::privateFolder()
{
    // Checked here rather than taken from Qt, whose answer for an unsuitable variable is a
    // folder in the temporary folder.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); PrivateFolder::isClosedAllTheWay(runtime))
        return QDir::cleanPath(runtime);
    // Nothing is made where it could not be used: root with another user's HOME would leave
    // folders of root's own in that user's cache, which that user's copies could not use.
    const QString parent = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!PrivateFolder::mayMakeClosed(QDir(parent).filePath(QStringLiteral("zentharion"))))
        return {};
    const QString cache = PrivateFolder::ownFolderIn(parent, QStringLiteral("zentharion"));
    return PrivateFolder::isClosedAllTheWay(cache) ? cache : QString();
}

QString SettingsText::scratchBase() const
{
    return m_scratchBase.isEmpty() ? privateFolder() : m_scratchBase;
}

int SettingsText::removeLeftovers(const QString& folder)
{
    const int parent = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return 0;
    std::vector<QByteArray> stale;
    if (const int listed = ::dup(parent); listed >= 0) {
        if (DIR* entries = ::fdopendir(listed)) {
            while (const dirent* entry = ::readdir(entries)) {
                if (const pid_t maker = makerOf(entry->d_name); maker > 0 && !isRunning(maker))
                    stale.emplace_back(entry->d_name);
            }
            ::closedir(entries);
        } else {
            ::close(listed);
        }
    }
    int removed = 0;
    for (const QByteArray& name : stale) {
        // Only a folder of this user's own, never one a link leads to.
        const int folderFd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folderFd < 0)
            continue;
        struct stat info {};
        const bool ours = ::fstat(folderFd, &info) == 0 && info.st_uid == ::geteuid();
        if (ours)
            emptyFolder(folderFd);
        ::close(folderFd);
        if (ours && ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    ::close(parent);
    return removed;
}

std::expected<QVariantMap, SettingsTextError> SettingsText::decode(const QByteArray& text) const
{
    if (text.isEmpty())
        return QVariantMap();
    ScratchCopy copy(scratchBase());
    if (copy.error() || !copy.write(text))
        return std::unexpected(noCopy(*copy.error()));
    const QSettings settings(copy.filePath(), QSettings::IniFormat);
    return valuesOf(settings, text);
}

std::expected<SettingsText::Edited, SettingsTextError> SettingsText::edit(const QByteArray& text,
                                                                          const SettingsChanges& changes) const
{
    ScratchCopy copy(scratchBase());
    if (copy.error() || (!text.isEmpty() && !copy.write(text)))
        return std::unexpected(noCopy(*copy.error()));
    Edited edited;
    {
        QSettings settings(copy.filePath(), QSettings::IniFormat);
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
            return std::unexpected(noCopy(QStringLiteral("its private copy cannot be written")));
    }
    auto bytes = copy.read();
    if (!bytes)
        return std::unexpected(noCopy(*copy.error()));
    // QSettings reports no error where its write of the copy was cut short (a file size limit,
    // a folder that filled): the text is read once more to be sure it holds every change.
    const auto written = decode(*bytes);
    if (!written || !holdsChanges(*written, edited.values, changes))
        return std::unexpected(noCopy(QStringLiteral("its private copy was not written whole")));
    edited.text = std::move(*bytes);
    return edited;
}

} // namespace zen
