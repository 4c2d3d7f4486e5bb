#include "Shared/UserDefaults.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"
#include "Shared/LockFileEntry.h"
#include "Shared/Uuid.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

Q_LOGGING_CATEGORY(settingsLog, "com.zentharion.app.app", QtWarningMsg)

// "/" holds every file: a home folder that is the root is no limit at all.
bool isInside(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && folder != QLatin1String("/") && path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

bool usableHome(const QString& path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) != QLatin1String("/");
}

QString passwordDatabaseHome()
{
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return QFile::decodeName(found->pw_dir);
    return {};
}

// The home folder links may lead into: $HOME when it names one, else the account's own from
// the password database (a service or `env -i` runs without HOME, and Qt then answers "/").
// Empty when there is none: then no link is followed.
QString accountHomeFolder(const std::function<QString()>& passwordHome)
{
    if (const QString home = qEnvironmentVariable("HOME"); usableHome(home))
        return home;
    if (const QString home = passwordHome ? passwordHome() : passwordDatabaseHome(); usableHome(home))
        return home;
    return {};
}

// Held while the file is read, changed and replaced, so that two copies of the program never
// write over each other's change. flock on a file of its own, removed by its holder before it
// lets go, so that the folder keeps no file of ours but the settings (and no lock file that
// QSettings' own locking in an earlier version would wait on): whoever finds the file it
// locked gone from the name takes the one that stands there now.
class FileLock {
public:
    FileLock(const QString& folderPath, const QString& name, QDeadlineTimer deadline)
        : m_name(QFile::encodeName(name))
    {
        // The folder may be reached through a link (a dotfile manager's): only the file
        // itself is never followed.
        m_folder = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_folder < 0) {
            m_error = errno;
            return;
        }
        for (;;) {
            const auto opened = openLockFileEntry(m_folder, m_name.constData(), deadline);
            if (!opened) {
                m_error = opened.error();
                return;
            }
            if (const int locked = lockExclusivelyBefore(*opened, deadline); locked != 0) {
                ::close(*opened);
                m_error = locked;
                return;
            }
            struct stat held {}, named {};
            if (::fstat(*opened, &held) == 0 && ::fstatat(m_folder, m_name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
                && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                m_fd = *opened;
                return;
            }
            ::close(*opened);
            if (deadline.hasExpired()) {
                m_error = EWOULDBLOCK;
                return;
            }
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0) {
            ::unlinkat(m_folder, m_name.constData(), 0);
            ::close(m_fd);
        }
        if (m_folder >= 0)
            ::close(m_folder);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Why it is not held, as the end of a sentence; absent when held, or when the folder
    // cannot be written at all (the write then fails and says so itself).
    std::optional<QString> problem() const
    {
        if (m_fd >= 0 || m_error == EACCES || m_error == EROFS || m_error == EPERM)
            return std::nullopt;
        if (m_error == EWOULDBLOCK || m_error == EBUSY)
            return QStringLiteral("is held by another program");
        if (m_error == ENOTEMPTY)
            return QStringLiteral("is a folder with contents");
        return QStringLiteral("cannot be used (%1)").arg(QString::fromLocal8Bit(::strerror(m_error)));
    }

private:
    QByteArray m_name;
    int m_folder = -1;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

UserDefaults::UserDefaults(const QString& iniFilePath, const QString& homeFolder, Environment environment)
    : m_path(iniFilePath)
    , m_home(homeFolder.isEmpty() ? accountHomeFolder(environment.passwordDatabaseHome) : homeFolder)
    , m_text(environment.scratchFolder)
{
    load();
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Zentharion/Zentharion.conf"));
    return instance;
}

std::expected<QString, QString> UserDefaults::writableTarget(const QString& path, const QString& homeFolder)
{
    struct stat entry {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0) {
        if (errno == ENOENT)
            return path; // created on the first change
        return std::unexpected(QStringLiteral("cannot be inspected (%1)").arg(QString::fromLocal8Bit(::strerror(errno))));
    }
    if (S_ISREG(entry.st_mode))
        return path;
    if (!S_ISLNK(entry.st_mode))
        return std::unexpected(QStringLiteral("is not a regular file"));

    const QString target = QFileInfo(path).canonicalFilePath();
    struct stat resolved {};
    if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &resolved) != 0 || !S_ISREG(resolved.st_mode))
        return std::unexpected(QStringLiteral("is a link to something other than a regular file"));
    if (resolved.st_uid != ::geteuid())
        return std::unexpected(QStringLiteral("is a link to a file owned by another user"));
    // As root every file is one's own: the home folder is what keeps a link from reaching
    // the system's files.
    if (!isInside(target, QFileInfo(homeFolder).canonicalFilePath()))
        return std::unexpected(QStringLiteral("is a link to a file outside your home folder"));
    return target;
}

void UserDefaults::stopSaving(const QString& why)
{
    if (m_notSaved)
        return;
    m_notSaved = QStringLiteral("Settings are kept for this session only: %1 %2.").arg(m_path, why);
    qCWarning(settingsLog, "%s", qUtf8Printable(*m_notSaved));
}

void UserDefaults::writeFailed(const QString& target, const QString& why)
{
    if (m_lastWriteFailure != why)
        qCWarning(settingsLog, "Settings could not be saved to %s: %s", qUtf8Printable(target), qUtf8Printable(why));
    m_lastWriteFailure = why;
}

std::expected<QByteArray, QString> UserDefaults::readText(const QString& target) const
{
    // Not there yet: nothing stored.
    struct stat entry {};
    if (::lstat(QFile::encodeName(target).constData(), &entry) != 0 && errno == ENOENT)
        return QByteArray();
    auto bytes = readRegularFile(target, maximumFileSize);
    if (!bytes) {
        if (bytes.error().code == EFBIG)
            return std::unexpected(
                QStringLiteral("is larger than %1 bytes; it is left as it is and the defaults are used").arg(maximumFileSize));
        return std::unexpected(QStringLiteral("cannot be read (%1)").arg(bytes.error().localizedDescription()));
    }
    return std::move(*bytes);
}

void UserDefaults::load()
{
    QMutexLocker lock(&m_mutex);
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    const auto bytes = readText(*target);
    if (!bytes) {
        stopSaving(bytes.error());
        return;
    }
    auto values = m_text.decode(*bytes);
    if (!values) {
        stopSaving(values.error().why + QStringLiteral("; it is left as it is and the defaults are used"));
        return;
    }
    m_values = std::move(*values);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value)
{
    if (value)
        m_values.insert(key, *value);
    else
        m_values.remove(key);
    m_unsaved[key] = value;
    if (m_notSaved)
        return;

    // Looked at again before each write: the file may have been replaced by a link since.
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    const QFileInfo targetInfo(*target);
    const QString folder = targetInfo.absolutePath();
    if (auto made = createDirectories(folder); !made) {
        writeFailed(*target, made.error().localizedDescription());
        return;
    }
    // Waiting longer would freeze the program; the rename below keeps the file whole either
    // way, and at worst another copy's change made in the same instant is lost, where giving
    // up would lose this one for certain (a folder under the lock's name would stop every
    // change for good).
    const FileLock fileLock(folder, targetInfo.fileName() + QStringLiteral(".lock"), QDeadlineTimer(lockWaitMs));
    if (const auto problem = fileLock.problem(); problem != m_lastLockProblem) {
        if (problem)
            qCWarning(settingsLog, "Settings were saved without waiting longer for %s.lock, which %s",
                      qUtf8Printable(*target), qUtf8Printable(*problem));
        m_lastLockProblem = problem;
    }

    // What the file holds now, so that another copy's changes to other keys are kept.
    const auto current = readText(*target);
    if (!current) {
        stopSaving(current.error());
        return;
    }
    const auto edited = m_text.edit(*current, m_unsaved);
    if (!edited) {
        if (edited.error().kind == SettingsTextError::Kind::unreadable)
            stopSaving(edited.error().why + QStringLiteral("; it is left as it is"));
        else
            writeFailed(*target, edited.error().why);
        return;
    }
    // The next start would refuse a file past the limit and lose every setting.
    if (edited->text.size() > maximumFileSize) {
        stopSaving(QStringLiteral("would grow to %1 bytes with this change, past the %2 bytes read at start; it is left as it is")
                       .arg(edited->text.size())
                       .arg(maximumFileSize));
        return;
    }
    if (!edited->text.isEmpty() || !current->isEmpty()) {
        const QString temporary = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp").arg(targetInfo.fileName(), uuidText(QUuid::createUuid())));
        if (auto written = AtomicFileWriter().write(*target, temporary, edited->text); !written) {
            // A full disk or a read-only folder: the change holds for the session.
            writeFailed(*target, written.error().localizedDescription());
            return;
        }
    }
    m_lastWriteFailure.reset();
    m_unsaved.clear();
    m_values = edited->values;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

std::optional<QVariant> UserDefaults::object(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    if (const auto it = m_values.constFind(key); it != m_values.cend())
        return *it;
    const auto it = m_registered.constFind(key);
    if (it != m_registered.cend())
        return *it;
    return std::nullopt;
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const auto value = object(key);
    if (!value)
        return false;
    // The INI format gives every value back as text, so "true"/"false" arrive as strings.
    if (value->typeId() == QMetaType::Bool)
        return value->toBool();
    const QString text = value->toString().trimmed().toLower();
    return text == u"true" || text == u"yes" || text == u"1";
}

std::optional<QString> UserDefaults::stringForKey(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->canConvert<QString>())
        return std::nullopt;
    return value->toString();
}

void UserDefaults::setBool(const QString& key, bool value)
{
    QMutexLocker lock(&m_mutex);
    store(key, QVariant(value));
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    QMutexLocker lock(&m_mutex);
    store(key, QVariant(value));
}

void UserDefaults::removeObject(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    store(key, std::nullopt);
}

QString UserDefaults::fileName() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

std::optional<QString> UserDefaults::notSavedReason() const
{
    QMutexLocker lock(&m_mutex);
    return m_notSaved;
}

} // namespace zen
