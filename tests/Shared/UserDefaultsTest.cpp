#include "Shared/UserDefaults.h"

#include "Support/ManualScheduler.h"
#include "Support/ScopedVariable.h"

#include <QCoreApplication>
#include <QDir>
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
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    // Far under the 500 ms waits of old, and far over what a write takes even when sanitized.
    constexpr auto storeBound = std::chrono::milliseconds(UserDefaults::lockWaitMs + 300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        // As an earlier version or a umask left it: open to anyone who would hold its lock.
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
        EXPECT_EQ(QFileInfo(home.path()).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                  QFile::Permissions()) << "the settings folder is still open to others";
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

// Each read gives the text that is in the file now, not one read before it; where no private
// copy can be made to read it with, the read says so rather than answering with no keys.
TEST(UserDefaultsTest, AReadAnswersWithTheFileAsItIsNowOrSaysItCannot)
{
    QTemporaryDir home;
    const QString conf = home.filePath("Zentharion.conf");
    // Two texts of one length, read in turn as fast as can be.
    const QString texts[] = {home.filePath("first.conf"), conf};
    for (int i = 0; i < 2; ++i) {
        QFile f(texts[i]);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("[General]\nvalue=") + QByteArray::number(i) + "\n");
    }
    int stale = 0;
    for (int i = 0; i < 1000; ++i) {
        if (UserDefaults(texts[i % 2], home.path()).stringForKey("value") != QString::number(i % 2))
            ++stale;
    }
    EXPECT_EQ(stale, 0) << "reads answered with an earlier text";

    const QString notAFolder = home.filePath("not-a-folder");
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QByteArray before = inspect(conf).bytes;
    UserDefaults unread(conf, home.path(), {.scratchFolder = notAFolder});
    EXPECT_FALSE(unread.object("value").has_value());
    EXPECT_TRUE(unread.notSavedReason().value_or("").contains("private copy")) << unread.notSavedReason().value_or("").toStdString();
    unread.setString("value", "session");
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
    const QString conf = home.filePath("Zentharion.conf"), scratch = home.filePath("scratch");
    {
        QFile f(scratch);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const auto previous = qInstallMessageHandler(recordSettingsWarning);
    UserDefaults defaults(conf, home.path(), {.scratchFolder = scratch});
    defaults.setString("first", "kept");
    ASSERT_TRUE(QFile::remove(scratch) && QDir().mkpath(scratch));
    defaults.setString("second", "saved");
    qInstallMessageHandler(previous);
    EXPECT_EQ(defaults.stringForKey("first"), QStringLiteral("kept"));
    const UserDefaults reread(conf, home.path());
    EXPECT_EQ(reread.stringForKey("first"), QStringLiteral("kept"));
    EXPECT_EQ(reread.stringForKey("second"), QStringLiteral("saved"));
}

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Kept changes are retried on the test's own virtual time.
UserDefaults::Environment onVirtualTime(test::ManualScheduler& scheduler, QString scratchFolder = {})
{
    return {.scratchFolder = std::move(scratchFolder), .later = [&scheduler](std::chrono::milliseconds delay, std::function<void()> call) {
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

// QSettings opens its copy by path: the copy is made where no other user can change the way to
// it, whatever TMPDIR is. Where TMPDIR is a folder another user may rename entries in (theirs,
// or open to all without the sticky bit), that user swaps a folder of their own, holding a link
// to a file outside, in for each scratch folder that appears there; where it is missing, a file
// or full, no copy can be made there. Each time the user's own values are read, a change is
// kept, and nothing outside the copy's folder changes.
TEST(UserDefaultsTest, ThePrivateCopyIsMadeInTheUsersOwnFoldersWhateverTheTemporaryFolder)
{
    QTemporaryDir root;
    const QString outside = root.filePath("outside.conf"), tmp = root.filePath("tmp"), home = root.filePath("home");
    writeBytes(outside, "[General]\nown=theirs\n");
    const QByteArray outsideBefore = inspect(outside).bytes;
    const auto folder = [&](mode_t mode) { return QDir().mkpath(tmp) && ::chmod(QFile::encodeName(tmp).constData(), mode) == 0; };
    struct Case {
        const char* what;
        std::function<bool()> prepare;
        // The runtime folder: the test's own, none, or one inside the temporary folder.
        enum { own, none, inside } runtime = own;
    };
    std::vector<Case> cases = {
        {"open to all without the sticky bit", [&] { return folder(0777); }, Case::none},
        {"open to all, the runtime folder inside it",
         [&] { return folder(0777) && QDir().mkpath(tmp + "/runtime") && ::chmod(QFile::encodeName(tmp + "/runtime").constData(), 0700) == 0; },
         Case::inside},
        {"missing", [] { return true; }},
        {"a regular file", [&] { writeBytes(tmp, "not a folder"); return true; }},
    };
    if (::geteuid() == 0)
        cases.push_back({"another user's folder",
                         [&] { return folder(0755) && ::chown(QFile::encodeName(tmp).constData(), 4242, 4242) == 0; }, Case::none});
    if (mountFullFolder(root.filePath("probe"))) {
        ::umount2(QFile::encodeName(root.filePath("probe")).constData(), MNT_DETACH);
        cases.push_back({"full", [&] { return mountFullFolder(tmp); }});
    } else {
        std::printf("[ note ] no full temporary folder: mounting one is not allowed here\n");
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::umount2(QFile::encodeName(tmp).constData(), MNT_DETACH);
        QFile::remove(tmp);
        QDir(tmp).removeRecursively();
        QDir(home).removeRecursively();
        ASSERT_TRUE(c.prepare());
        ASSERT_TRUE(QDir().mkpath(home));
        const QString conf = home + "/Zentharion.conf";
        writeBytes(conf, "[General]\nown=mine\n");
        const test::ScopedVariable temporary("TMPDIR", tmp);
        std::optional<test::ScopedVariable> runtime;
        if (c.runtime != Case::own)
            runtime.emplace("XDG_RUNTIME_DIR", c.runtime == Case::inside ? tmp + "/runtime" : QString());

        std::atomic<bool> stop {false};
        std::atomic<int> seen {0};
        std::thread swapper([&] {
            const QByteArray base = QFile::encodeName(tmp);
            for (int round = 0; !stop; ++round) {
                for (const QString& name : QDir(tmp).entryList({"zentharion-settings-*"}, QDir::Dirs | QDir::NoDotAndDotDot)) {
                    ++seen;
                    const QByteArray from = base + '/' + QFile::encodeName(name);
                    const QByteArray aside = base + "/stolen-" + QByteArray::number(round);
                    if (::rename(from.constData(), aside.constData()) != 0 || ::mkdir(from.constData(), 0700) != 0)
                        continue;
                    const QByteArray number = QFile::encodeName(name.section(u'-', 3, 3));
                    ::symlink(QFile::encodeName(outside).constData(), (from + "/settings-" + number + ".conf").constData());
                }
                // Where a missing TMPDIR leads Qt's temporary folder: the root, for root.
                seen += int(QDir("/").entryList({"zentharion-settings-*"}, QDir::Dirs).size());
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        {
            UserDefaults defaults(conf, home);
            EXPECT_EQ(defaults.stringForKey("own"), QStringLiteral("mine"));
            for (int i = 0; i < 10; ++i)
                defaults.setString("changed", QString::number(i));
            EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
        }
        const UserDefaults reread(conf, home);
        stop = true;
        swapper.join();
        EXPECT_EQ(reread.stringForKey("own"), QStringLiteral("mine"));
        EXPECT_EQ(reread.stringForKey("changed"), QStringLiteral("9"));
        EXPECT_EQ(seen, 0) << "a private copy was made in the temporary folder";
        EXPECT_EQ(inspect(outside).bytes, outsideBefore);
        EXPECT_FALSE(SettingsText::privateFolder().startsWith(tmp)) << SettingsText::privateFolder().toStdString();
    }
    ::umount2(QFile::encodeName(tmp).constData(), MNT_DETACH);
}

// Root run with another user's HOME (sudo -E) and no runtime folder of its own has no private
// folder, and leaves no folder of root's in that user's home, which their copies could not use.
TEST(UserDefaultsTest, RootMakesNoPrivateFolderInAnotherUsersHome)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make another user's home";
    QTemporaryDir root;
    const QString theirs = root.filePath("theirs");
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 4242, 4242), 0);
    const test::ScopedVariable runtime("XDG_RUNTIME_DIR", {});
    const test::ScopedVariable cache("XDG_CACHE_HOME", theirs + "/.cache");
    EXPECT_EQ(SettingsText::privateFolder(), QString());
    EXPECT_EQ(entriesOf(theirs), QStringList()) << "made in another user's home";
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
    QTemporaryDir home, scratchBase;
    const QString conf = home.filePath("Zentharion.conf"), scratch = scratchBase.filePath("scratch");
    writeBytes(conf, "[General]\nkey=at start\n");
    ASSERT_TRUE(QDir().mkpath(scratch));
    test::ManualScheduler scheduler;
    UserDefaults a(conf, home.path(), onVirtualTime(scheduler, scratch));
    UserDefaults(conf, home.path()).setString("key", "theirs, earlier");

    ASSERT_TRUE(QDir(scratch).removeRecursively());
    writeBytes(scratch, "no folder");
    a.setString("key", "mine, later");
    ASSERT_TRUE(QFile::remove(scratch));
    ASSERT_TRUE(QDir().mkpath(scratch));
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

// What a copy of the program ended in the middle of a store left is removed at the next start:
// its scratch folders (in the private folder, and in the temporary folder where earlier
// versions made them) and the writer's temporary files beside the settings. A running copy's,
// another user's, a link and any other name stay, and nothing a link leads to is touched.
TEST(UserDefaultsTest, WhatACutStoreLeftIsRemovedAtStart)
{
    QTemporaryDir home, scratch, temporary, elsewhere;
    const test::ScopedVariable tmp("TMPDIR", temporary.path());
    writeBytes(elsewhere.filePath("victim"), "untouched");
    const pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const auto leftover = [](const QString& in, pid_t pid, const char* last) {
        const QString name = QStringLiteral("zentharion-settings-%1-7-%2").arg(pid).arg(last);
        EXPECT_TRUE(QDir().mkpath(in + "/" + name));
        writeBytes(in + "/" + name + "/settings-7.conf", "[General]\nx=1\n");
        writeBytes(in + "/" + name + "/settings-7.conf.lock", "");
        return name;
    };
    const QString gone[] = {leftover(scratch.path(), ended, "aB3dE9"), leftover(temporary.path(), ended, "Qw7rTy")};
    QStringList kept = {leftover(scratch.path(), ::getpid(), "run123"), "zentharion-settings-notes",
                        QStringLiteral("zentharion-settings-%1-8-lInK00").arg(ended)};
    ASSERT_TRUE(QDir().mkpath(scratch.filePath(kept[1])));
    ASSERT_TRUE(QFile::link(elsewhere.path(), scratch.filePath(kept[2])));
    if (::geteuid() == 0) {
        kept << leftover(temporary.path(), ended, "other1");
        ASSERT_EQ(::chown(QFile::encodeName(temporary.filePath(kept.back())).constData(), 4242, 4242), 0);
    }
    const QString cutWrite = home.filePath(".Zentharion.conf.2f0c6a8e-41b5-4c1e-9d7a-0c6e5b1d2a3f.tmp");
    writeBytes(cutWrite, "[General]\nhalf");
    writeBytes(home.filePath(".Other.conf.1.tmp"), "not ours");

    const UserDefaults defaults(home.filePath("Zentharion.conf"), home.path(), {.scratchFolder = scratch.path()});
    EXPECT_FALSE(QFileInfo::exists(scratch.filePath(gone[0])));
    EXPECT_FALSE(QFileInfo::exists(temporary.filePath(gone[1])));
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(scratch.filePath(name)) || QFileInfo::exists(temporary.filePath(name))) << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(cutWrite));
    EXPECT_TRUE(QFileInfo::exists(home.filePath(".Other.conf.1.tmp")));
    EXPECT_EQ(entriesOf(elsewhere.path()), QStringList {"victim"});
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
