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
#include <thread>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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
    const struct passwd* account = ::getpwuid(::geteuid());
    const QString accountHome = account && account->pw_dir ? QFile::decodeName(account->pw_dir) : QString();
    if (accountHome.isEmpty() || accountHome == "/" || !QFileInfo(accountHome).isWritable())
        GTEST_SKIP() << "the account has no home folder of its own to write in";
    // The link's target lives in a folder of the test's own inside that home, removed after.
    QTemporaryDir dotfiles(QDir(accountHome).filePath(".zentharion-test-XXXXXX")), dir;
    ASSERT_TRUE(dotfiles.isValid());
    const QString target = dotfiles.filePath("Zentharion.conf");
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
        UserDefaults defaults(conf);
        defaults.setString("name", "changed");
        EXPECT_EQ(defaults.notSavedReason(), std::nullopt);
    }
    if (savedHome)
        qputenv("HOME", *savedHome);
    else
        qunsetenv("HOME");
    EXPECT_TRUE(QFileInfo(conf).isSymLink());
    const UserDefaults reread(target, accountHome);
    EXPECT_EQ(reread.stringForKey("name"), QStringLiteral("changed"));
    EXPECT_EQ(reread.stringForKey("kept"), QStringLiteral("yes"));
}
