#include "MenuBar/SnapshotMenuController.h"

#include "Shared/Uuid.h"
#include "Snapshots/SnapshotCoding.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;

// A store of large layouts the fast reading leaves to the full reader (a raw tab in the name):
// listing it takes a long while, and the main thread goes on answering meanwhile.
TEST(SnapshotMenuControllerListing, MainThreadAnswersWhileALargeStoreIsListed)
{
    QTemporaryDir dir;
    std::vector<WindowRecord> windows;
    for (int i = 0; i < 1500; ++i)
        windows.push_back(makeWindow(QStringLiteral("org.example.App%1").arg(i % 9), 1, i));
    const Snapshot big = makeSnapshot(QStringLiteral("Big"), windows);
    QByteArray document = encodeSnapshotDocument(big).value();
    document.replace("\"name\": \"Big\"", "\"name\": \"Big\t\"");
    constexpr int fileCount = 8;
    for (int i = 0; i < fileCount; ++i) {
        const QString id = uuidText(QUuid::createUuid());
        writeFile(QDir(dir.path()).filePath(id + ".json"), QByteArray(document).replace(uuidText(big.id).toUtf8(), id.toUtf8()));
    }

    SnapshotMenuController controller(SnapshotStore(dir.path()), std::nullopt, std::nullopt);
    bool listed = false;
    QObject::connect(&controller, &SnapshotMenuController::snapshotSummariesChanged,
                     [&](const std::vector<SnapshotSummary>& rows) { listed = listed || !rows.empty(); });

    QElapsedTimer clock;
    clock.start();
    qint64 answeredAfter = -1;
    bool listedBeforeAnswer = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            answeredAfter = clock.elapsed();
            listedBeforeAnswer = listed || !controller.snapshotSummaries().empty();
        },
        Qt::QueuedConnection);

    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (listed || clock.elapsed() > 120000)
            loop.quit();
    });
    poll.start(5);
    loop.exec();

    EXPECT_FALSE(listedBeforeAnswer) << "the list was read before the main thread could answer";
    EXPECT_GE(answeredAfter, 0);
    EXPECT_LT(answeredAfter, 50);
    ASSERT_TRUE(listed);
    EXPECT_EQ(controller.snapshotSummaries().size(), size_t(fileCount));
    EXPECT_EQ(controller.snapshotSummaries()[0].windowCount, 1500);
}
