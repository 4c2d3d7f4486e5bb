// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gdesktopappinfo.h>

#include "Platform/Linux/MainAppLaunchAtLoginService.h"

#include "Support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {
namespace {

using Status = LaunchAtLoginServiceStatus;

// A temporary config home, a system config folder and a program to start.
struct Harness {
    QTemporaryDir dir;
    QString program;
    std::vector<QString> opened;

    explicit Harness(const QString& programFolder = QStringLiteral("bin"))
    {
        const QString folder = dir.filePath(programFolder);
        EXPECT_TRUE(QDir().mkpath(folder));
        program = QDir(folder).filePath(QStringLiteral("zentharion"));
        // Records how it was started: its own path, how many arguments it got, and those. The
        // record appears whole, by a rename, so that a reader never sees it half written.
        test::writeFile(program, "#!/bin/sh\nprintf '%s\\n%s\\n%s\\n' \"$0\" \"$#\" \"$*\" > \"$ZEN_STARTED.part\""
                                 " && mv -f \"$ZEN_STARTED.part\" \"$ZEN_STARTED\"\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(systemFolder());
    }
    QString userFolder() const { return dir.filePath("config/autostart"); }
    QString systemFolder() const { return dir.filePath("xdg/autostart"); }
    MainAppLaunchAtLoginService service(const QString& executable = {})
    {
        return MainAppLaunchAtLoginService({userFolder(), {systemFolder()}, executable.isNull() ? program : executable,
                                            [this](const QString& f) { opened.push_back(f); }});
    }
    QString userEntry() const { return QDir(userFolder()).filePath("zentharion.desktop"); }
    QString systemEntry() const { return QDir(systemFolder()).filePath("zentharion.desktop"); }
    QByteArray entryRunning(const QString& exec, const QByteArray& extra = {}) const
    {
        return "[Desktop Entry]\nType=Application\nName=Z\nExec=" + exec.toUtf8() + "\n" + extra;
    }
};

TEST(MainAppLaunchAtLoginServiceTest, RegistersReadsBackAndUnregisters)
{
    Harness h;
    auto service = h.service();
    EXPECT_EQ(service.status(), Status::notRegistered);
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(service.status(), Status::enabled);
    EXPECT_EQ(MainAppLaunchAtLoginService::entryArguments(h.userEntry()), (QStringList{h.program, "--autostart"}));
    EXPECT_EQ(QDir(h.userFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"zentharion.desktop"})
        << "no temporary file left behind";
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_FALSE(QFileInfo::exists(h.userEntry()));
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(service.unregisterItem()) << "nothing to remove is no error";

    service.openLoginItemsSettings();
    EXPECT_EQ(h.opened, std::vector<QString>{h.userFolder()});
}

TEST(MainAppLaunchAtLoginServiceTest, AnAwkwardPathStartsThisProgramAndNothingElse)
{
    for (const QString& folder : {QStringLiteral("my \"apps\" $HOME `id` back\\slash it's;&|"),
                                  QStringLiteral("100% %u %%f \"$x\"")}) {
    Harness h(folder);
    auto service = h.service();
    ASSERT_TRUE(service.registerItem());
    ASSERT_EQ(service.status(), Status::enabled);
    const auto arguments = MainAppLaunchAtLoginService::entryArguments(h.userEntry());
    ASSERT_TRUE(arguments);
    EXPECT_TRUE(MainAppLaunchAtLoginService::argumentsRun(*arguments, h.program));
    if (!folder.contains(u'%')) {
        EXPECT_EQ(*arguments, (QStringList{h.program, "--autostart"}));
    }

    // GIO itself launches the entry, as a session starting autostart programs would.
    const QString marker = h.dir.filePath("started");
    qputenv("ZEN_STARTED", QFile::encodeName(marker));
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(h.userEntry()).constData());
    ASSERT_NE(info, nullptr);
    GError* error = nullptr;
    EXPECT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error)) << (error ? error->message : "");
    g_clear_error(&error);
    g_object_unref(info);
    QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(marker) && !deadline.hasExpired())
        QThread::msleep(20);
    // Started with the login mark alone, whatever shell stood in between.
    EXPECT_EQ(test::readFile(marker), QFile::encodeName(h.program) + "\n1\n--autostart\n") << folder.toStdString();
    }
}

// Some sessions start autostart entries themselves: they expand the field codes ("%%" is "%",
// a code alone is dropped) and hand the line to /bin/sh -c. The entry must start exactly this
// program there too, with the arguments it names.
TEST(MainAppLaunchAtLoginServiceTest, AShellRunningTheExecLineStartsThisProgramAsGioDoes)
{
    for (const QString& folder : {QStringLiteral("my \"apps\" $HOME `id` back\\slash it's;&|"),
                                  QStringLiteral("100% %u %%f \"$x\"")}) {
        SCOPED_TRACE(folder.toStdString());
        Harness h(folder);
        // Records its own path and then each argument, a line each; whole, by a rename.
        test::writeFile(h.program, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$ZEN_STARTED.part\""
                                   " && mv -f \"$ZEN_STARTED.part\" \"$ZEN_STARTED\"\n");
        ASSERT_TRUE(h.service().registerItem());
        const auto arguments = MainAppLaunchAtLoginService::entryArguments(h.userEntry());
        ASSERT_TRUE(arguments);

        GKeyFile* file = g_key_file_new();
        ASSERT_TRUE(g_key_file_load_from_file(file, QFile::encodeName(h.userEntry()).constData(), G_KEY_FILE_NONE, nullptr));
        gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
        g_key_file_free(file);
        ASSERT_NE(exec, nullptr);
        const QString line = QString::fromUtf8(exec);
        g_free(exec);
        QString expanded;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] == u'%' && i + 1 < line.size()) {
                if (line[++i] == u'%')
                    expanded += u'%';
                continue;
            }
            expanded += line[i];
        }

        const auto started = [&](const std::function<void()>& launch) {
            const QString marker = h.dir.filePath("started");
            QFile::remove(marker);
            qputenv("ZEN_STARTED", QFile::encodeName(marker));
            launch();
            QDeadlineTimer deadline(10000);
            while (!QFileInfo::exists(marker) && !deadline.hasExpired())
                QThread::msleep(20);
            return test::readFile(marker);
        };
        const QByteArray byShell = started([&] { EXPECT_EQ(QProcess::execute("/bin/sh", {"-c", expanded}), 0); });
        const QByteArray byGio = started([&] {
            GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(h.userEntry()).constData());
            ASSERT_NE(info, nullptr);
            EXPECT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, nullptr));
            g_object_unref(info);
        });
        EXPECT_TRUE(byShell.startsWith(QFile::encodeName(h.program) + "\n"));
        EXPECT_EQ(byShell, byGio);
        if (arguments->first() == h.program) {
            EXPECT_EQ(byShell, QFile::encodeName(arguments->join(u'\n')) + "\n");
        }
    }
}

TEST(MainAppLaunchAtLoginServiceTest, OnlyAnEntryInForceThatRunsThisProgramCountsAsEnabled)
{
    Harness h;
    auto service = h.service();
    QDir().mkpath(h.userFolder());
    const QString ours = MainAppLaunchAtLoginService::execLine(h.program);

    test::writeFile(h.userEntry(), h.entryRunning("/usr/bin/true"));
    EXPECT_EQ(service.status(), Status::notRegistered) << "a foreign entry";
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_EQ(test::readFile(h.userEntry()), h.entryRunning("/usr/bin/true")) << "someone else's entry is kept";
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(service.status(), Status::enabled);

    for (const QByteArray& off : {QByteArray("Hidden=true\n"), QByteArray("X-GNOME-Autostart-enabled=false\n")}) {
        test::writeFile(h.userEntry(), h.entryRunning(ours, off));
        EXPECT_EQ(service.status(), Status::notRegistered) << off.constData();
    }
    // Entries written before launches at login were marked still start this program.
    const QString earlierTrampoline = QStringLiteral(R"(/bin/sh -c "exec \\"\\$0\\"" ")") + h.program + '"';
    for (const QString& earlier : {'"' + h.program + '"', earlierTrampoline}) {
        test::writeFile(h.userEntry(), h.entryRunning(earlier));
        EXPECT_EQ(service.status(), Status::enabled) << earlier.toStdString();
    }
    test::writeFile(h.userEntry(), h.entryRunning(ours + " --other"));
    EXPECT_EQ(service.status(), Status::notRegistered) << "another argument";
    test::writeFile(h.userEntry(), "not a desktop entry");
    EXPECT_EQ(service.status(), Status::notRegistered);
    QFile::remove(h.userEntry());

    // A system-wide entry of the same id starts this program too; unregistering hides it.
    test::writeFile(h.systemEntry(), h.entryRunning(ours));
    EXPECT_EQ(service.status(), Status::enabled);
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(test::readFile(h.userEntry()).contains("Hidden=true"));
    EXPECT_EQ(test::readFile(h.systemEntry()), h.entryRunning(ours)) << "the system entry is not touched";
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(service.status(), Status::enabled);
    ASSERT_TRUE(service.unregisterItem());
    EXPECT_EQ(service.status(), Status::notRegistered) << "our entry becomes the hiding one";
}

TEST(MainAppLaunchAtLoginServiceTest, APipeAtTheEntryIsNoEntryAndNeverWaits)
{
    Harness h;
    QDir().mkpath(h.userFolder());
    const QString pipe = h.dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString ours = MainAppLaunchAtLoginService::execLine(h.program);
    test::writeFile(h.dir.filePath("linked.desktop"), h.entryRunning(ours));

    // Should a read wait on the pipe, this writer lets it go, and the test fails on the flag.
    std::atomic<bool> done{false}, hadToRelease{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                hadToRelease = true;
                ::close(fd);
            }
        }
    });
    auto service = h.service();
    struct Case {
        QString entry; // what the user's entry is
        bool link;
        Status status;
    };
    const Case cases[] = {
        {pipe, true, Status::notRegistered},
        {h.dir.filePath("linked.desktop"), true, Status::enabled}, // a dotfile manager's link
    };
    for (const Case& c : cases) {
        QFile::remove(h.userEntry());
        ASSERT_TRUE(QFile::link(c.entry, h.userEntry()));
        EXPECT_EQ(service.status(), c.status) << c.entry.toStdString();
    }
    QFile::remove(h.userEntry());
    ASSERT_EQ(::mkfifo(QFile::encodeName(h.userEntry()).constData(), 0600), 0);
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(service.unregisterItem());
    EXPECT_FALSE(MainAppLaunchAtLoginService::entryArguments(h.userEntry()));
    done = true;
    watchdog.join();
    EXPECT_FALSE(hadToRelease) << "reading the entry waited for a writer";

    // Registering over a link replaces the link; the file it pointed at stays as it was.
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath("other.desktop");
    test::writeFile(outside, "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/true\n");
    struct stat before {}, after {};
    ASSERT_EQ(::stat(QFile::encodeName(outside).constData(), &before), 0);
    QFile::remove(h.userEntry());
    ASSERT_TRUE(QFile::link(outside, h.userEntry()));
    ASSERT_TRUE(service.registerItem());
    EXPECT_EQ(service.status(), Status::enabled);
    EXPECT_FALSE(QFileInfo(h.userEntry()).isSymLink());
    ASSERT_EQ(::stat(QFile::encodeName(outside).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(test::readFile(outside), "[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/true\n");
}

TEST(MainAppLaunchAtLoginServiceTest, FailuresComeBackWithTheirText)
{
    Harness h;
    // The entry's name is taken by a folder: the rename over it fails.
    QDir().mkpath(h.userEntry());
    auto blocked = h.service().registerItem();
    ASSERT_FALSE(blocked);
    EXPECT_FALSE(blocked.error().message.isEmpty());
    QDir(h.userEntry()).removeRecursively();

    // The autostart folder's place is taken by a file.
    Harness h2;
    QDir().mkpath(h2.dir.filePath("config"));
    test::writeFile(h2.userFolder(), "x");
    auto noFolder = h2.service().registerItem();
    ASSERT_FALSE(noFolder);
    EXPECT_TRUE(noFolder.error().message.contains("could not be created"));

    for (const QString& unusable : {QString(""), h.dir.filePath("missing"), h.dir.path(), QString("relative/zentharion"),
                                    h.program + "\nrm -rf ~"}) {
        auto service = h.service(unusable);
        EXPECT_EQ(service.status(), Status::notFound) << unusable.toStdString();
        EXPECT_FALSE(service.registerItem());
    }
}

} // namespace
} // namespace zen
