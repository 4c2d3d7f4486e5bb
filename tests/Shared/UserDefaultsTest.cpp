#include "Shared/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSize>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
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

// Whatever stands at the lock file's name, a store returns at once or after a short wait,
// and the file holds every setting.
TEST(UserDefaultsTest, WhateverStandsAtTheLockFileAStoreReturnsAndTheFileStaysWhole)
{
    pid_t holder = -1;
    struct Case {
        const char* what;
        std::function<void(const QString& lock)> plant;
    };
    const Case cases[] = {
        {"a named pipe", [](const QString& lock) { ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0); }},
        {"a folder with contents",
         [](const QString& lock) {
             ASSERT_TRUE(QDir().mkpath(lock + "/inner"));
             QFile f(lock + "/file");
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         }},
        {"a dangling link", [](const QString& lock) { ASSERT_TRUE(QFile::link(lock + ".missing", lock)); }},
        {"a lock held by a live process",
         [&holder](const QString& lock) {
             int ready[2];
             ASSERT_EQ(::pipe(ready), 0);
             const QByteArray native = QFile::encodeName(lock);
             holder = ::fork();
             ASSERT_GE(holder, 0);
             if (holder == 0) {
                 const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
                 if (fd >= 0 && ::flock(fd, LOCK_EX) == 0)
                     [[maybe_unused]] const ssize_t n = ::write(ready[1], "1", 1);
                 for (;;)
                     ::pause();
             }
             char byte = 0;
             ::close(ready[1]);
             ASSERT_EQ(::read(ready[0], &byte, 1), 1);
             ::close(ready[0]);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString conf = home.filePath("Zentharion.conf");
        const QString lock = conf + ".lock";
        {
            QFile f(conf);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("[General]\nkept=yes\n");
        }
        c.plant(lock);
        const std::atomic<int> noProgress {0};
        const bool returned = returnsWithoutStalling(
            [&] {
                UserDefaults defaults(conf, home.path());
                defaults.setString("name", "changed");
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
        if (holder > 0)
            stopChild(std::exchange(holder, -1));
        EXPECT_TRUE(returned) << "the store waited for what stands at the lock's name";
        const UserDefaults reread(conf, home.path());
        EXPECT_EQ(reread.notSavedReason(), std::nullopt);
        EXPECT_EQ(reread.stringForKey("kept"), QStringLiteral("yes"));
        EXPECT_EQ(reread.stringForKey("name"), QStringLiteral("changed"));
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
