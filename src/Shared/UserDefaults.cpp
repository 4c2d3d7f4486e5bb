#include "Shared/UserDefaults.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>
#include <pwd.h>
#include <sys/mman.h>
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

// The home folder links may lead into: $HOME when it names one, else the account's own from
// the password database (a service or `env -i` runs without HOME, and Qt then answers "/").
// Empty when there is none: then no link is followed.
QString accountHomeFolder()
{
    if (const QString home = qEnvironmentVariable("HOME"); usableHome(home))
        return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        if (const QString home = QFile::decodeName(found->pw_dir); usableHome(home))
            return home;
    return {};
}

// The text is QSettings' IniFormat. QSettings reads it from an anonymous file in memory, so it
// never opens the user's file to read it (a pipe swapped in cannot block it) and nothing is made
// on disk that a program ended by a signal would leave behind.
std::optional<QVariantMap> decodeIni(const QByteArray& bytes)
{
    QVariantMap values;
    if (bytes.isEmpty())
        return values;
    const int fd = ::memfd_create("settings", MFD_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    if (done == bytes.size()) {
        // A settings object that changes nothing reads the file afresh each time, so a later
        // text under the same descriptor number is never answered from Qt's cache.
        const QSettings settings(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::IniFormat);
        for (const QString& key : settings.allKeys())
            values.insert(key, settings.value(key));
    }
    ::close(fd);
    if (done != bytes.size())
        return std::nullopt;
    return values;
}

} // namespace

UserDefaults::UserDefaults(const QString& iniFilePath, const QString& homeFolder)
    : m_path(iniFilePath)
    , m_home(homeFolder.isEmpty() ? accountHomeFolder() : homeFolder)
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

std::expected<QVariantMap, QString> UserDefaults::readFile(const QString& target) const
{
    // Not there yet: nothing stored.
    struct stat entry {};
    if (::lstat(QFile::encodeName(target).constData(), &entry) != 0 && errno == ENOENT)
        return QVariantMap();
    auto bytes = readRegularFile(target, maximumFileSize);
    if (!bytes) {
        if (bytes.error().code == EFBIG)
            return std::unexpected(
                QStringLiteral("is larger than %1 bytes; it is left as it is and the defaults are used").arg(maximumFileSize));
        return std::unexpected(QStringLiteral("cannot be read (%1)").arg(bytes.error().localizedDescription()));
    }
    auto values = decodeIni(*bytes);
    if (!values)
        return std::unexpected(QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(::strerror(errno))));
    return std::move(*values);
}

void UserDefaults::load()
{
    QMutexLocker lock(&m_mutex);
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    auto values = readFile(*target);
    if (!values) {
        stopSaving(values.error());
        return;
    }
    m_values = std::move(*values);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value)
{
    const auto apply = [&](QVariantMap& values) {
        if (value)
            values.insert(key, *value);
        else
            values.remove(key);
    };
    apply(m_values);
    if (m_notSaved)
        return;

    // Looked at again before each write: the file may have been replaced by a link since.
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    auto current = readFile(*target);
    if (!current) {
        stopSaving(current.error());
        return;
    }
    apply(*current);
    // QSettings writes the checked file itself (the one a link leads to, never the link): it
    // keeps the text as earlier versions wrote it and replaces the file atomically.
    auto written = createDirectories(QFileInfo(*target).absolutePath());
    if (written) {
        QSettings settings(*target, QSettings::IniFormat);
        if (value)
            settings.setValue(key, *value);
        else
            settings.remove(key);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            written = std::unexpected(PlatformError{QStringLiteral("the file cannot be written"), EIO});
    }
    if (!written) {
        // A full disk or a read-only folder: the change holds for the session; said once per cause.
        const QString why = written.error().localizedDescription();
        if (m_lastWriteFailure != why)
            qCWarning(settingsLog, "Settings could not be saved to %s: %s", qUtf8Printable(*target), qUtf8Printable(why));
        m_lastWriteFailure = why;
        return;
    }
    m_lastWriteFailure.reset();
    m_values = std::move(*current);
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
