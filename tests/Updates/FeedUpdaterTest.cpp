#include "Updates/FeedUpdater.h"

#include "LocalFeedServer.h"
#include "Shared/UserDefaults.h"
#include "Support/ManualScheduler.h"
#include "Updates/AppUpdateController.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace std::chrono_literals;

struct FakeFetcher final : UpdateFeedFetching {
    void fetch(const QUrl& url, Completion completion) override
    {
        urls.push_back(url);
        pending = std::move(completion);
    }
    void answer(std::expected<QByteArray, UpdaterError> outcome)
    {
        ASSERT_TRUE(pending);
        std::exchange(pending, {})(std::move(outcome));
    }
    std::vector<QUrl> urls;
    Completion pending;
};

struct FakeUserDriver final : UpdateUserDriver {
    void showUpToDate(const QString&, std::function<void()> ack) override
    {
        shown.push_back("up to date");
        acknowledge = std::move(ack);
    }
    void showUpdateFound(const UpdateFeedItem& item, const QString&, std::function<void(UpdaterUserChoice)> c) override
    {
        shown.push_back("found " + item.displayVersionString);
        choose = std::move(c);
    }
    void showError(const QString& message, std::function<void()> ack) override
    {
        shown.push_back("error " + message);
        acknowledge = std::move(ack);
    }
    std::vector<QString> shown;
    std::function<void()> acknowledge;
    std::function<void(UpdaterUserChoice)> choose;
};

QByteArray feedOf(const char* version)
{
    return QByteArray(R"({"items": [{"version": ")") + version + R"(", "url": "https://example.org/r"}]})";
}

struct Harness {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("prefs.conf")};
    std::shared_ptr<test::ManualScheduler> scheduler = std::make_shared<test::ManualScheduler>();
    std::shared_ptr<FakeFetcher> fetcher = std::make_shared<FakeFetcher>();
    std::shared_ptr<FakeUserDriver> driver = std::make_shared<FakeUserDriver>();
    const QDateTime base = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    std::vector<QUrl> opened;
    bool browserOpens = true;
    std::shared_ptr<FeedUpdater> updater;
    std::unique_ptr<AppUpdateController> controller;

    std::shared_ptr<FeedUpdater> make(const QUrl& feed = QUrl("https://example.org/feed.json"))
    {
        FeedUpdater::Environment env;
        env.feedURL = feed;
        env.currentVersion = "1.0.0";
        env.fetcher = fetcher;
        env.userDriver = driver;
        env.scheduler = scheduler;
        env.now = [this] { return base.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(scheduler->now).count()); };
        env.openURL = [this](const QUrl& url) {
            opened.push_back(url);
            return browserOpens;
        };
        env.defaults = &defaults;
        return std::make_shared<FeedUpdater>(std::move(env));
    }
    void start(bool automatic)
    {
        defaults.setBool(FeedUpdater::automaticallyChecksKey, automatic);
        updater = make();
        controller = std::make_unique<AppUpdateController>(updater);
    }
};

TEST(FeedUpdaterTest, ChecksAutomaticallyAtMostOncePerDayAndOnlyWhenAllowed)
{
    Harness h;
    h.start(true);
    h.scheduler->advance(0ns);
    ASSERT_EQ(h.fetcher->urls.size(), 1u) << "never checked: due at once";
    EXPECT_FALSE(h.controller->canCheckForUpdates()) << "busy while checking";
    h.fetcher->answer(feedOf("1.1"));
    EXPECT_TRUE(h.controller->canCheckForUpdates());
    ASSERT_TRUE(h.controller->availableUpdate()) << "found silently";
    EXPECT_TRUE(h.driver->shown.empty());

    h.scheduler->advance(23h + 59min);
    EXPECT_EQ(h.fetcher->urls.size(), 1u);
    h.scheduler->advance(1min);
    EXPECT_EQ(h.fetcher->urls.size(), 2u);
    h.fetcher->answer(feedOf("1.0"));
    EXPECT_FALSE(h.controller->availableUpdate()) << "a later check that finds nothing clears it";

    // A new process 10 hours after the last check waits the remaining 14.
    h.scheduler->advance(10h);
    Harness later;
    later.defaults.setString(FeedUpdater::lastCheckTimeKey, h.defaults.stringForKey(FeedUpdater::lastCheckTimeKey).value());
    later.scheduler->now = h.scheduler->now;
    later.start(true);
    later.scheduler->advance(14h - 1s);
    EXPECT_TRUE(later.fetcher->urls.empty());
    later.scheduler->advance(1s);
    EXPECT_EQ(later.fetcher->urls.size(), 1u);

    // Switched off, nothing runs; switching on checks when due.
    Harness off;
    off.start(false);
    off.scheduler->advance(72h);
    EXPECT_TRUE(off.fetcher->urls.empty());
    off.controller->setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(off.defaults.boolForKey(FeedUpdater::automaticallyChecksKey));
    off.scheduler->advance(0ns);
    EXPECT_EQ(off.fetcher->urls.size(), 1u);
}

// The clock was set back after the last check: waiting until that time comes round again
// could mean months without a check.
TEST(FeedUpdaterTest, ALastCheckInTheFutureWaitsOneIntervalAtMost)
{
    Harness h;
    h.defaults.setString(FeedUpdater::lastCheckTimeKey, h.base.addDays(90).toString(Qt::ISODateWithMs));
    h.start(true);
    h.scheduler->advance(24h - 1s);
    EXPECT_TRUE(h.fetcher->urls.empty());
    h.scheduler->advance(1s);
    EXPECT_EQ(h.fetcher->urls.size(), 1u);
}

TEST(FeedUpdaterTest, ASkippedVersionIsOfferedOnlyWhenTheUserAsks)
{
    Harness h;
    h.start(true);
    h.scheduler->advance(0ns);
    h.fetcher->answer(feedOf("1.1"));

    h.controller->checkForUpdates();
    h.fetcher->answer(feedOf("1.1"));
    ASSERT_EQ(h.driver->shown, std::vector<QString>{"found 1.1"});
    EXPECT_FALSE(h.controller->canCheckForUpdates()) << "one dialog at a time";
    h.driver->choose(UpdaterUserChoice::skip);
    EXPECT_FALSE(h.controller->availableUpdate());
    EXPECT_EQ(h.defaults.stringForKey(FeedUpdater::skippedVersionKey), "1.1");
    EXPECT_TRUE(h.opened.empty());

    h.scheduler->advance(24h);
    h.fetcher->answer(feedOf("1.1"));
    EXPECT_FALSE(h.controller->availableUpdate()) << "automatic checks pass over it";
    EXPECT_EQ(h.driver->shown.size(), 1u);

    h.controller->checkForUpdates();
    h.fetcher->answer(feedOf("1.1"));
    EXPECT_EQ(h.driver->shown.back(), "found 1.1");
    h.driver->choose(UpdaterUserChoice::install);
    EXPECT_EQ(h.opened, std::vector<QUrl>{QUrl("https://example.org/r")});
    EXPECT_TRUE(h.controller->availableUpdate()) << "install keeps the entry";

    h.scheduler->advance(24h);
    h.fetcher->answer(feedOf("1.2"));
    EXPECT_TRUE(h.controller->availableUpdate()) << "a newer one than the skipped version is offered";
}

TEST(FeedUpdaterTest, AManualCheckShowsEveryOutcome)
{
    Harness h;
    h.start(false);
    h.controller->checkForUpdates();
    h.fetcher->answer(feedOf("1.0.0"));
    h.driver->acknowledge();
    h.controller->checkForUpdates();
    h.fetcher->answer(QByteArray("<html>"));
    h.driver->acknowledge();
    h.controller->checkForUpdates();
    h.fetcher->answer(std::unexpected(UpdaterError{UpdaterError::domain, UpdaterError::feedDownload, "offline"}));
    h.driver->acknowledge();
    h.controller->checkForUpdates();
    h.fetcher->answer(QByteArray(R"({"items": [{"version": "2.0", "url": "http://example.org/plain"}]})"));
    ASSERT_EQ(h.driver->shown.size(), 4u);
    EXPECT_EQ(h.driver->shown[0], "up to date");
    EXPECT_TRUE(h.driver->shown[1].startsWith("error The update feed could not be read"));
    EXPECT_EQ(h.driver->shown[2], "error offline");
    EXPECT_EQ(h.driver->shown[3], "error The update feed lists no valid release.");
    EXPECT_TRUE(h.opened.empty());
    EXPECT_FALSE(h.controller->availableUpdate());
    h.driver->acknowledge();
    EXPECT_TRUE(h.controller->canCheckForUpdates());
}

// Install with nothing to open the page: the user learns it where the release was offered,
// with the address to open some other way, and the check ends only once that is read.
TEST(FeedUpdaterTest, AnInstallThatOpensNothingSaysSo)
{
    Harness h;
    h.start(false);
    h.browserOpens = false;
    h.controller->checkForUpdates();
    h.fetcher->answer(feedOf("1.1"));
    h.driver->choose(UpdaterUserChoice::install);
    ASSERT_EQ(h.opened.size(), 1u);
    ASSERT_EQ(h.driver->shown.size(), 2u);
    EXPECT_EQ(h.driver->shown[1],
              "error No web browser could be opened. Open https://example.org/r in a web browser to download the update.");
    EXPECT_FALSE(h.controller->canCheckForUpdates());
    h.driver->acknowledge();
    EXPECT_TRUE(h.controller->canCheckForUpdates());
}

QStringList g_warnings;
void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        g_warnings << message;
}

TEST(FeedUpdaterTest, AFeedOfJunkWritesOneLogLinePerCheck)
{
    Harness h;
    h.start(true);
    h.scheduler->advance(0ns);
    QByteArray feed = R"({"items": [{"version": "1.1", "url": "https://example.org/r"})";
    for (int i = 0; i < 20000; ++i)
        feed += R"(, {"version": "x"})";
    feed += "]}";
    g_warnings.clear();
    const auto previous = qInstallMessageHandler(recordWarning);
    h.fetcher->answer(feed);
    qInstallMessageHandler(previous);
    ASSERT_EQ(g_warnings.size(), 1) << g_warnings.value(1).toStdString();
    EXPECT_TRUE(g_warnings[0].startsWith("Ignoring 20000 update feed entries; the first: item 1:"))
        << g_warnings[0].toStdString();
    EXPECT_TRUE(h.controller->availableUpdate()) << "the valid item is still found";
}

TEST(FeedUpdaterTest, NoUsableFeedMeansNoChecking)
{
    for (const QUrl& feed : {QUrl(), QUrl("http://example.org/feed.json"), QUrl("ftp://example.org/f")}) {
        Harness h;
        h.defaults.setBool(FeedUpdater::automaticallyChecksKey, true);
        h.updater = h.make(feed);
        AppUpdateController controller(h.updater);
        EXPECT_FALSE(controller.canCheckForUpdates()) << feed.toString().toStdString();
        controller.checkForUpdates();
        h.scheduler->advance(48h);
        EXPECT_TRUE(h.fetcher->urls.empty());
    }
}

TEST(FeedUpdaterTest, ChecksAFeedOnALocalServer)
{
    LocalFeedServer server;
    server.answer("/newer.json", {200, R"({"items": [{"version": "99.0", "displayVersion": "99", "url": "https://example.org/99"}]})"});
    server.answer("/same.json", {200, QByteArray(R"({"items": [{"version": ")") + ZENTHARION_VERSION
                                          + R"(", "url": "https://example.org/same"}]})"});
    struct Case {
        QByteArray path;
        std::optional<AvailableAppUpdate> expected;
    };
    const Case cases[] = {{"/newer.json", AvailableAppUpdate{"99.0", "99"}}, {"/same.json", std::nullopt}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        UserDefaults defaults(dir.filePath("prefs.conf"));
        defaults.setBool(FeedUpdater::automaticallyChecksKey, true);
        FeedUpdater::Environment env;
        env.feedURL = QUrl(server.url(c.path));
        env.currentVersion = QStringLiteral(ZENTHARION_VERSION);
        auto scheduler = std::make_shared<QtOperationScheduler>();
        env.fetcher = std::make_shared<UpdateFeedFetcher>(UpdateFeedFetcher::Options{}, scheduler);
        env.userDriver = std::make_shared<FakeUserDriver>();
        env.scheduler = scheduler;
        env.now = [] { return QDateTime::currentDateTimeUtc(); };
        env.defaults = &defaults;
        AppUpdateController controller(std::make_shared<FeedUpdater>(std::move(env)));

        // The automatic check starts at once; checking is possible again when it has ended.
        QEventLoop loop;
        QObject::connect(&controller, &AppUpdateController::canCheckForUpdatesChanged, &loop, [&](bool can) {
            if (can)
                loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_EQ(server.requests(c.path), 1) << c.path.constData();
        EXPECT_EQ(controller.availableUpdate(), c.expected) << c.path.constData();
        EXPECT_TRUE(defaults.stringForKey(FeedUpdater::lastCheckTimeKey)) << "the check time is remembered";
    }
}

} // namespace
} // namespace zen
