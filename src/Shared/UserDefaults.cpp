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

#include <QStringList>

#include <cerrno>
#include <climits>
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

QString errnoText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

// The settings folder, opened (O_PATH: a folder without read access is still one to read the
// file and make copies in) for one load or write. It is used only when it is this user's own
// and, where a link led to it, inside the home folder: judged on the folder opened, so that
// nothing changed on the way after a look can redirect a write.
class SettingsFolder {
public:
    enum class State { open, missing, refused, unopenable };

    SettingsFolder(const QString& path, const QString& home)
        : m_path(path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            m_state = m_error == ENOENT ? State::missing : State::unopenable;
            return;
        }
        struct stat info {};
        char real[PATH_MAX + 1] {};
        const QByteArray self = QByteArray("/proc/self/fd/") + QByteArray::number(m_fd);
        const ssize_t length = ::readlink(self.constData(), real, PATH_MAX);
        if (::fstat(m_fd, &info) != 0 || length <= 0) {
            m_error = length <= 0 ? ENOENT : errno;
            m_state = State::unopenable;
            return;
        }
        m_openToOthers = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
        const QString opened = QFile::decodeName(QByteArray(real, length));
        // As root every folder is one's own: the home folder is what keeps a link from
        // leading the settings into the system's folders.
        if (info.st_uid != ::geteuid()) {
            m_why = QStringLiteral("is in a folder of another user's (%1)").arg(opened);
            m_state = State::refused;
        } else if (opened != QDir::cleanPath(QFileInfo(path).absoluteFilePath())
                   && !isInside(opened, QFileInfo(home).canonicalFilePath())) {
            m_why = QStringLiteral("is in a folder outside your home folder that a link leads to (%1)").arg(opened);
            m_state = State::refused;
        }
    }
    ~SettingsFolder()
    {
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SettingsFolder(const SettingsFolder&) = delete;
    SettingsFolder& operator=(const SettingsFolder&) = delete;

    State state() const { return m_state; }
    int fd() const { return m_fd; }
    // Why it is refused, as the end of a sentence naming the settings file.
    const QString& refusal() const { return m_why; }
    int error() const { return m_error; }
    bool openToOthers() const { return m_openToOthers; }
    // `name` in the folder, reached through the open folder.
    QString entry(const QString& name) const { return QStringLiteral("/proc/self/fd/%1/%2").arg(m_fd).arg(name); }

    // Takes the folder's flock, held while the file is read, changed and replaced so that two
    // copies of the program never write over each other's change, until this is gone. No
    // entry under any name can stand in for the folder, so nothing planted turns the lock off
    // or keeps it taken for good. 0, EWOULDBLOCK while another program holds it, or an errno.
    int lock(QDeadlineTimer deadline)
    {
        m_lockFd = ::open(QFile::encodeName(entry(QStringLiteral("."))).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_lockFd < 0)
            return errno;
        return lockExclusivelyBefore(m_lockFd, deadline);
    }

private:
    QString m_path;
    int m_fd = -1;
    int m_lockFd = -1;
    State m_state = State::open;
    int m_error = 0;
    bool m_openToOthers = false;
    QString m_why;
};

// Makes the settings folder 0700 (whoever can open a folder can flock it and hold every change
// back), and the folders missing above it, only inside a folder of this user's own: root with
// another user's HOME would otherwise leave folders of root's in that user's home, which that
// user could no longer write in. One that exists is left as it is, mode and all: it may be a
// folder the user chose to share.
std::expected<void, int> makeSettingsFolder(const QString& folder)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QString existing = clean;
    struct stat info {};
    while (::stat(QFile::encodeName(existing).constData(), &info) != 0) {
        if (errno != ENOENT || existing == QLatin1String("/"))
            return std::unexpected(errno);
        existing = QFileInfo(existing).path();
    }
    if (existing == clean)
        return {};
    if (info.st_uid != ::geteuid())
        return std::unexpected(EPERM);
    if (auto made = createDirectories(QFileInfo(clean).path()); !made)
        return std::unexpected(made.error().code ? made.error().code : EIO);
    if (::mkdir(QFile::encodeName(clean).constData(), 0700) != 0 && errno != EEXIST)
        return std::unexpected(errno);
    return {};
}

// What the person can do where a file or folder cannot be written for `error`.
QString remedyFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("free some disk space");
    case EROFS:
        return QStringLiteral("make its disk writable");
    case EACCES:
    case EPERM:
        return QStringLiteral("make it yours and writable");
    default:
        return QStringLiteral("make sure it can be written");
    }
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
    , m_later(environment.later ? std::move(environment.later) : laterOnApplicationThread)
    , m_guard(std::make_shared<RetryGuard>())
{
    m_guard->owner = this;
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

// Tells the observers when what notSavedReason() says has changed by the end of a call; made
// once the mutex is held.
class UserDefaults::ReasonWatch {
public:
    explicit ReasonWatch(UserDefaults& defaults) : m_defaults(defaults), m_before(defaults.reason()) {}
    ~ReasonWatch()
    {
        if (m_defaults.reason() != m_before)
            m_defaults.notifyObservers();
    }
    ReasonWatch(const ReasonWatch&) = delete;
    ReasonWatch& operator=(const ReasonWatch&) = delete;

private:
    UserDefaults& m_defaults;
    std::optional<QString> m_before;
};

void UserDefaults::stopSaving(const QString& why)
{
    if (m_notSaved)
        return;
    m_notSaved = QStringLiteral("Settings are kept for this session only: %1 %2.").arg(m_path, why);
    qCWarning(settingsLog, "%s", qUtf8Printable(*m_notSaved));
}

std::expected<QByteArray, QString> UserDefaults::readText(const QString& path) const
{
    // Not there yet: nothing stored.
    struct stat entry {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0 && errno == ENOENT)
        return QByteArray();
    auto bytes = readRegularFile(path, maximumFileSize);
    if (!bytes) {
        if (bytes.error().code == EFBIG)
            return std::unexpected(
                QStringLiteral("is larger than %1 bytes; it is left as it is and the defaults are used").arg(maximumFileSize));
        return std::unexpected(QStringLiteral("cannot be read (%1)").arg(errnoText(bytes.error().code)));
    }
    return std::move(*bytes);
}

void UserDefaults::load()
{
    QMutexLocker lock(&m_mutex);
    const ReasonWatch watch(*this);
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    const QFileInfo file(m_path);
    SettingsFolder folder(file.absolutePath(), m_home);
    switch (folder.state()) {
    case SettingsFolder::State::missing:
        return; // nothing stored yet
    case SettingsFolder::State::refused:
        stopSaving(folder.refusal());
        return;
    case SettingsFolder::State::unopenable:
        stopSaving(QStringLiteral("cannot be read (%1)").arg(errnoText(folder.error())));
        return;
    case SettingsFolder::State::open:
        break;
    }
    // Read whether or not another copy holds the lock now: a copy made to read is never swept
    // away under its reader, and the file is only ever replaced whole.
    if (folder.lock(QDeadlineTimer(lockWaitMs)) == 0)
        sweep(folder.fd(), *target);
    const auto bytes = readText(*target == m_path ? folder.entry(file.fileName()) : *target);
    if (!bytes) {
        stopSaving(bytes.error());
        return;
    }
    auto values = SettingsText(folder.fd(), file.fileName()).decode(*bytes);
    if (!values) {
        stopSaving(values.error().why + QStringLiteral("; it is left as it is and the defaults are used"));
        return;
    }
    m_values = std::move(*values);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value)
{
    const ReasonWatch watch(*this);
    if (value)
        m_values.insert(key, *value);
    else
        m_values.remove(key);
    m_unsaved[key] = {value, std::nullopt};
    if (m_notSaved)
        return;
    write(QDeadlineTimer(lockWaitMs));
}

void UserDefaults::sweep(int folder, const QString& target)
{
    // Every write is made under the lock, which is held now: a copy no live reader holds, or a
    // temporary file of the writer's beside the settings, was left by a copy of the program
    // that ended in the middle of one.
    const QFileInfo file(m_path);
    SettingsText::removeLeftovers(folder, file.fileName());
    const QFileInfo info(target);
    const QString prefix = QStringLiteral(".%1.").arg(info.fileName());
    removeStaleFiles(target == m_path ? QStringLiteral("/proc/self/fd/%1").arg(folder) : info.absolutePath(),
                     [&prefix](const QString& name) { return name.startsWith(prefix) && name.endsWith(u".tmp"); },
                     QDateTime::currentDateTimeUtc().addSecs(1));
    m_swept = true;
}

bool UserDefaults::write(QDeadlineTimer deadline)
{
    // Looked at again before each write: the file may have been replaced by a link since.
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return false;
    }
    const QFileInfo file(m_path);
    const QString folderPath = file.absolutePath();
    if (auto made = makeSettingsFolder(folderPath); !made && made.error() == EPERM) {
        stopSaving(QStringLiteral("would be made in a folder of another user's"));
        return false;
    } else if (!made) {
        keepForLater({QStringLiteral("the folder %1 cannot be made (%2)").arg(folderPath, errnoText(made.error())),
                      remedyFor(made.error())},
                     std::nullopt);
        return false;
    }
    SettingsFolder folder(folderPath, m_home);
    if (folder.state() == SettingsFolder::State::refused) {
        stopSaving(folder.refusal());
        return false;
    }
    if (folder.state() != SettingsFolder::State::open) {
        keepForLater({QStringLiteral("the folder %1 cannot be opened (%2)").arg(folderPath, errnoText(folder.error())),
                      remedyFor(folder.error())},
                     std::nullopt);
        return false;
    }
    if (const int locked = folder.lock(deadline); locked != 0) {
        if (locked != EWOULDBLOCK)
            keepForLater({QStringLiteral("the folder %1 cannot be locked (%2)").arg(folderPath, errnoText(locked)),
                          remedyFor(locked)},
                         std::nullopt, folder.fd());
        else if (folder.openToOthers())
            keepForLater({QStringLiteral("another program holds the folder %1, which others can open").arg(folderPath),
                          QStringLiteral("close it or make the folder private"), true},
                         std::nullopt, folder.fd());
        else
            keepForLater({QStringLiteral("another program holds the folder %1").arg(folderPath), QStringLiteral("close it"),
                          true},
                         std::nullopt, folder.fd());
        return false;
    }
    if (!m_swept)
        sweep(folder.fd(), *target);

    // Through the open folder: what was judged is what is written.
    const QString path = *target == m_path ? folder.entry(file.fileName()) : *target;
    // What the file holds now, so that another copy's changes to other keys are kept.
    const auto current = readText(path);
    if (!current) {
        stopSaving(current.error());
        return false;
    }
    const SettingsText text(folder.fd(), file.fileName());
    SettingsChanges changes;
    for (const auto& [key, change] : m_unsaved)
        changes[key] = change.value;
    auto edited = text.edit(*current, changes);
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
            edited = text.edit(*current, changes);
    }
    if (!edited) {
        if (edited.error().kind == SettingsTextError::Kind::unreadable)
            stopSaving(edited.error().why + QStringLiteral("; it is left as it is"));
        else
            keepForLater({QStringLiteral("%1 %2").arg(m_path, edited.error().why), remedyFor(edited.error().error)},
                         std::nullopt, folder.fd());
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
        const QFileInfo targetInfo(path);
        const QString temporary = QDir(targetInfo.path())
                                      .filePath(QStringLiteral(".%1.%2.tmp").arg(targetInfo.fileName(), uuidText(QUuid::createUuid())));
        if (auto written = AtomicFileWriter().write(path, temporary, edited->text); !written) {
            // A full disk or a read-only folder: the change waits for a later write.
            const int error = written.error().code ? written.error().code : EIO;
            keepForLater({QStringLiteral("%1 cannot be written (%2)").arg(m_path, errnoText(error)), remedyFor(error)},
                         edited->before);
            return false;
        }
    }
    m_unsaved.clear();
    m_values = edited->values;
    m_problem.reset();
    // A retry that never came (no application to run it) must not keep later ones from being
    // asked for.
    m_retryDue = false;
    m_failedRetries = 0;
    if (m_told) {
        qCInfo(settingsLog, "Settings are saved to %s again.", qUtf8Printable(m_path));
        m_told.reset();
    }
    return true;
}

void UserDefaults::keepForLater(const Problem& problem, const std::optional<QVariantMap>& fileNow, int folder)
{
    // Read without the lock: the file is only ever replaced whole, and a copy made to read is
    // never swept away under its reader.
    std::optional<QVariantMap> held = fileNow;
    bool looked = held.has_value();
    for (auto& [key, change] : m_unsaved) {
        if (change.fileHeld)
            continue;
        if (!looked) {
            looked = true;
            const QFileInfo file(m_path);
            const auto target = writableTarget(m_path, m_home);
            if (target && folder >= 0) {
                const auto bytes = readText(*target == m_path ? QStringLiteral("/proc/self/fd/%1/%2").arg(folder).arg(file.fileName())
                                                             : *target);
                if (const auto values = bytes ? SettingsText(folder, file.fileName()).decode(*bytes)
                                              : std::unexpected(SettingsTextError {}))
                    held = *values;
            } else if (target && !QFileInfo::exists(*target)) {
                held = QVariantMap(); // no file, no folder: nothing is stored
            }
        }
        // Where the file cannot be read now, what was read earlier is no answer: another copy
        // may have set the key since, before this change, which would then give way to that
        // older value. It is learned at a later try; till then the change is the newest there is.
        if (held)
            change.fileHeld = valueIn(*held, key);
    }
    m_problem = problem;
    if (!problem.passes)
        tell(QStringLiteral("Settings cannot be saved: %1; %2 and they are saved.").arg(problem.cause, problem.action));
    else if (m_told)
        tell(QStringLiteral("Settings are not saved yet: %1; %2 and they are saved.").arg(problem.cause, problem.action));
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
    const ReasonWatch watch(*this);
    m_retryDue = false;
    if (m_unsaved.empty() || m_notSaved)
        return;
    // Tried without waiting: the main thread is not held up while another program writes.
    if (write(QDeadlineTimer(0)))
        return;
    if (++m_failedRetries >= retriesBeforeTelling && m_problem)
        tell(QStringLiteral("Settings are not saved yet: %1; %2 and they are saved.").arg(m_problem->cause, m_problem->action));
}

void UserDefaults::tell(const QString& words)
{
    if (m_told == words)
        return;
    if (!m_told)
        qCWarning(settingsLog, "%s", qUtf8Printable(words));
    m_told = words;
}

bool UserDefaults::saveNow(std::chrono::milliseconds wait)
{
    QMutexLocker lock(&m_mutex);
    const ReasonWatch watch(*this);
    if (m_unsaved.empty())
        return true;
    if (!m_notSaved && write(QDeadlineTimer(wait.count())))
        return true;
    // What is lost is named, whatever was said before.
    QStringList keys;
    for (const auto& [key, change] : m_unsaved)
        keys.append(key);
    const QString cause = m_notSaved ? QStringLiteral("they were kept for this session only")
                          : m_problem ? m_problem->cause
                                      : QStringLiteral("%1 could not be written").arg(m_path);
    m_told = QStringLiteral("Settings not saved, and lost when the program ends: %1, as %2; set them again at the next start.")
                 .arg(keys.join(QStringLiteral(", ")), cause);
    qCWarning(settingsLog, "%s", qUtf8Printable(*m_told));
    return false;
}

void UserDefaults::onNotSavedChanged(QObject* context, std::function<void()> changed)
{
    QMutexLocker lock(&m_mutex);
    m_observers.emplace_back(context, std::move(changed));
}

void UserDefaults::notifyObservers()
{
    std::erase_if(m_observers, [](const auto& observer) { return observer.first.isNull(); });
    for (const auto& [context, changed] : m_observers)
        QMetaObject::invokeMethod(context.data(), changed, Qt::QueuedConnection);
}

std::optional<QString> UserDefaults::reason() const
{
    return m_notSaved ? m_notSaved : m_told;
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
    return reason();
}

} // namespace zen
