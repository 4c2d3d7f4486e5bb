#include "App/TerminationSignals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

using namespace zen;

namespace {

bool hasDefaultDisposition(int number)
{
    struct sigaction current {};
    return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

} // namespace

// Each signal that ends a session asks for the ending once it reaches the event loop; a
// second one of the kind is no longer caught, and the handlers go with the object.
TEST(TerminationSignalsTest, EachEndingSignalAsksForTheEndingThroughTheEventLoop)
{
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
        }
        for (const int other : {SIGTERM, SIGINT, SIGHUP})
            EXPECT_TRUE(hasDefaultDisposition(other));
    }
}

// A signal that comes before the application's loop runs (the program is still starting, or
// waits in a loop of its own) still ends the loop once it runs, with status 0.
TEST(TerminationSignalsTest, ASignalBeforeTheLoopRunsEndsItOnceItRuns)
{
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
