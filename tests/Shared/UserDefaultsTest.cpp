#include "Shared/UserDefaults.h"

#include "Support/ManualScheduler.h"
#include "Support/ScopedVariable.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSize>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zen;

TEST(UserDefaultsTest, RegisteredValuesAnswerOnlyUntilTheUserStoresOne)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("prefs.conf");
    {
        UserDefaults defaults(file);
        EXPECT_FALSE(defaults.boolForKey("flag"));
        EXPECT_FALSE(defaults.object("flag").has_value());
        defaults.registerDefaults({{"flag", true}});
        EXPECT_TRUE(defaults.boolForKey("flag"));
        defaults.setBool("flag", false);
        defaults.registerDefaults({{"flag", true}});
        EXPECT_FALSE(defaults.boolForKey("flag"));
        defaults.setString("name", "deferred");
    }
    // A new process sees what was stored but not what was registered.
    UserDefaults reopened(file);
    EXPECT_FALSE(reopened.boolForKey("flag"));
    EXPECT_EQ(reopened.stringForKey("name"), QStringLiteral("deferred"));
    reopened.setBool("flag", true);
    EXPECT_TRUE(reopened.boolForKey("flag"));
    reopened.removeObject("name");
    EXPECT_FALSE(reopened.stringForKey("name").has_value());
    EXPECT_FALSE(reopened.object("never").has_value());
}

namespace {

struct Planted {
    QByteArray bytes;
    ino_t inode = 0;
};

Planted inspect(const QString& path)
{
    Planted p;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return p;
    p.inode = info.st_ino;
    QFile file(path);
    if (S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly)) // opening a pipe would wait
        p.bytes = file.readAll();
    return p;
}

QStringList g_settingsWarnings;
void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

void recordSettingsWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        g_settingsWarnings << message;
}

} // namespace

TEST(UserDefaultsTest, OnlyALinkToTheUsersOwnFileAtHomeIsWrittenThrough)
{
    QTemporaryDir home, elsewhere;
    const QString conf = home.filePath("Zentharion.conf");
    const QString dotfile = home.filePath("dotfiles/Zentharion.conf");
    ASSERT_TRUE(QDir().mkpath(home.filePath("dotfiles")));
    // A home folder ".../al" next to ".../alice": the sibling's files are outside it.
    ASSERT_TRUE(QDir().mkpath(home.filePath("al")) && QDir().mkpath(home.filePath("alice")));
    const QByteArray original = "[General]\nkept=yes\n";
    for (const QString& path : {dotfile, elsewhere.filePath("system.conf"), home.filePath("theirs.conf"),
                                home.filePath("alice/Zentharion.conf")}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.filePath("pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(home.filePath("folder")));
    // A home given through a link, as where /home leads to /var/home.
    const QString linkedHome = elsewhere.filePath("linkedHome");
    ASSERT_TRUE(QFile::link(home.path(), linkedHome));
    const bool root = ::geteuid() == 0;
    if (root)
        ASSERT_EQ(::chown(QFile::encodeName(home.filePath("theirs.conf")).constData(), 65534, 65534), 0);

    struct Case {
        QString linkTo;
        bool writtenThrough;
        const char* why;
        QString homeFolder = {}; // empty: the temporary home
    };
    const Case cases[] = {
        {dotfile, true, ""},
        {dotfile, true, "", linkedHome},
        {elsewhere.filePath("system.conf"), false, "outside your home folder"},
        {home.filePath("pipe"), false, "other than a regular file"},
        {home.filePath("folder"), false, "other than a regular file"},
        {home.filePath("missing"), false, "other than a regular file"},
        {home.filePath("theirs.conf"), false, "owned by another user"},
        {home.filePath("alice/Zentharion.conf"), false, "outside your home folder", home.filePath("al")},
    };
    for (const Case& c : cases) {
        if (!root && c.linkTo.endsWith("theirs.conf"))
            continue;
        QFile::remove(conf);
        ASSERT_TRUE(QFile::link(c.linkTo, conf));
        const Planted before = inspect(c.linkTo);
        g_settingsWarnings.clear();
        const auto previous = qInstallMessageHandler(recordSettingsWarning);
        {
            UserDefaults defaults(conf, c.homeFolder.isEmpty() ? home.path() : c.homeFolder);
            defaults.setString("name", "changed");
            defaults.setBool("flag", true);
            EXPECT_EQ(defaults.stringForKey("name"), QStringLiteral("changed")) << "kept for the session";
            EXPECT_EQ(defaults.notSavedReason().has_value(), !c.writtenThrough) << c.linkTo.toStdString();
            EXPECT_TRUE(defaults.notSavedReason().value_or(c.why).contains(c.why))
                << defaults.notSavedReason().value_or("").toStdString();
        }
        qInstallMessageHandler(previous);
        EXPECT_EQ(g_settingsWarnings.size(), c.writtenThrough ? 0 : 1) << "said once: " << c.linkTo.toStdString();
        EXPECT_TRUE(QFileInfo(conf).isSymLink()) << "the link itself stays";
        const Planted after = inspect(c.linkTo);
        if (c.writtenThrough) {
            EXPECT_EQ(UserDefaults(conf, home.path()).stringForKey("name"), QStringLiteral("changed"));
            EXPECT_EQ(UserDefaults(conf, home.path()).stringForKey("kept"), QStringLiteral("yes"));
        } else {
            EXPECT_EQ(after.bytes, before.bytes) << c.linkTo.toStdString();
            EXPECT_EQ(after.inode, before.inode) << c.linkTo.toStdString();
        }
    }
}

TEST(UserDefaultsTest, APipeOrAnOversizedFileNeitherBlocksNorLoads)
{
    QTemporaryDir home;
    const QString pipe = home.filePath("pipe.conf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Should a reader block on the pipe, this writer lets it go after a while, and the test
    // fails on the flag instead of hanging.
    std::atomic<bool> done{false}, hadToRelease{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done)
            return;
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            hadToRelease = true;
            ::close(fd);
        }
    });
    {
        UserDefaults defaults(pipe, home.path());
        defaults.registerDefaults({{"flag", true}});
        EXPECT_TRUE(defaults.boolForKey("flag"));
        defaults.setBool("flag", false);
        EXPECT_FALSE(defaults.boolForKey("flag"));
        EXPECT_TRUE(defaults.notSavedReason().has_value());
    }
    done = true;
    watchdog.join();
    EXPECT_FALSE(hadToRelease) << "reading the settings waited for a writer";

    const QString big = home.filePath("big.conf");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General]\nflag=false\n");
        f.write(QByteArray(UserDefaults::maximumFileSize, '#'));
    }
    const Planted before = inspect(big);
    UserDefaults defaults(big, home.path());
    defaults.registerDefaults({{"flag", true}});
    EXPECT_TRUE(defaults.boolForKey("flag")) << "the defaults answer";
    defaults.setString("name", "session");
    EXPECT_EQ(defaults.stringForKey("name"), QStringLiteral("session"));
    EXPECT_TRUE(defaults.notSavedReason().value_or("").contains("larger than"));
    EXPECT_EQ(inspect(big).bytes, before.bytes) << "the file is kept";
}

// Run without a usable HOME (a service, `env -i`, a broken login), the home folder that limits
// links is the account's own, never "/", which holds every file.
TEST(UserDefaultsTest, WithoutAUsableHomeALinkOutsideAnyHomeIsLeftUntouched)
{
    QTemporaryDir dir, elsewhere;
    const QString target = elsewhere.filePath("system.conf");
    const QByteArray original = "[General]\nkept=yes\n";
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    const QString conf = dir.filePath("Zentharion.conf");
    ASSERT_TRUE(QFile::link(target, conf));
    const std::optional<QByteArray> savedHome =
        qEnvironmentVariableIsSet("HOME") ? std::optional(qgetenv("HOME")) : std::nullopt;
    for (const std::optional<QByteArray>& home : {std::optional<QByteArray>(), std::optional<QByteArray>("/"),
                                                  std::optional<QByteArray>(""), std::optional<QByteArray>("relative"),
                                                  std::optional<QByteArray>("//./")}) {
        SCOPED_TRACE(home ? home->constData() : "(unset)");
        if (home)
            qputenv("HOME", *home);
        else
            qunsetenv("HOME");
        const auto previous = qInstallMessageHandler(recordSettingsWarning);
        {
            UserDefaults defaults(conf);
            defaults.setString("name", "changed");
            EXPECT_TRUE(defaults.notSavedReason().has_value());
        }
        qInstallMessageHandler(previous);
        EXPECT_TRUE(QFileInfo(conf).isSymLink());
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), original);
    }
    if (savedHome)
        qputenv("HOME", *savedHome);
    else
        qunsetenv("HOME");
}

namespace {

// Every entry of a folder, hidden ones too.
QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// TMPDIR pointed at a folder of the test's own for as long as this lives.
class ScopedTemporaryFolder {
public:
    explicit ScopedTemporaryFolder(const QString& folder)
        : m_saved(qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt)
    {
        qputenv("TMPDIR", QFile::encodeName(folder));
    }
    ~ScopedTemporaryFolder()
    {
        if (m_saved)
            qputenv("TMPDIR", *m_saved);
        else
            qunsetenv("TMPDIR");
    }

private:
    std::optional<QByteArray> m_saved;
};

} // namespace

// The file is QSettings' INI text both ways (earlier versions wrote it through QSettings), and
// reading or writing it makes nothing anywhere but the file's own folder: no scratch folder
// that a program ended by a signal would leave behind.
TEST(UserDefaultsTest, TheFileIsQSettingsTextBothWaysWithNothingWrittenElsewhere)
{
    QTemporaryDir dir, scratch;
    const ScopedTemporaryFolder temporary(scratch.path());
    const QString file = dir.filePath("Zentharion.conf");
    const std::pair<const char*, QString> values[] = {
        {"plain", "completedAuthorized"},
        {"Zentharion.Updates.lastCheckTime", "2026-12-08T06:00:00.000Z"},
        {"frame", "AdnQywADAAAAAAAAAAAAAAAAA+/9AAAA=="},
        {"spaces", "  padded  "},
        {"separators", "a, b; c = d"},
        {"at", "@Variant(not one)"},
        {"atAt", "@@"},
        {"escapes", "tab\there\nline \"quoted\" back\\slash \x01\x7f end"},
        {"text", QString::fromUtf8("Gr\u00fc\u00dfe \u65e5\u672c \U0001F642")},
        {"empty", ""},
        {"key with space%", "odd key"},
        {"General", "a key named as the section"},
        {"Group/inner/key", "in a group"},
        {"General/x", "in a group named as the section"},
    };
    for (const bool writtenHere : {true, false}) {
        SCOPED_TRACE(writtenHere ? "written here, read by QSettings" : "written by QSettings, read here");
        QFile::remove(file);
        if (writtenHere) {
            UserDefaults defaults(file);
            for (const auto& [key, value] : values)
                defaults.setString(key, value);
            defaults.setBool("flag", true);
            EXPECT_FALSE(defaults.notSavedReason().has_value());
            EXPECT_EQ(entriesOf(scratch.path()), QStringList()) << "a scratch file while in use";
            QSettings settings(file, QSettings::IniFormat);
            for (const auto& [key, value] : values)
                EXPECT_EQ(settings.value(key).toString(), value) << key;
            EXPECT_TRUE(settings.value("flag").toBool());
        } else {
            {
                QSettings settings(file, QSettings::IniFormat);
                for (const auto& [key, value] : values)
                    settings.setValue(key, value);
                settings.setValue("list", QStringList{"one", " two", "three,four"});
                settings.setValue("bytes", QByteArray("\x00\x01\xff", 3));
                settings.setValue("size", QSize(3, 4));
            }
            UserDefaults defaults(file);
            EXPECT_EQ(entriesOf(scratch.path()), QStringList()) << "a scratch file while in use";
            for (const auto& [key, value] : values)
                EXPECT_EQ(defaults.stringForKey(key), value) << key;
            // A change keeps every other key as it was, whatever its type.
            defaults.setBool("flag", true);
            QSettings settings(file, QSettings::IniFormat);
            EXPECT_EQ(settings.value("list").toStringList(), (QStringList{"one", " two", "three,four"}));
            EXPECT_EQ(settings.value("bytes").toByteArray(), QByteArray("\x00\x01\xff", 3));
            EXPECT_EQ(settings.value("size").toSize(), QSize(3, 4));
            EXPECT_EQ(settings.value("separators").toString(), "a, b; c = d");
            EXPECT_TRUE(settings.value("flag").toBool());
        }
    }
    EXPECT_EQ(entriesOf(scratch.path()), QStringList());
}

// Without a usable HOME the password database names the home folder: a settings link into it
// (as a dotfile manager makes) is written through, as with HOME set.
TEST(UserDefaultsTest, WithHomeAsRootThePasswordDatabaseGivesTheHome)
{
    // The account's home is a folder of the test's own, named as the password database would.
    QTemporaryDir accountHome, dir;
    const QString target = accountHome.filePath("Zentharion.conf");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General]\nkept=yes\n");
    }
    const QString conf = dir.filePath("Zentharion.conf");
    ASSERT_TRUE(QFile::link(target, conf));
    const std::optional<QByteArray> savedHome =
        qEnvironmentVariableIsSet("HOME") ? std::optional(qgetenv("HOME")) : std::nullopt;
    qputenv("HOME", "/");
    {
        UserDefaults defaults(conf, {}, {.passwordDatabaseHome = [&] { return accountHome.path(); }});
        defaults.setString("name", "changed");
        EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
    }
    if (savedHome)
        qputenv("HOME", *savedHome);
    else
        qunsetenv("HOME");
    EXPECT_TRUE(QFileInfo(conf).isSymLink());
    const UserDefaults reread(target, accountHome.path());
    EXPECT_EQ(reread.stringForKey("name"), QStringLiteral("changed"));
    EXPECT_EQ(reread.stringForKey("kept"), QStringLiteral("yes"));
}

namespace {

// Runs `work` on a thread of its own and waits for it. Should `progress` stand still for five
// seconds, far past any wait of the settings' own, `release` frees what holds the work (again
// every 100 ms until it returns) and the answer is false: the test fails instead of hanging.
bool returnsWithoutStalling(const std::function<void()>& work, const std::atomic<int>& progress,
                            const std::function<void()>& release)
{
    std::atomic<bool> done {false};
    std::thread worker([&] {
        work();
        done = true;
    });
    bool stalled = false;
    int seen = progress;
    auto lastChange = std::chrono::steady_clock::now();
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(stalled ? 100 : 10));
        if (progress != seen) {
            seen = progress;
            lastChange = std::chrono::steady_clock::now();
        } else if (stalled || std::chrono::steady_clock::now() - lastChange > std::chrono::seconds(5)) {
            stalled = true;
            release();
        }
    }
    worker.join();
    return !stalled;
}

// Lets a reader blocked on the named pipe at `path` go, without following a link there.
void releasePipe(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

void stopChild(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

} // namespace

// Another process keeps renaming over the settings file a link to a file outside the home, a
// regular file and a named pipe while settings are stored: the outside file is never written
// and no store waits on the pipe.
TEST(UserDefaultsTest, EntriesSwappedInWhileStoringAreReplacedNeverWrittenThrough)
{
    QTemporaryDir base;
    const QString home = base.filePath("home");
    ASSERT_TRUE(QDir().mkpath(home));
    const QString outside = base.filePath("outside.conf");
    {
        QFile f(outside);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General]\nsystem=kept\n");
    }
    const Planted before = inspect(outside);
    const QString conf = home + "/Zentharion.conf";
    const QByteArray nativeConf = QFile::encodeName(conf), nativeOutside = QFile::encodeName(outside),
                     swap = QFile::encodeName(home + "/.swap"), pipe = QFile::encodeName(base.filePath("pipe"));
    // One pipe, linked in each time under the settings file's name: a reader that opened it
    // can always be let go through this name.
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A regular file stands most of the time, so that most stores get as far as writing.
        for (unsigned i = 0;; ++i) {
            ::unlink(swap.constData());
            if (i % 2 == 0) {
                const int fd = ::open(swap.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                [[maybe_unused]] const ssize_t n = ::write(fd, "[General]\nswapped=yes\n", 22);
                ::close(fd);
            } else if (i % 4 == 1) {
                ::symlink(nativeOutside.constData(), swap.constData());
            } else {
                ::link(pipe.constData(), swap.constData());
            }
            ::rename(swap.constData(), nativeConf.constData());
            ::usleep(i % 2 == 0 ? 2000 : 300);
        }
    }
    std::atomic<int> stored {0};
    const bool returned = returnsWithoutStalling(
        [&] {
            std::optional<UserDefaults> defaults;
            while (stored < 300) {
                // One that met a link or a pipe keeps the settings in memory: a new start.
                if (!defaults || defaults->notSavedReason()) {
                    defaults.emplace(conf, home);
                    continue;
                }
                defaults->setString("count", QString::number(stored++));
            }
        },
        stored, [&] { releasePipe(QFile::decodeName(pipe)); });
    stopChild(child);
    EXPECT_TRUE(returned) << "a store waited on the pipe";
    const Planted after = inspect(outside);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.inode, before.inode);
}

namespace {

// A process of its own that holds an flock on `path` (a folder or a file, made as a file when
// missing) until it is killed.
pid_t holdLockIn(const QString& path)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const QByteArray native = QFile::encodeName(path);
    const pid_t holder = ::fork();
    if (holder == 0) {
        int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            fd = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0)
            [[maybe_unused]] const ssize_t n = ::write(ready[1], "1", 1);
        for (;;)
            ::pause();
    }
    char byte = 0;
    ::close(ready[1]);
    const bool held = holder > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return held ? holder : -1;
}

} // namespace

// Whatever stands at the old lock file's name, and while another program holds the settings
// folder's lock, a store returns within its promised wait (and the time to write), and every
// change reaches the file once the lock is free.
TEST(UserDefaultsTest, WhateverStandsAtTheLockFileAStoreReturnsAndTheFileStaysWhole)
{
    pid_t holder = -1;
    struct Case {
        const char* what;
        std::function<void(const QString& conf)> plant;
        bool heldWhileStoring = false;
    };
    const Case cases[] = {
        {"a named pipe",
         [](const QString& conf) { ASSERT_EQ(::mkfifo(QFile::encodeName(conf + ".lock").constData(), 0600), 0); }},
        {"a folder with contents",
         [](const QString& conf) {
             ASSERT_TRUE(QDir().mkpath(conf + ".lock/inner"));
             QFile f(conf + ".lock/file");
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         }},
        {"a dangling link", [](const QString& conf) { ASSERT_TRUE(QFile::link(conf + ".missing", conf + ".lock")); }},
        {"a lock file held by a live process",
         [&holder](const QString& conf) { ASSERT_GT(holder = holdLockIn(conf + ".lock"), 0); }},
        {"the settings folder locked by a live process",
         [&holder](const QString& conf) { ASSERT_GT(holder = holdLockIn(QFileInfo(conf).absolutePath()), 0); }, true},
    };
    // A figure of the test's own, not the wait it guards: a store on the main thread gives up
    // on a held lock in a few tens of milliseconds, and a write takes a few even when sanitized.
    constexpr auto storeBound = std::chrono::milliseconds(200);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        // As a person or a umask may leave it: open to others, and kept so.
        ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
        const QString conf = home.filePath("Zentharion.conf");
        const QString lock = conf + ".lock";
        const QByteArray original = "[General]\nkept=yes\n";
        {
            QFile f(conf);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(original);
        }
        c.plant(conf);
        std::optional<UserDefaults> defaults;
        std::vector<std::chrono::steady_clock::duration> took;
        const std::atomic<int> noProgress {0};
        const bool returned = returnsWithoutStalling(
            [&] {
                defaults.emplace(conf, home.path(), UserDefaults::Environment {.later = [](auto, auto) {}});
                for (const char* value : {"first", "second", "changed"}) {
                    const auto start = std::chrono::steady_clock::now();
                    defaults->setString("name", value);
                    took.push_back(std::chrono::steady_clock::now() - start);
                }
            },
            noProgress,
            [&] {
                releasePipe(lock);
                if (holder > 0)
                    ::kill(holder, SIGKILL);
                if (!QFileInfo(lock).isSymLink())
                    QDir(lock).removeRecursively();
                QFile::remove(lock);
            });
        EXPECT_TRUE(returned) << "the store waited for what stands at the lock's name";
        for (const auto& each : took)
            EXPECT_LT(each, storeBound) << std::chrono::duration_cast<std::chrono::milliseconds>(each).count() << " ms";
        EXPECT_EQ(defaults->stringForKey("name"), QStringLiteral("changed"));
        if (c.heldWhileStoring)
            EXPECT_EQ(inspect(conf).bytes, original) << "written without the lock";
        if (holder > 0)
            stopChild(std::exchange(holder, -1));
        EXPECT_TRUE(defaults->saveNow(std::chrono::milliseconds(UserDefaults::quitLockWaitMs)));
        EXPECT_EQ(defaults->notSavedReason(), std::nullopt);
        const UserDefaults reread(conf, home.path());
        EXPECT_EQ(reread.notSavedReason(), std::nullopt);
        EXPECT_EQ(reread.stringForKey("kept"), QStringLiteral("yes"));
        EXPECT_EQ(reread.stringForKey("name"), QStringLiteral("changed"));
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(home.path()).constData(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 07777, 0755u) << "the mode of a folder the program did not make changed";
    }
}

// A file that is no settings text, or one a change would take past what is read at start, is
// left byte for byte as it is: the change holds for the session, and the reason is said once.
TEST(UserDefaultsTest, AFileThatCannotBeReadOrWouldGrowTooLargeIsLeftAsItIs)
{
    QByteArray noise(60000, '\0');
    quint32 state = 12345;
    for (char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 16);
    }
    QByteArray sections = QByteArray("[General]\nkept=yes\nnul=a\0b\nlone\rcr=1\n", 38);
    for (int i = 0; i < 1000; ++i)
        sections += "[section" + QByteArray::number(i) + "]\nkey=" + QByteArray::number(i) + "\n";
    QByteArray full = "[General]\nfiller=";
    full += QByteArray(UserDefaults::maximumFileSize - full.size() - 1, 'x') + '\n';
    ASSERT_EQ(full.size(), UserDefaults::maximumFileSize);
    const std::pair<QByteArray, const char*> cases[] = {
        {noise, "not in the settings format"},
        {sections, "not in the settings format"},
        {"; nothing but a comment\n", "holds no setting"},
        {full, "would grow to"},
    };
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(why);
        QTemporaryDir home;
        const QString conf = home.filePath("Zentharion.conf");
        {
            QFile f(conf);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        g_settingsWarnings.clear();
        const auto previous = qInstallMessageHandler(recordSettingsWarning);
        {
            UserDefaults defaults(conf, home.path());
            defaults.setString("name", "changed");
            defaults.setBool("flag", true);
            EXPECT_EQ(defaults.stringForKey("name"), QStringLiteral("changed")) << "kept for the session";
            EXPECT_TRUE(defaults.notSavedReason().value_or("").contains(why)) << g_settingsWarnings.join(u'\n').toStdString();
        }
        qInstallMessageHandler(previous);
        EXPECT_EQ(g_settingsWarnings.size(), 1) << g_settingsWarnings.join('\n').toStdString();
        EXPECT_TRUE(inspect(conf).bytes == text) << "the file was rewritten";
    }
}

namespace {

// Files of this process may grow to `bytes` at most while this lives (SIGXFSZ ignored): a
// write past it fails as it would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previous = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit small {bytes, m_saved.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_previous);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved {};
    sighandler_t m_previous = nullptr;
};

} // namespace

// Each read gives the text that is in the file now, not one read before it; where no private
// copy can be made to read it with, the read says so rather than answering with no keys.
TEST(UserDefaultsTest, AReadAnswersWithTheFileAsItIsNowOrSaysItCannot)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    // Two texts of one length in turn, in two files and in one file rewritten, read as fast as
    // can be: within one clock tick the text in the file changes with its size and time alike.
    const QString first = home.filePath("first.conf");
    const auto textOf = [](int i) { return QByteArray("[General]\nvalue=") + QByteArray::number(i % 2) + "\n"; };
    writeBytes(first, textOf(0));
    int stale = 0;
    for (int i = 0; i < 1000; ++i) {
        if (i % 4 == 0)
            writeBytes(first, textOf(i / 4));
        else
            writeBytes(conf, textOf(i));
        const QString read = i % 4 == 0 ? first : conf;
        if (UserDefaults(read, home.path()).stringForKey("value") != QString::number((i % 4 == 0 ? i / 4 : i) % 2))
            ++stale;
    }
    EXPECT_EQ(stale, 0) << "reads answered with an earlier text";

    const QByteArray before = inspect(conf).bytes;
    std::optional<UserDefaults> unread;
    {
        const FileSizeLimit noCopy(8);
        unread.emplace(conf, home.path());
    }
    EXPECT_FALSE(unread->object("value").has_value());
    EXPECT_TRUE(unread->notSavedReason().value_or("").contains("private copy")) << unread->notSavedReason().value_or("").toStdString();
    unread->setString("value", "session");
    EXPECT_EQ(inspect(conf).bytes, before);
}

// What is written is byte for byte what QSettings itself writes for the same change, so
// files keep their form whichever version wrote them last.
TEST(UserDefaultsTest, WhatIsWrittenIsByteForByteWhatQSettingsWrites)
{
    const QByteArray starts[] = {
        {},
        "[General]\nzeta=1\nalpha=\"a, b\"\n\n[Group]\nkey=value\n",
        "; a comment\n[General]\nlist=one, two\nbytes=@ByteArray(\\0\\x1)\nname=old\n",
    };
    const std::function<void(UserDefaults&)> changes[] = {
        [](UserDefaults& d) { d.setString("name", "new, with separators; and = \"quotes\""); },
        [](UserDefaults& d) { d.setBool("Group/flag", true); },
        [](UserDefaults& d) { d.removeObject("name"); },
    };
    const std::function<void(QSettings&)> sameChanges[] = {
        [](QSettings& s) { s.setValue("name", "new, with separators; and = \"quotes\""); },
        [](QSettings& s) { s.setValue("Group/flag", true); },
        [](QSettings& s) { s.remove("name"); },
    };
    for (const QByteArray& start : starts) {
        for (size_t i = 0; i < std::size(changes); ++i) {
            SCOPED_TRACE(start.toStdString() + " / change " + std::to_string(i));
            QTemporaryDir ours, theirs;
            const QString ourFile = ours.filePath("Zentharion.conf"), theirFile = theirs.filePath("Zentharion.conf");
            for (const QString& path : {ourFile, theirFile}) {
                QFile f(path);
                if (!start.isEmpty() && f.open(QIODevice::WriteOnly))
                    f.write(start);
            }
            {
                UserDefaults defaults(ourFile, ours.path());
                changes[i](defaults);
                EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
            }
            {
                QSettings settings(theirFile, QSettings::IniFormat);
                sameChanges[i](settings);
            }
            EXPECT_EQ(inspect(ourFile).bytes.toStdString(), inspect(theirFile).bytes.toStdString());
        }
    }
}

// Reading and writing the settings leaves no descriptor open behind them.
TEST(UserDefaultsTest, FiftyChangesLeaveTheOpenDescriptorsAsTheyWere)
{
    if (!QFileInfo(QStringLiteral("/proc/self/fd")).isDir())
        GTEST_SKIP() << "no /proc to count descriptors in";
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    const auto openDescriptors = [] { return entriesOf(QStringLiteral("/proc/self/fd")).size(); };
    UserDefaults defaults(conf, home.path());
    defaults.setBool("warm", true); // what Qt opens once for good
    const auto before = openDescriptors();
    for (int i = 0; i < 50; ++i) {
        defaults.setString("count", QString::number(i));
        EXPECT_EQ(UserDefaults(conf, home.path()).stringForKey("count"), QString::number(i));
    }
    EXPECT_EQ(openDescriptors(), before);
}

// A change that could not be saved (here: no private copy could be made) is neither lost
// from the session nor from the file once a later change is saved.
TEST(UserDefaultsTest, AChangeThatCouldNotBeSavedGoesWithTheNextOne)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    const auto previous = qInstallMessageHandler(recordSettingsWarning);
    UserDefaults defaults(conf, home.path(), {.later = [](auto, auto) {}});
    {
        const FileSizeLimit noCopy(8);
        defaults.setString("first", "kept");
    }
    EXPECT_TRUE(defaults.notSavedReason().value_or("").startsWith("Settings cannot be saved:"))
        << defaults.notSavedReason().value_or("").toStdString();
    defaults.setString("second", "saved");
    qInstallMessageHandler(previous);
    EXPECT_EQ(defaults.stringForKey("first"), QStringLiteral("kept"));
    EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
    const UserDefaults reread(conf, home.path());
    EXPECT_EQ(reread.stringForKey("first"), QStringLiteral("kept"));
    EXPECT_EQ(reread.stringForKey("second"), QStringLiteral("saved"));
}

namespace {

// Kept changes are retried on the test's own virtual time.
UserDefaults::Environment onVirtualTime(test::ManualScheduler& scheduler)
{
    return {.later = [&scheduler](std::chrono::milliseconds delay, std::function<void()> call) {
        scheduler.runAfter(delay, std::move(call));
    }};
}

// A folder of 4 KiB that is full; nothing where the test may not mount one.
bool mountFullFolder(const QString& at)
{
    if (!QDir().mkpath(at) || ::mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, "size=4k") != 0)
        return false;
    QFile filler(at + "/filler");
    if (filler.open(QIODevice::WriteOnly))
        while (filler.write(QByteArray(512, 'x')) > 0 && filler.flush()) {}
    return true;
}

} // namespace

namespace {

// The mode of every folder under `root`, never through a link.
std::map<QString, mode_t> folderModes(const QString& root)
{
    std::map<QString, mode_t> modes;
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            modes[path] = info.st_mode & 07777;
    }
    return modes;
}

// Every file under `root` with its bytes, links as the text they hold.
std::map<QString, QByteArray> filesUnder(const QString& root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        files[path] = info.isSymLink() ? QFile::encodeName(info.symLinkTarget()) : info.isFile() ? inspect(path).bytes : QByteArray("folder");
    }
    return files;
}

bool makeFolder(const QString& path, mode_t mode)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

// No folder's mode changes unless the program made it in that call, and nothing is written into
// a folder a link leads to outside the home folder: such a link keeps the settings for the
// session (as root, the system's folders are among them). An existing folder of the user's own
// inside the home, open to others or shared with a group, keeps its mode and takes the change.
TEST(UserDefaultsTest, NoFolderChangesModeAndNothingIsWrittenWhereALinkLeadsOutOfTheHome)
{
    struct Case {
        const char* what;
        std::function<bool(const QString& root, const QString& settings)> make;
        bool saved;
    };
    const auto linkTo = [](const QString& target, mode_t mode) {
        return [target, mode](const QString& root, const QString& settings) {
            return makeFolder(root + "/" + target, mode) && QFile::link(root + "/" + target, settings);
        };
    };
    const Case cases[] = {
        {"a link to a 0755 folder outside the home", linkTo("etc", 0755), false},
        {"a link to a 1777 folder outside the home", linkTo("tmp", 01777), false},
        {"a link to a group-shared 2775 folder outside the home", linkTo("shared", 02775), false},
        {"a link to a group-shared 2775 folder of the user's inside the home", linkTo("home/shared", 02775), true},
        {"an existing 0755 folder inside the home", [](const QString&, const QString& settings) { return makeFolder(settings, 0755); }, true},
        {"a link at the cache's zentharion",
         [](const QString& root, const QString&) {
             return makeFolder(root + "/cache", 0755) && QDir().mkpath(root + "/home/.cache")
                    && QFile::link(root + "/cache", root + "/home/.cache/zentharion");
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        const QString home = root.filePath("home"), settings = home + "/.config/Zentharion", conf = settings + "/Zentharion.conf";
        ASSERT_TRUE(makeFolder(home + "/.config", 0700));
        ASSERT_TRUE(c.make(root.path(), settings));
        const bool returning = QFileInfo(settings).isSymLink() ? QFileInfo(settings).canonicalFilePath().startsWith(home + "/")
                                                               : QFileInfo(settings).isDir();
        if (returning)
            writeBytes(conf, "[General]\nown=mine\n");
        const test::ScopedVariable cache("XDG_CACHE_HOME", home + "/.cache");
        const auto modes = folderModes(root.path());
        auto outside = filesUnder(root.path());
        std::erase_if(outside, [&](const auto& entry) { return entry.first.startsWith(home + "/"); });
        {
            UserDefaults defaults(conf, home);
            defaults.setString("changed", "yes");
            EXPECT_EQ(defaults.notSavedReason().has_value(), !c.saved) << defaults.notSavedReason().value_or("").toStdString();
            if (!c.saved)
                EXPECT_TRUE(defaults.notSavedReason().value_or("").contains("outside your home folder"));
        }
        for (const auto& [folder, mode] : folderModes(root.path()))
            if (modes.contains(folder))
                EXPECT_EQ(mode, modes.at(folder)) << folder.toStdString();
        auto after = filesUnder(root.path());
        std::erase_if(after, [&](const auto& entry) { return entry.first.startsWith(home + "/"); });
        EXPECT_EQ(after, outside) << "written outside the home";
        if (c.saved) {
            const UserDefaults reread(conf, home);
            EXPECT_EQ(reread.stringForKey("own"), returning ? std::optional<QString>("mine") : std::nullopt);
            EXPECT_EQ(reread.stringForKey("changed"), QStringLiteral("yes"));
        }
    }
}

// Root run with another user's HOME (sudo -E) changes nothing in that user's home: their
// settings folder is theirs, and no folder of root's is made there, which they could no longer
// write in. The settings are kept for the session.
TEST(UserDefaultsTest, AsRootWithAnotherUsersHomeNothingIsMadeOrWrittenThere)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make another user's home";
    for (const bool theirSettings : {true, false}) {
        SCOPED_TRACE(theirSettings ? "their settings folder" : "no settings folder yet");
        QTemporaryDir root;
        const QString theirs = root.filePath("theirs"), conf = theirs + "/.config/Zentharion/Zentharion.conf";
        ASSERT_TRUE(makeFolder(theirs, 0755));
        if (theirSettings) {
            ASSERT_TRUE(makeFolder(theirs + "/.config/Zentharion", 0700));
            writeBytes(conf, "[General]\nown=theirs\n");
        }
        ASSERT_EQ(::system(qPrintable(QStringLiteral("chown -R 4242:4242 '%1'").arg(theirs))), 0);
        const auto before = filesUnder(theirs);
        const auto modes = folderModes(theirs);
        {
            UserDefaults defaults(conf, theirs, {.later = [](auto, auto) {}});
            defaults.setString("changed", "yes");
            EXPECT_EQ(defaults.stringForKey("changed"), QStringLiteral("yes")) << "kept for the session";
            EXPECT_TRUE(defaults.notSavedReason().has_value());
        }
        EXPECT_EQ(filesUnder(theirs), before);
        EXPECT_EQ(folderModes(theirs), modes);
    }
}

// The runtime and cache folders are nothing to the settings: reached through links another user
// owns in a sticky folder and flips all the while, between folders of the user's and folders
// outside, they lead no copy and no write anywhere, and every start reads the user's own values.
TEST(UserDefaultsTest, LinksFlippedOnTheWayToTheRuntimeAndCacheFoldersRedirectNothing)
{
    QTemporaryDir root;
    const QString sticky = root.filePath("shared"), home = root.filePath("home"), conf = home + "/.config/Zentharion/Zentharion.conf";
    ASSERT_TRUE(makeFolder(sticky, 01777));
    for (const char* side : {"mine", "outside"}) {
        ASSERT_TRUE(makeFolder(root.filePath(side) + "/runtime", 0700));
        ASSERT_TRUE(makeFolder(root.filePath(side) + "/cache/zentharion", 0700));
    }
    writeBytes(root.filePath("outside") + "/runtime/victim.conf", "[General]\nown=theirs\n");
    writeBytes(root.filePath("outside") + "/cache/zentharion/victim.conf", "[General]\nown=theirs\n");
    ASSERT_TRUE(makeFolder(QFileInfo(conf).path(), 0700));
    writeBytes(conf, "[General]\nown=mine\n");
    const test::ScopedVariable runtime("XDG_RUNTIME_DIR", sticky + "/run/runtime");
    const test::ScopedVariable cache("XDG_CACHE_HOME", sticky + "/cache/cache");
    const auto outsideBefore = filesUnder(root.filePath("outside"));

    std::atomic<bool> stop {false};
    std::thread flipper([&] {
        for (int round = 0; !stop; ++round) {
            for (const char* name : {"run", "cache"}) {
                const QByteArray aside = QFile::encodeName(sticky) + "/." + name, at = QFile::encodeName(sticky) + "/" + name;
                const QByteArray target = QFile::encodeName(root.filePath(round % 2 ? "outside" : "mine"));
                ::unlink(aside.constData());
                ::symlink(target.constData(), aside.constData());
                if (::geteuid() == 0)
                    [[maybe_unused]] const int owned = ::lchown(aside.constData(), 4242, 4242);
                ::rename(aside.constData(), at.constData());
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    int misread = 0, unsaved = 0;
    for (int i = 0; i < 60; ++i) {
        UserDefaults defaults(conf, home, {.later = [](auto, auto) {}});
        misread += defaults.stringForKey("own") != QStringLiteral("mine");
        defaults.setString("changed", QString::number(i));
        unsaved += defaults.notSavedReason().has_value();
    }
    stop = true;
    flipper.join();
    EXPECT_EQ(misread, 0) << "starts that did not read the user's own value";
    EXPECT_EQ(unsaved, 0);
    EXPECT_EQ(filesUnder(root.filePath("outside")), outsideBefore) << "a file outside the settings folder changed";
    EXPECT_EQ(UserDefaults(conf, home).stringForKey("changed"), QStringLiteral("59"));
}

// A returning user's settings are read, and a change saved, whatever the runtime folder, the
// cache and the home are like (the settings need no folder but their own, and trust it as far as
// the file), and while another program holds the settings folder's lock at start.
TEST(UserDefaultsTest, StoredValuesAreReadAndAChangeSavedWhateverTheRuntimeCacheAndHome)
{
    QTemporaryDir probe;
    const bool canMount = mountFullFolder(probe.filePath("full"));
    if (canMount)
        ::umount2(QFile::encodeName(probe.filePath("full")).constData(), MNT_DETACH);
    else
        std::printf("[ note ] no full cache row: mounting one is not allowed here\n");
    struct Case {
        QString runtime, cache;
        mode_t home = 0700;
        bool lockHeld = false;
    };
    std::vector<Case> cases;
    for (const char* runtime : {"own", "unset", "missing", "group-writable", "a file", "another user's"})
        cases.push_back({runtime, "own"});
    for (const char* cache : {"own", "read-only", "a file", "full", "missing"})
        for (const mode_t home : {0700, 0775, 0555})
            if (QString(cache) != "full" || canMount)
                cases.push_back({"unset", cache, home});
    cases.push_back({"own", "own", 0700, true});
    for (const Case& c : cases) {
        const std::string what = "runtime " + c.runtime.toStdString() + ", cache " + c.cache.toStdString() + ", home 0"
                                 + QString::number(c.home, 8).toStdString() + (c.lockHeld ? ", lock held at start" : "");
        SCOPED_TRACE(what);
        QTemporaryDir root;
        const QString home = root.filePath("home"), runtime = root.filePath("runtime"), cache = root.filePath("cache"),
                      conf = home + "/.config/Zentharion/Zentharion.conf";
        ASSERT_TRUE(makeFolder(QFileInfo(conf).path(), 0700));
        writeBytes(conf, "[General]\nown=mine\n");
        if (c.runtime == "a file")
            writeBytes(runtime, "no folder");
        else if (c.runtime != "missing" && c.runtime != "unset")
            ASSERT_TRUE(makeFolder(runtime, c.runtime == "group-writable" ? 0770 : 0700));
        if (c.runtime == "another user's" && ::geteuid() == 0)
            ASSERT_EQ(::chown(QFile::encodeName(runtime).constData(), 4242, 4242), 0);
        if (c.cache == "a file")
            writeBytes(cache, "no folder");
        else if (c.cache == "full")
            ASSERT_TRUE(mountFullFolder(cache));
        else if (c.cache != "missing")
            ASSERT_TRUE(makeFolder(cache, c.cache == "read-only" ? 0500 : 0700));
        ASSERT_EQ(::chmod(QFile::encodeName(home).constData(), c.home), 0);
        const test::ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", c.runtime == "unset" ? QString() : runtime);
        const test::ScopedVariable cacheVariable("XDG_CACHE_HOME", cache);
        pid_t holder = -1;
        if (c.lockHeld)
            ASSERT_GT(holder = holdLockIn(QFileInfo(conf).path()), 0);
        {
            UserDefaults defaults(conf, home, {.later = [](auto, auto) {}});
            EXPECT_EQ(defaults.stringForKey("own"), QStringLiteral("mine"));
            defaults.setString("changed", "yes");
            if (holder > 0)
                stopChild(std::exchange(holder, -1));
            EXPECT_TRUE(defaults.saveNow(std::chrono::milliseconds(UserDefaults::quitLockWaitMs)));
            EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
        }
        EXPECT_EQ(UserDefaults(conf, home).stringForKey("changed"), QStringLiteral("yes"));
        ::chmod(QFile::encodeName(home).constData(), 0700);
        ::chmod(QFile::encodeName(cache).constData(), 0700);
        if (c.cache == "full")
            ::umount2(QFile::encodeName(cache).constData(), MNT_DETACH);
    }
}

// A change made while another program holds the settings lock is kept and answered but not
// written; once the lock is free it is written, except where another copy has set its key
// since (the person's later choice there wins). The person is told only when the changes stay
// unsaved past a few retries, and no longer once they are saved. A change once written is not
// written again over the other copy's later value.
TEST(UserDefaultsTest, AKeptChangeIsWrittenOnlyUnderTheLockAndNeverOverANewerValue)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    test::ManualScheduler scheduler;
    UserDefaults a(conf, home.path(), onVirtualTime(scheduler)), b(conf, home.path(), onVirtualTime(scheduler));
    const auto fileSays = [&](const char* key) { return UserDefaults(conf, home.path()).stringForKey(key); };
    a.setString("first", "saved");

    const int folder = ::open(QFile::encodeName(home.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    const QByteArray held = inspect(conf).bytes;
    g_settingsWarnings.clear();
    const auto previous = qInstallMessageHandler(recordSettingsWarning);
    a.setBool("SuggestRestoreOnDisplayChange", false);
    a.setString("mine", "a");
    EXPECT_EQ(inspect(conf).bytes, held) << "written without the lock";
    EXPECT_EQ(a.stringForKey("mine"), QStringLiteral("a"));
    EXPECT_EQ(a.notSavedReason(), std::nullopt) << "told at once";
    for (int i = 0; i < UserDefaults::retriesBeforeTelling + 2; ++i)
        scheduler.advance(UserDefaults::retryDelay);
    EXPECT_EQ(inspect(conf).bytes, held) << "written without the lock";
    EXPECT_TRUE(a.notSavedReason().value_or("").contains("another program")) << a.notSavedReason().value_or("").toStdString();
    EXPECT_EQ(g_settingsWarnings.size(), 1) << g_settingsWarnings.join('\n').toStdString();
    ASSERT_EQ(::flock(folder, LOCK_UN), 0);
    ::close(folder);

    b.setBool("SuggestRestoreOnDisplayChange", true);
    scheduler.advance(UserDefaults::retryDelay);
    qInstallMessageHandler(previous);
    EXPECT_EQ(a.notSavedReason(), std::nullopt);
    EXPECT_EQ(fileSays("mine"), QStringLiteral("a"));
    EXPECT_EQ(fileSays("SuggestRestoreOnDisplayChange"), QStringLiteral("true"));
    EXPECT_TRUE(a.boolForKey("SuggestRestoreOnDisplayChange")) << "the newer value answers";

    a.setString("late", "a");
    b.setString("late", "b's later value");
    a.setString("last", "a");
    EXPECT_EQ(fileSays("late"), QStringLiteral("b's later value"));
    EXPECT_EQ(fileSays("last"), QStringLiteral("a"));
}

// A change kept while no private copy can be made (so the file cannot be read either) remembers
// no guess of what the file held: the value read at start would make a later change here give
// way to an earlier one of another copy, and the person's last choice would be dropped unsaid.
TEST(UserDefaultsTest, AChangeKeptWhileTheFileCannotBeReadIsNotDroppedForAnOlderValue)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    writeBytes(conf, "[General]\nkey=at start\n");
    test::ManualScheduler scheduler;
    UserDefaults a(conf, home.path(), onVirtualTime(scheduler));
    UserDefaults(conf, home.path()).setString("key", "theirs, earlier");
    {
        const FileSizeLimit noCopy(8);
        a.setString("key", "mine, later");
    }
    scheduler.advance(UserDefaults::firstRetryDelay);
    EXPECT_EQ(a.stringForKey("key"), QStringLiteral("mine, later"));
    EXPECT_EQ(UserDefaults(conf, home.path()).stringForKey("key"), QStringLiteral("mine, later"));
}

// Where QSettings cannot write the private copy (its folder fills between the copy and the
// rewrite; here, a file size limit), the text it had is no result: the change is kept and
// saved once it can be.
TEST(UserDefaultsTest, AChangeQSettingsCouldNotWriteToThePrivateCopyIsKept)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    writeBytes(conf, "[General]\nkept=yes\n");
    const QByteArray before = inspect(conf).bytes;
    test::ManualScheduler scheduler;
    UserDefaults defaults(conf, home.path(), onVirtualTime(scheduler));
    const QString large(8000, u'x');
    rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small {4096, limit.rlim_max};
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    defaults.setString("large", large);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(defaults.stringForKey("large"), large);
    EXPECT_EQ(inspect(conf).bytes, before);
    scheduler.advance(UserDefaults::firstRetryDelay);
    const UserDefaults reread(conf, home.path());
    EXPECT_EQ(reread.stringForKey("large"), large);
    EXPECT_EQ(reread.stringForKey("kept"), QStringLiteral("yes"));
}

// What a copy of the program ended in the middle of a store left beside the settings is removed
// at the next start: its private copies with what QSettings left beside them, and the writer's
// temporary files. A copy a live reader holds, a folder and any other name stay, and nothing a
// link leads to is touched.
TEST(UserDefaultsTest, WhatACutStoreLeftIsRemovedAtStartButNotALiveReadersCopy)
{
    QTemporaryDir home, elsewhere;
    writeBytes(elsewhere.filePath("victim"), "untouched");
    const QString cut = ".Zentharion.conf.copy-0123456789abcdef0123456789abcdef",
                  live = ".Zentharion.conf.copy-fedcba9876543210fedcba9876543210";
    for (const QString& copy : {cut, live}) {
        ASSERT_TRUE(QDir().mkpath(home.filePath(copy)));
        for (const char* name : {"settings.conf", "settings.conf.lock", "settings.conf.Ab12Cd"})
            writeBytes(home.filePath(copy) + "/" + name, "[General]\nx=1\n");
    }
    ASSERT_TRUE(QFile::link(elsewhere.filePath("victim"), home.filePath(cut) + "/link"));
    const int reader = ::open(QFile::encodeName(home.filePath(live)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    ASSERT_TRUE(QFile::link(elsewhere.path(), home.filePath(".Zentharion.conf.copy-link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.filePath(".Zentharion.conf.copy-pipe")).constData(), 0600), 0);
    writeBytes(home.filePath(".Zentharion.conf.copy-file"), "planted");
    ASSERT_TRUE(QDir().mkpath(home.filePath(".Zentharion.conf.copy-folder/inner")));
    writeBytes(home.filePath(".Zentharion.conf.2f0c6a8e-41b5-4c1e-9d7a-0c6e5b1d2a3f.tmp"), "[General]\nhalf");
    writeBytes(home.filePath(".Other.conf.1.tmp"), "not ours");
    writeBytes(home.filePath("Zentharion.conf"), "[General]\nown=mine\n");

    const UserDefaults defaults(home.filePath("Zentharion.conf"), home.path());
    ::close(reader);
    EXPECT_EQ(defaults.stringForKey("own"), QStringLiteral("mine"));
    QStringList expected {".Other.conf.1.tmp", ".Zentharion.conf.copy-folder", live, "Zentharion.conf"};
    expected.sort();
    QStringList left = entriesOf(home.path());
    left.sort();
    EXPECT_EQ(left, expected);
    EXPECT_EQ(entriesOf(home.filePath(live)).size(), 3) << "a live reader's copy was emptied";
    EXPECT_EQ(entriesOf(elsewhere.path()), QStringList {"victim"});
    EXPECT_EQ(inspect(elsewhere.filePath("victim")).bytes, QByteArray("untouched"));
}

// Where others may write in the settings folder (a folder the person opened to all), another
// user who renames each new entry there away and puts a link to a file outside, or a lock file
// of QSettings' under the copy's name, reaches nothing: the copies are in folders only their
// maker can write in. Every change is saved, every start reads the user's value, and the file
// outside keeps its bytes.
TEST(UserDefaultsTest, AnotherUserWhoMayWriteInTheSettingsFolderRedirectsNoCopy)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can play another user";
    QTemporaryDir root;
    const QString settings = root.filePath("home/.config/Zentharion"), outside = root.filePath("secret.ini");
    ASSERT_TRUE(makeFolder(settings, 0777));
    writeBytes(outside, "[General]\nsecretKey=rootonly\n");
    ::chmod(QFile::encodeName(outside).constData(), 0600);
    const QByteArray before = inspect(outside).bytes;
    writeBytes(settings + "/Zentharion.conf", "[General]\nown=mine\n");
    // Opened first: the way to the folder is closed to the other user, the folder is not.
    const int folder = ::open(QFile::encodeName(settings).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::atomic<bool> stop {false};
    std::atomic<int> planted {0};
    // A thread of its own that becomes the other user (the raw calls change this thread only).
    std::thread other([&] {
        if (::syscall(SYS_setresgid, 4242, 4242, 4242) != 0 || ::syscall(SYS_setresuid, 4242, 4242, 4242) != 0)
            return;
        const QByteArray target = QFile::encodeName(outside);
        for (unsigned round = 0; !stop; ++round) {
            DIR* entries = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            while (const dirent* entry = entries ? ::readdir(entries) : nullptr) {
                const QByteArray name = entry->d_name;
                struct stat info {};
                if (!name.startsWith(".Zentharion.conf.copy-") || name.contains('~') || name.endsWith(".lock")
                    || ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(info.st_mode))
                    continue;
                // Inside a copy's folder where it may write there, else at the copy itself.
                const int inside = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                const int at = inside >= 0 ? inside : folder;
                if (::renameat(at, name.constData(), at, (name + '~' + QByteArray::number(round)).constData()) == 0) {
                    ::symlinkat(target.constData(), at, name.constData());
                    const int lock = ::openat(at, (name + ".lock").constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                    [[maybe_unused]] const ssize_t n = ::write(lock, "1\nzentharion\n\n", 14);
                    ::close(lock);
                    ++planted;
                }
                if (inside >= 0)
                    ::close(inside);
            }
            if (entries)
                ::closedir(entries);
        }
    });
    int misread = 0, unsaved = 0;
    std::atomic<int> done {0};
    const bool returned = returnsWithoutStalling(
        [&] {
            for (int i = 0; i < 40; ++i, ++done) {
                UserDefaults defaults(settings + "/Zentharion.conf", root.filePath("home"), {.later = [](auto, auto) {}});
                misread += defaults.stringForKey("own") != QStringLiteral("mine");
                defaults.setString("changed", QString::number(i));
                unsaved += defaults.notSavedReason().has_value();
            }
        },
        done, [&] {
            stop = true;
            QDirIterator lockFiles(settings, {"*.lock"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (lockFiles.hasNext())
                QFile::remove(lockFiles.next());
        });
    stop = true;
    other.join();
    ::close(folder);
    std::printf("[ note ] the other user renamed %d entries\n", planted.load());
    EXPECT_TRUE(returned) << "a store waited on a planted lock file";
    EXPECT_EQ(misread, 0);
    EXPECT_EQ(unsaved, 0);
    EXPECT_EQ(inspect(outside).bytes, before) << "a file outside the settings folder was written";
    EXPECT_EQ(UserDefaults(settings + "/Zentharion.conf", root.filePath("home")).stringForKey("changed"), QStringLiteral("39"));
}

namespace {

constexpr int keysPerWriter = 20;
constexpr char writerFileVariable[] = "ZEN_SETTINGS_TEST_WRITER_FILE";
constexpr char writerNameVariable[] = "ZEN_SETTINGS_TEST_WRITER_NAME";

QString keyOf(const QString& writer, int i)
{
    return QStringLiteral("%1/key%2").arg(writer).arg(i);
}

} // namespace

// Two copies of the program in two processes change keys of their own at once, while a third
// program holds the settings lock for a while, or with a folder with contents under the old
// lock file's name. Every key either reaches the file or its writer says it is not saved, and
// once the lock is free every key reaches the file.
TEST(UserDefaultsTest, TwoWritersInTwoProcessesLoseNoKey)
{
    struct Case {
        const char* what;
        bool held;
    };
    for (const Case& c : {Case {"the lock held by a third program", true}, Case {"a folder under the old lock's name", false}}) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString conf = home.filePath("Zentharion.conf");
        pid_t holder = -1;
        if (c.held)
            ASSERT_GT(holder = holdLockIn(home.path()), 0);
        else
            ASSERT_TRUE(QDir().mkpath(conf + ".lock/inner"));
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const char* name : {"one", "two"}) {
            auto& writer = writers.emplace_back(std::make_unique<QProcess>());
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(writerFileVariable, conf);
            environment.insert(writerNameVariable, name);
            writer->setProcessEnvironment(environment);
            writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=UserDefaultsTest.StoresItsKeysAsAnotherCopy"});
            ASSERT_TRUE(writer->waitForStarted());
        }
        std::map<QString, bool> saidSaved;
        for (size_t i = 0; i < writers.size(); ++i) {
            QByteArray said;
            while (!said.contains("stored ") && writers[i]->waitForReadyRead(60000))
                said += writers[i]->readAllStandardOutput();
            ASSERT_TRUE(said.contains("stored ")) << said.constData();
            saidSaved[i == 0 ? "one" : "two"] = said.contains("stored saved");
        }
        const UserDefaults meanwhile(conf, home.path());
        for (const auto& [writer, saved] : saidSaved) {
            for (int i = 0; saved && i < keysPerWriter; ++i)
                EXPECT_TRUE(meanwhile.object(keyOf(writer, i))) << "said saved, but lost: " << keyOf(writer, i).toStdString();
            if (c.held)
                EXPECT_FALSE(saved) << writer.toStdString() << " wrote without the lock";
        }
        if (holder > 0)
            stopChild(holder);
        for (auto& writer : writers) {
            writer->write("go\n");
            ASSERT_TRUE(writer->waitForFinished(60000));
            EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardOutput().constData();
        }
        const UserDefaults after(conf, home.path());
        for (const char* writer : {"one", "two"})
            for (int i = 0; i < keysPerWriter; ++i)
                EXPECT_TRUE(after.object(keyOf(writer, i))) << "lost: " << keyOf(writer, i).toStdString();
    }
}

TEST(UserDefaultsTest, StoresItsKeysAsAnotherCopy)
{
    const QString conf = qEnvironmentVariable(writerFileVariable), name = qEnvironmentVariable(writerNameVariable);
    if (conf.isEmpty())
        GTEST_SKIP() << "runs only as a writer of TwoWritersInTwoProcessesLoseNoKey";
    UserDefaults defaults(conf, QFileInfo(conf).absolutePath());
    for (int i = 0; i < keysPerWriter; ++i) {
        defaults.setString(keyOf(name, i), QStringLiteral("set"));
        QCoreApplication::processEvents();
    }
    std::printf("stored %s\n", defaults.saveNow(std::chrono::milliseconds(0)) ? "saved" : "unsaved");
    std::fflush(stdout);
    char line[8] {};
    ASSERT_GT(::read(0, line, sizeof line), 0);
    EXPECT_TRUE(defaults.saveNow(std::chrono::milliseconds(UserDefaults::quitLockWaitMs)));
}

// A kept change remembers what the file held when it was first kept, not at each failed try:
// another copy's value saved between two tries is newer, and the kept change gives way to it.
// After the changes are saved, a new problem starts afresh: retries come soon again, and the
// person is told only once a few of them failed, and no longer once the change is saved.
TEST(UserDefaultsTest, AKeptChangeGivesWayToAValueSavedBetweenTriesAndEachProblemStartsAfresh)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    writeBytes(conf, "[General]\nkey=at start\n");
    test::ManualScheduler scheduler;
    UserDefaults a(conf, home.path(), onVirtualTime(scheduler));
    const int folder = ::open(QFile::encodeName(home.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto fileSays = [&](const char* key) { return UserDefaults(conf, home.path()).stringForKey(key); };
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    a.setString("key", "mine, earlier");
    ASSERT_EQ(::flock(folder, LOCK_UN), 0);
    UserDefaults(conf, home.path()).setString("key", "theirs, later");
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    scheduler.advance(UserDefaults::firstRetryDelay);
    ASSERT_EQ(::flock(folder, LOCK_UN), 0);
    scheduler.advance(UserDefaults::firstRetryDelay);
    EXPECT_EQ(fileSays("key"), QStringLiteral("theirs, later")) << "a newer value was undone";
    EXPECT_EQ(a.stringForKey("key"), QStringLiteral("theirs, later"));

    QObject context;
    int changes = 0;
    a.onNotSavedChanged(&context, [&changes] { ++changes; });
    const auto previous = qInstallMessageHandler(recordSettingsWarning);
    for (const char* value : {"first", "second"}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(::flock(folder, LOCK_EX), 0);
        a.setString("other", value);
        for (int i = 1; i < UserDefaults::retriesBeforeTelling; ++i) {
            scheduler.advance(UserDefaults::firstRetryDelay);
            EXPECT_EQ(a.notSavedReason(), std::nullopt) << "told after " << i << " tries";
        }
        scheduler.advance(UserDefaults::firstRetryDelay);
        EXPECT_TRUE(a.notSavedReason().value_or("").startsWith("Settings are not saved yet: another program holds the folder"))
            << a.notSavedReason().value_or("").toStdString();
        ASSERT_EQ(::flock(folder, LOCK_UN), 0);
        scheduler.advance(UserDefaults::retryDelay);
        EXPECT_EQ(a.notSavedReason(), std::nullopt);
        EXPECT_EQ(fileSays("other"), QString(value));
    }
    qInstallMessageHandler(previous);
    ::close(folder);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 4) << "the words' observers were not told each time they came and went";
}

// A replace of the file that fails (its disk full) saves nothing and says so at once: the change
// is kept, and saved once there is room, so that a later start reads it.
TEST(UserDefaultsTest, AReplaceOnAFullDiskIsKeptToldAndSavedOnceThereIsRoom)
{
    QTemporaryDir home;
    const QString disk = home.filePath("disk"), conf = home.filePath("config/Zentharion.conf");
    ASSERT_TRUE(QDir().mkpath(disk) && QDir().mkpath(home.filePath("config")));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "mounting a small disk is not allowed here";
    // A link as a dotfile manager makes: the file itself on the disk that is full.
    writeBytes(disk + "/Zentharion.conf", "[General]\nown=mine\n");
    ASSERT_TRUE(QFile::link(disk + "/Zentharion.conf", conf));
    const QByteArray before = inspect(disk + "/Zentharion.conf").bytes;
    test::ManualScheduler scheduler;
    const auto previous = qInstallMessageHandler(recordSettingsWarning);
    {
        UserDefaults defaults(conf, home.path(), onVirtualTime(scheduler));
        EXPECT_EQ(defaults.stringForKey("own"), QStringLiteral("mine"));
        defaults.setString("changed", QString(3000, u'x'));
        EXPECT_TRUE(defaults.notSavedReason().value_or("").startsWith("Settings cannot be saved:"))
            << defaults.notSavedReason().value_or("").toStdString();
        EXPECT_EQ(inspect(disk + "/Zentharion.conf").bytes, before);
        ASSERT_EQ(::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", MS_REMOUNT, "size=64k"), 0);
        scheduler.advance(UserDefaults::retryDelay);
        EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(UserDefaults(conf, home.path()).stringForKey("changed"), QString(3000, u'x'));
    ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
}

namespace {

constexpr char quitterVariable[] = "ZEN_SETTINGS_TEST_QUITTER";

} // namespace

// Changes still kept at quit wait for the lock there (another copy writing its last settings at
// the session's end) and reach the file once it is free; where it stays held past that wait,
// the last words name what is lost and promise nothing.
TEST(UserDefaultsTest, AtQuitKeptChangesWaitForTheLockAndWhatIsLostIsNamed)
{
    for (const bool letGo : {true, false}) {
        SCOPED_TRACE(letGo ? "the lock let go after quit" : "the lock held past the wait");
        QTemporaryDir config;
        const QString conf = config.filePath("Zentharion/Zentharion.conf");
        ASSERT_TRUE(QDir().mkpath(config.filePath("Zentharion")));
        writeBytes(conf, "[General]\nown=mine\n");
        pid_t holder = holdLockIn(config.filePath("Zentharion"));
        ASSERT_GT(holder, 0);
        QProcess quitter;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(quitterVariable, "1");
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("QT_LOGGING_RULES", "");
        quitter.setProcessEnvironment(environment);
        quitter.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=UserDefaultsTest.QuitsAsAnotherCopy"});
        QByteArray said;
        while (!said.contains("kept\n") && quitter.waitForReadyRead(60000))
            said += quitter.readAllStandardOutput();
        ASSERT_TRUE(said.contains("kept\n")) << said.constData();
        if (letGo) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            stopChild(std::exchange(holder, -1));
        }
        ASSERT_TRUE(quitter.waitForFinished(60000));
        if (holder > 0)
            stopChild(holder);
        const QString words = QString::fromLocal8Bit(quitter.readAllStandardError());
        const auto stored = UserDefaults(conf, config.path()).stringForKey("SuggestRestoreOnDisplayChange");
        if (letGo) {
            EXPECT_EQ(stored, QStringLiteral("false")) << words.toStdString();
            EXPECT_FALSE(words.contains("Settings")) << words.toStdString();
        } else {
            EXPECT_EQ(stored, std::nullopt);
            EXPECT_TRUE(words.contains("Settings not saved, and lost when the program ends: SuggestRestoreOnDisplayChange"))
                << words.toStdString();
            EXPECT_FALSE(words.contains("are saved")) << words.toStdString();
        }
    }
}

TEST(UserDefaultsTest, QuitsAsAnotherCopy)
{
    if (qEnvironmentVariableIsEmpty(quitterVariable))
        GTEST_SKIP() << "runs only as the copy of AtQuitKeptChangesWaitForTheLockAndWhatIsLostIsNamed";
    UserDefaults::standard().setBool("SuggestRestoreOnDisplayChange", false);
    EXPECT_EQ(UserDefaults::standard().notSavedReason(), std::nullopt) << "told at once";
    std::printf("kept\n");
    std::fflush(stdout);
}
