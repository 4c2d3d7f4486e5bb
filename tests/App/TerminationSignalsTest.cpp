#include "App/TerminationSignals.h"
#include "App/ZentharionApp.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotFolderLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zen;

namespace {

using Handler = void (*)(int);

Handler dispositionOf(int number)
{
    struct sigaction current {};
    ::sigaction(number, nullptr, &current);
    return current.sa_handler;
}

bool hasDefaultDisposition(int number)
{
    return dispositionOf(number) == SIG_DFL;
}

// Sets what the signals do for the test, and puts back what they did.
struct Dispositions {
    Handler saved[3];
    explicit Dispositions(Handler handler)
    {
        for (int i = 0; i < 3; ++i)
            saved[i] = std::signal(numbers[i], handler);
    }
    ~Dispositions()
    {
        for (int i = 0; i < 3; ++i)
            std::signal(numbers[i], saved[i]);
    }
    static constexpr int numbers[3] = {SIGTERM, SIGINT, SIGHUP};
};

} // namespace

// Each signal that ends a session asks for the ending once it reaches the event loop; a
// second one of the kind is no longer caught, the other kinds still are, and the handlers go
// with the object.
TEST(TerminationSignalsTest, EachEndingSignalAsksForTheEndingThroughTheEventLoop)
{
    const Dispositions byDefault(SIG_DFL);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(number));
        int asked = 0;
        {
            TerminationSignals handlers([&] { ++asked; });
            ASSERT_TRUE(handlers.isInstalled());
            ASSERT_EQ(::raise(number), 0);
            EXPECT_EQ(asked, 0) << "asked from the handler itself";
            const QDeadlineTimer deadline(10000);
            while (asked == 0 && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            EXPECT_GE(asked, 1);
            EXPECT_TRUE(hasDefaultDisposition(number)) << "a second signal would be waited for too";
            // A session's end sends SIGTERM and SIGHUP together: another kind, arriving while
            // the program ends, goes through the loop too rather than end it on the spot.
            for (const int other : {SIGTERM, SIGINT, SIGHUP}) {
                if (other == number)
                    continue;
                SCOPED_TRACE(::strsignal(other));
                ASSERT_FALSE(hasDefaultDisposition(other)) << "the program's handler went with another kind's signal";
                const int before = asked;
                ASSERT_EQ(::raise(other), 0);
                const QDeadlineTimer otherDeadline(10000);
                while (asked == before && !otherDeadline.hasExpired())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                EXPECT_GT(asked, before);
            }
        }
        for (const int other : {SIGTERM, SIGINT, SIGHUP})
            EXPECT_TRUE(hasDefaultDisposition(other));
    }
}

// A signal that comes before the application's loop runs (the program is still starting, or
// waits in a loop of its own) still ends the loop once it runs, with status 0.
// A signal the program was started to ignore (nohup) stays ignored.
TEST(TerminationSignalsTest, ASignalIgnoredAtTheStartStaysIgnored)
{
    const Dispositions ignored(SIG_IGN);
    int asked = 0;
    {
        TerminationSignals handlers([&] { ++asked; });
        for (const int number : Dispositions::numbers) {
            EXPECT_EQ(dispositionOf(number), SIG_IGN);
            ASSERT_EQ(::raise(number), 0);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    EXPECT_EQ(asked, 0);
    for (const int number : Dispositions::numbers)
        EXPECT_EQ(dispositionOf(number), SIG_IGN);
}

TEST(TerminationSignalsTest, ASignalBeforeTheLoopRunsEndsItOnceItRuns)
{
    const Dispositions byDefault(SIG_DFL);
    TerminationSignals handlers;
    ASSERT_TRUE(handlers.isInstalled());
    ASSERT_EQ(::raise(SIGTERM), 0);
    QCoreApplication::processEvents();
    // Should the ending be lost, the loop ends with status 1 after a while rather than hang.
    QTimer lost;
    lost.setSingleShot(true);
    QObject::connect(&lost, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    lost.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

// However the loop ends (Quit, a signal), a change still waiting then for a layouts folder that
// another process holds gives up at once rather than hold the program's ending up.
TEST(TerminationSignalsTest, OnceTheProgramsLoopHasEndedAWaitForTheLayoutsGivesUp)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath("Zentharion.conf"));
    ZentharionAppDependencies dependencies;
    dependencies.resolveFolders = [] {
        return std::expected<AppSupportDirectoryBootstrapper, AppSupportDirectoryBootstrapper::BootstrapError>(
            std::unexpected(AppSupportDirectoryBootstrapper::BootstrapError::applicationSupportUnavailable));
    };
    dependencies.userDefaults = &defaults;
    dependencies.quit = [] {};
    const ZentharionApp program(std::move(dependencies));

    const int other = ::open(QFile::encodeName(QDir(folder.path()).filePath(SnapshotFolderLock::lockFileName)).constData(),
                             O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const SnapshotFolderLock waited(folder.path(), SnapshotFolderLock::workerWait);
    SnapshotFolderLock::abandonWaits(false);
    ::close(other);
    EXPECT_EQ(waited.state(), SnapshotFolderLock::State::abandoned);
}

namespace {

constexpr char stuckVariable[] = "ZEN_TERMINATION_TEST_STUCK";

// Whether the signal mask `field` ("SigCgt:", "ShdPnd:", ...) of process `pid` has `number`.
bool statusMaskHas(pid_t pid, const char* field, int number)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return (line.mid(int(std::strlen(field))).trimmed().toULongLong(nullptr, 16) >> (number - 1)) & 1;
    }
    return false;
}

// A process of the test's own, killed and waited for should the test leave it running.
struct Child {
    pid_t pid = 0;
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    // Waits for it to end, at most `ms`; its wait status, or -1 while it still runs.
    int endWithin(int ms)
    {
        const QDeadlineTimer deadline(ms);
        for (int status = 0;; ::usleep(10000)) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = 0;
                return status;
            }
            if (deadline.hasExpired())
                return -1;
        }
    }
};

} // namespace

// The program's main thread is stuck (a write or a wait that does not end) and never reads the
// first SIGTERM: the second ends it at once. The stuck program is this test binary again.
TEST(TerminationSignalsTest, ASecondSignalEndsAProgramWhoseMainThreadIsStuck)
{
    QTemporaryDir folder;
    const QByteArray output = QFile::encodeName(folder.filePath("output"));
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray marker = QByteArray(stuckVariable) + "=1";
    std::vector<char*> environment {const_cast<char*>(marker.constData())};
    for (char** variable = environ; *variable; ++variable)
        environment.push_back(*variable);
    environment.push_back(nullptr);
    char filter[] = "--gtest_filter=TerminationSignalsTest.StaysStuckAsTheOtherProgram";
    char* arguments[] = {const_cast<char*>(program.constData()), filter, nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Child child;
    const int spawned = ::posix_spawn(&child.pid, program.constData(), &actions, nullptr, arguments, environment.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    // Its handler is in place once it catches the signal; the first one is taken once no
    // thread has it pending any more.
    const QDeadlineTimer started(60000);
    while (!statusMaskHas(child.pid, "SigCgt:", SIGTERM) && !started.hasExpired() && child.endWithin(0) == -1)
        ::usleep(10000);
    ASSERT_TRUE(child.pid > 0 && statusMaskHas(child.pid, "SigCgt:", SIGTERM)) << "the other program never handled SIGTERM";
    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    const QDeadlineTimer taken(10000);
    while ((statusMaskHas(child.pid, "ShdPnd:", SIGTERM) || statusMaskHas(child.pid, "SigPnd:", SIGTERM)) && !taken.hasExpired())
        ::usleep(10000);
    ASSERT_EQ(child.endWithin(0), -1) << "the first signal ended the program without its loop";

    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
    const int status = child.endWithin(10000);
    ASSERT_NE(status, -1) << "the second SIGTERM did not end the stuck program";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
}

TEST(TerminationSignalsTest, StaysStuckAsTheOtherProgram)
{
    if (qEnvironmentVariableIsEmpty(stuckVariable))
        GTEST_SKIP() << "runs only as the other program of ASecondSignalEndsAProgramWhoseMainThreadIsStuck";
    const Dispositions byDefault(SIG_DFL);
    TerminationSignals handlers;
    for (;;)
        ::pause();
}
