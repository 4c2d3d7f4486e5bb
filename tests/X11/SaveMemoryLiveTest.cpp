// The program's own objects over many saves made the way a person makes them: each through the
// name prompt, shown and answered on the X server. What a save leaves behind adds up.
#include "App/ZentharionApp.h"
#include "MenuBar/SnapshotMenuController.h"
#include "Support/LiveAppTest.h"
#include "Support/TestClientProcess.h"

#include <QApplication>
#include <QDialog>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>

#include <malloc.h>

#include <gtest/gtest.h>

// Present when the heap is the address sanitizer's, which glibc's statistics do not see.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace zen {
namespace {

using namespace testsupport;

// The bytes the program holds. The sanitizer's heap counts them exactly. glibc's also counts
// as in use what each thread's cache keeps of the blocks it freed, which changes from save to
// save with the threads Qt's painting took: the global pool's workers are ended first, handing
// their caches back.
std::size_t heapInUse()
{
    if (&__sanitizer_get_current_allocated_bytes)
        return __sanitizer_get_current_allocated_bytes();
    QThreadPool::globalInstance()->waitForDone();
    return ::mallinfo2().uordblks;
}

// Delivers what was posted, deleting what was handed over for deletion.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct SaveMemoryLiveTest : LiveAppTest {};

TEST_F(SaveMemoryLiveTest, SavesThroughTheNamePromptLeaveTheHeapAsItWas)
{
    TestClientProcess client({"--class", "zen-memory,ZenMemory", "--window", "title=M1,geometry=300x200+100+100",
                              "--window", "title=M2,geometry=300x200+500+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 2u);
    defaults->setString("Zentharion.Onboarding.status", "completedAuthorized");
    auto app = startApp();
    app->showMenuBarExtra();
    app->runStartUpWorkNow();
    const auto controller = app->snapshotMenuController();

    const auto save = [&] {
        const std::size_t before = controller->snapshotSummaries().size();
        // The prompt is answered once it is on screen and drawn, as a person answers it.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!prompt || !prompt->windowHandle() || !prompt->windowHandle()->isExposed())
                return;
            prompt->repaint();
            prompt->accept();
        });
        answer.start(30);
        EXPECT_TRUE(controller->captureCurrentSnapshot());
        answer.stop();
        EXPECT_TRUE(waitFor([&] { return !controller->isOperating() && controller->snapshotSummaries().size() > before; },
                            30000));
        settle(); // the clean-up after the operation, and what was handed over for deletion
    };
    for (int i = 0; i < 5; ++i)
        save();
    const std::size_t warm = heapInUse();
    constexpr int saves = 20;
    for (int i = 0; i < saves; ++i)
        save();
    const auto grown = qint64(heapInUse()) - qint64(warm);
    // A layout more in the list costs under a kilobyte; a prompt with a palette of its own left
    // some 30 behind in the style's pixmap cache.
    EXPECT_LT(grown / saves, 4096) << grown << " bytes more after " << saves << " saves";
}

} // namespace
} // namespace zen
