#include "Shared/UserDefaults.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"
#include "Shared/LockFileEntry.h"
#include "Shared/SettingsText.h"
#include "Shared/Uuid.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTimer>
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
// write over each other's change: an flock on the folder's own descriptor. No entry under any
// name can stand in for the folder, so nothing planted turns the lock off or keeps it taken
// for good, and the folder keeps no file of ours but the settings.
class FolderLock {
public:
    FolderLock(const QString& folderPath, QDeadlineTimer deadline)
    {
        // The folder may be reached through a link (a dotfile manager's).
        m_fd = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        // Whoever can open the folder can hold its flock for good: one of ours that an earlier
        // version or a umask left open to others is closed to them, as only its owner can.
        if (struct stat info {}; ::fstat(m_fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 077) != 0)
            ::fchmod(m_fd, info.st_mode & 07700);
        m_error = lockExclusivelyBefore(m_fd, deadline);
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return m_error == 0; }
    // Why it is not held, as the end of a sentence naming the settings file.
    QString problem() const
    {
        if (m_error == EWOULDBLOCK)
            return QStringLiteral("is being written by another program");
        return QStringLiteral("cannot be locked (%1)").arg(QString::fromLocal8Bit(::strerror(m_error)));
    }

private:
    int m_fd = -1;
    int m_error = 0;
};

// Makes the settings folder closed to others (whoever can open a folder can flock it and hold
// every change back), and the folders above it. One that exists is left as it is: it may be a
// folder the user chose to share, and others can open it but not write in it.
std::expected<void, PlatformError> makeSettingsFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return {};
    if (auto made = createDirectories(QFileInfo(folder).absolutePath()); !made)
        return made;
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return createDirectories(folder); // says why, naming the path
    return {};
}

std::optional<QVariant> valueIn(const QVariantMap& values, const QString& key)
{
    const auto it = values.constFind(key);
    return it == values.cend() ? std::nullopt : std::optional(*it);
}

// Values read from the text and values set in this process differ in type ("true" and true):
// those are compared as the text they are written as.
bool sameValue(const std::optional<QVariant>& a, const std::optional<QVariant>& b)
{
    if (!a || !b)
        return !a && !b;
    return *a == *b || (a->typeId() != b->typeId() && a->toString() == b->toString());
}

// Runs a call on the application's thread after a delay; nothing without an application.
void laterOnApplicationThread(std::chrono::milliseconds delay, std::function<void()> call)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Posted first: a timer can only be started on a thread with an event loop.
    QMetaObject::invokeMethod(
        app, [delay, call = std::move(call)] { QTimer::singleShot(delay, QCoreApplication::instance(), call); },
        Qt::QueuedConnection);
}

void saveStandardAtQuit()
{
    UserDefaults::standard().saveNow(std::chrono::milliseconds(UserDefaults::quitLockWaitMs));
}

} // namespace

// Lets a retry that comes after its UserDefaults is gone do nothing.
struct UserDefaults::RetryGuard {
    QMutex mutex;
    UserDefaults* owner = nullptr;
};

UserDefaults::UserDefaults(const QString& iniFilePath, const QString& homeFolder, Environment environment)
    : m_path(iniFilePath)
    , m_home(homeFolder.isEmpty() ? accountHomeFolder(environment.passwordDatabaseHome) : homeFolder)
    , m_text(environment.scratchFolder)
    , m_later(environment.later ? std::move(environment.later) : laterOnApplicationThread)
    , m_guard(std::make_shared<RetryGuard>())
{
    m_guard->owner = this;
    // What a copy of the program ended in the middle of a change left there.
    SettingsText::removeLeftovers(environment.scratchFolder.isEmpty() ? SettingsText::privateFolder()
                                                                      : environment.scratchFolder);
    if (const QString temporary = QDir::tempPath(); !temporary.isEmpty())
        SettingsText::removeLeftovers(temporary); // earlier versions made their copies there
    load();
}

UserDefaults::~UserDefaults()
{
    QMutexLocker guard(&m_guard->mutex);
    m_guard->owner = nullptr;
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults& instance = [] () -> UserDefaults& {
        static UserDefaults made(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                 + QStringLiteral("/Zentharion/Zentharion.conf"));
        // Once the event loop has ended and every window has stored what it keeps at quit.
        qAddPostRoutine(saveStandardAtQuit);
        return made;
    }();
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
    if (const QString folder = QFileInfo(m_path).absolutePath(); QFileInfo(folder).isDir()) {
        if (const FolderLock lock(folder, QDeadlineTimer(lockWaitMs)); lock.held())
            sweepTemporaries(*target);
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
    m_unsaved[key] = {value, std::nullopt};
    if (m_notSaved)
        return;
    write(QDeadlineTimer(lockWaitMs));
}

void UserDefaults::sweepTemporaries(const QString& target)
{
    // Every write is made under the lock, which is held now: a temporary file of the writer's
    // beside the settings was left by a copy of the program that ended in the middle of one.
    const QFileInfo info(target);
    const QString prefix = QStringLiteral(".%1.").arg(info.fileName());
    removeStaleFiles(info.absolutePath(),
                     [&prefix](const QString& name) { return name.startsWith(prefix) && name.endsWith(u".tmp"); },
                     QDateTime::currentDateTimeUtc().addSecs(1));
    m_sweptTemporaries = true;
}

bool UserDefaults::write(QDeadlineTimer deadline)
{
    // Looked at again before each write: the file may have been replaced by a link since.
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return false;
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (auto made = makeSettingsFolder(folder); !made) {
        keepForLater(QStringLiteral("cannot be written (%1)").arg(made.error().localizedDescription()), std::nullopt);
        return false;
    }
    const FolderLock lock(folder, deadline);
    if (!lock.held()) {
        keepForLater(lock.problem(), std::nullopt);
        return false;
    }
    const QFileInfo targetInfo(*target);
    if (!m_sweptTemporaries)
        sweepTemporaries(*target);

    // What the file holds now, so that another copy's changes to other keys are kept.
    const auto current = readText(*target);
    if (!current) {
        stopSaving(current.error());
        return false;
    }
    SettingsChanges changes;
    for (const auto& [key, change] : m_unsaved)
        changes[key] = change.value;
    auto edited = m_text.edit(*current, changes);
    if (edited) {
        // A kept change whose key another copy has set since gives way to that newer value.
        bool dropped = false;
        for (auto it = m_unsaved.begin(); it != m_unsaved.end();) {
            const auto now = valueIn(edited->before, it->first);
            if (it->second.fileHeld && !sameValue(*it->second.fileHeld, now)) {
                if (now)
                    m_values.insert(it->first, *now);
                else
                    m_values.remove(it->first);
                changes.erase(it->first);
                it = m_unsaved.erase(it);
                dropped = true;
            } else {
                ++it;
            }
        }
        if (dropped)
            edited = m_text.edit(*current, changes);
    }
    if (!edited) {
        if (edited.error().kind == SettingsTextError::Kind::unreadable)
            stopSaving(edited.error().why + QStringLiteral("; it is left as it is"));
        else
            keepForLater(edited.error().why, std::nullopt);
        return false;
    }
    // The next start would refuse a file past the limit and lose every setting.
    if (edited->text.size() > maximumFileSize) {
        stopSaving(QStringLiteral("would grow to %1 bytes with this change, past the %2 bytes read at start; it is left as it is")
                       .arg(edited->text.size())
                       .arg(maximumFileSize));
        return false;
    }
    if (edited->text != *current) {
        const QString temporary = QDir(targetInfo.absolutePath())
                                      .filePath(QStringLiteral(".%1.%2.tmp").arg(targetInfo.fileName(), uuidText(QUuid::createUuid())));
        if (auto written = AtomicFileWriter().write(*target, temporary, edited->text); !written) {
            // A full disk or a read-only folder: the change waits for a later write.
            keepForLater(QStringLiteral("cannot be written (%1)").arg(written.error().localizedDescription()), edited->before);
            return false;
        }
    }
    m_unsaved.clear();
    m_values = edited->values;
    m_unsavedProblem.reset();
    // A retry that never came (no application to run it) must not keep later ones from being
    // asked for.
    m_retryDue = false;
    m_failedRetries = 0;
    if (m_toldUnsaved) {
        qCInfo(settingsLog, "Settings are saved to %s again.", qUtf8Printable(m_path));
        m_toldUnsaved.reset();
    }
    return true;
}

void UserDefaults::keepForLater(const QString& why, const std::optional<QVariantMap>& fileNow)
{
    // Read without the lock: the file is only ever replaced whole.
    std::optional<QVariantMap> held = fileNow;
    bool looked = held.has_value();
    for (auto& [key, change] : m_unsaved) {
        if (change.fileHeld)
            continue;
        if (!looked) {
            looked = true;
            const auto target = writableTarget(m_path, m_home);
            const auto bytes = target ? readText(*target) : std::unexpected(target.error());
            if (const auto values = bytes ? m_text.decode(*bytes) : std::unexpected(SettingsTextError {}))
                held = *values;
        }
        // Where the file cannot be read now (no private copy can be made), what was read
        // earlier is no answer: another copy may have set the key since, before this change,
        // which would then give way to that older value. It is learned at a later try; till
        // then the change is the newest there is.
        if (held)
            change.fileHeld = valueIn(*held, key);
    }
    m_unsavedProblem = QStringLiteral("Settings are not saved yet: %1 %2. They are saved as soon as it can be written.")
                           .arg(m_path, why);
    if (m_retryDue)
        return;
    m_retryDue = true;
    m_later(m_failedRetries < retriesBeforeTelling ? firstRetryDelay : retryDelay, [guard = m_guard] {
        QMutexLocker locked(&guard->mutex);
        if (guard->owner)
            guard->owner->retry();
    });
}

void UserDefaults::retry()
{
    QMutexLocker lock(&m_mutex);
    m_retryDue = false;
    if (m_unsaved.empty() || m_notSaved)
        return;
    // Tried without waiting: the main thread is not held up while another program writes.
    if (write(QDeadlineTimer(0)))
        return;
    if (++m_failedRetries >= retriesBeforeTelling)
        tellUnsaved();
}

void UserDefaults::tellUnsaved()
{
    if (!m_unsavedProblem || m_unsavedProblem == m_toldUnsaved)
        return;
    if (!m_toldUnsaved)
        qCWarning(settingsLog, "%s", qUtf8Printable(*m_unsavedProblem));
    m_toldUnsaved = m_unsavedProblem;
}

bool UserDefaults::saveNow(std::chrono::milliseconds wait)
{
    QMutexLocker lock(&m_mutex);
    if (m_unsaved.empty())
        return true;
    if (m_notSaved || write(QDeadlineTimer(wait.count())))
        return m_unsaved.empty();
    tellUnsaved();
    return false;
}

void UserDefaults::onNotSavedChanged(QObject* context, std::function<void()> changed)
{
    QMutexLocker lock(&m_mutex);
    m_observers.emplace_back(context, std::move(changed));
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
    return m_notSaved ? m_notSaved : m_toldUnsaved;
}

} // namespace zen
