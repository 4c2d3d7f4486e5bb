#include "Updates/AppUpdateController.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace zen {
namespace {

// Stands for the update machinery; the test plays its callbacks.
class FakeUpdater final : public AppUpdater {
public:
    void setDelegate(AppUpdaterDelegate* d) override { delegate = d; }
    void start() override { ++starts; }
    bool canCheckForUpdates() const override { return canCheck; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool value) override { automaticWrites.push_back(value); }
    void checkForUpdates() override { ++checks; }

    void reportCanCheck(bool value)
    {
        canCheck = value;
        Q_EMIT canCheckForUpdatesChanged(value);
    }

    AppUpdaterDelegate* delegate = nullptr;
    bool canCheck = true;
    bool automatic = true;
    int starts = 0;
    int checks = 0;
    std::vector<bool> automaticWrites;
};

QStringList g_log;
void recordLog(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    g_log << QStringLiteral("%1: %2").arg(QString::fromLatin1(context.category), message);
}

struct Harness {
    std::shared_ptr<FakeUpdater> updater = std::make_shared<FakeUpdater>();
    AppUpdateController controller{updater};
    UpdateFeedItem item{"1.4.0", "1.4", QUrl("https://example.org/1.4"), "notes"};
};

TEST(AppUpdateControllerTest, MirrorsTheUpdaterFromTheStartAndStartsIt)
{
    Harness h;
    EXPECT_EQ(h.updater->starts, 1);
    EXPECT_NE(h.updater->delegate, nullptr);
    EXPECT_TRUE(h.controller.canCheckForUpdates());
    EXPECT_TRUE(h.controller.automaticallyChecksForUpdates());

    int changes = 0;
    QObject::connect(&h.controller, &AppUpdateController::canCheckForUpdatesChanged, [&] { ++changes; });
    h.updater->reportCanCheck(false);
    EXPECT_FALSE(h.controller.canCheckForUpdates());
    EXPECT_EQ(changes, 1);

    auto idle = std::make_shared<FakeUpdater>();
    AppUpdateController notStarted(idle, false);
    EXPECT_EQ(idle->starts, 0);

    AppUpdateController without;
    EXPECT_FALSE(without.canCheckForUpdates());
    without.checkForUpdates(); // nothing to ask; must not crash
}

TEST(AppUpdateControllerTest, ChecksOnlyWhileTheUpdaterCan)
{
    Harness h;
    h.updater->reportCanCheck(false);
    h.controller.checkForUpdates();
    EXPECT_EQ(h.updater->checks, 0);
    h.updater->reportCanCheck(true);
    h.controller.checkForUpdates();
    EXPECT_EQ(h.updater->checks, 1);
}

TEST(AppUpdateControllerTest, TheSwitchIsPublishedBeforeTheUpdaterReportsItBack)
{
    Harness h;
    int changes = 0;
    QObject::connect(&h.controller, &AppUpdateController::automaticallyChecksForUpdatesChanged, [&] { ++changes; });
    h.controller.setAutomaticallyChecksForUpdates(false);
    EXPECT_FALSE(h.controller.automaticallyChecksForUpdates());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(h.updater->automaticWrites, std::vector<bool>{false});
    // The updater's own report of the same value changes nothing further.
    Q_EMIT h.updater->automaticallyChecksForUpdatesChanged(false);
    EXPECT_EQ(changes, 1);
}

TEST(AppUpdateControllerTest, FoundUpdateFollowsChecksAndChoices)
{
    Harness h;
    AppUpdaterDelegate* d = h.updater->delegate;
    ASSERT_NE(d, nullptr);
    d->updaterDidFindValidUpdate(h.item);
    ASSERT_TRUE(h.controller.availableUpdate());
    EXPECT_EQ(*h.controller.availableUpdate(), (AvailableAppUpdate{"1.4.0", "1.4"}));

    d->updaterUserDidMakeChoice(UpdaterUserChoice::dismiss, h.item);
    d->updaterUserDidMakeChoice(UpdaterUserChoice::install, h.item);
    EXPECT_TRUE(h.controller.availableUpdate());
    d->updaterUserDidMakeChoice(UpdaterUserChoice::skip, h.item);
    EXPECT_FALSE(h.controller.availableUpdate());

    d->updaterDidFindValidUpdate(h.item);
    d->updaterDidNotFindUpdate(UpdaterError{UpdaterError::domain, UpdaterError::noUpdate, "none"});
    EXPECT_FALSE(h.controller.availableUpdate());
}

TEST(AppUpdateControllerTest, LogsOnlyRealFailuresOnceEach)
{
    struct Case {
        QString domain;
        int code;
        int lines;
    };
    const Case cases[] = {
        {UpdaterError::domain, UpdaterError::noUpdate, 0},
        {UpdaterError::domain, UpdaterError::installationCanceled, 0},
        {UpdaterError::domain, UpdaterError::feedDownload, 1},
        {QStringLiteral("network"), UpdaterError::noUpdate, 1},
        {QStringLiteral("network"), 99, 1},
    };
    for (const Case& c : cases) {
        Harness h;
        h.controller.recordAvailableUpdate("2", "2");
        g_log.clear();
        const auto previous = qInstallMessageHandler(recordLog);
        h.updater->delegate->updaterDidAbortWithError(UpdaterError{c.domain, c.code, "The feed went away."});
        qInstallMessageHandler(previous);
        EXPECT_EQ(g_log.size(), c.lines) << c.domain.toStdString() << " " << c.code;
        if (c.lines == 1) {
            EXPECT_EQ(g_log.value(0), "com.zentharion.app.updates: Update failed: The feed went away.");
        }
        EXPECT_TRUE(h.controller.availableUpdate()) << "a failure changes no state";
    }
}

} // namespace
} // namespace zen
