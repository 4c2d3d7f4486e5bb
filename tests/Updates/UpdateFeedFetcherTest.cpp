#include "Updates/UpdateFeedFetcher.h"

#include "LocalFeedServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace zen {
namespace {

using Outcome = std::expected<QByteArray, UpdaterError>;

// Runs one fetch to its end; the fetcher must finish on its own well within the wait.
Outcome fetchAndWait(UpdateFeedFetcher& fetcher, const QUrl& url)
{
    std::optional<Outcome> outcome;
    int completions = 0;
    QEventLoop loop;
    fetcher.fetch(url, [&](Outcome o) {
        ++completions;
        outcome = std::move(o);
        loop.quit();
    });
    EXPECT_FALSE(outcome) << "the completion never runs inside fetch()";
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!outcome)
        loop.exec();
    EXPECT_EQ(completions, 1);
    return outcome.value_or(std::unexpected(UpdaterError{"test", -1, "no completion"}));
}

class UpdateFeedFetcherTest : public ::testing::Test {
protected:
    LocalFeedServer server;
    UpdateFeedFetcher fetcher{UpdateFeedFetcher::Options{1024, std::chrono::milliseconds(400), 3}};
    const QByteArray feed = R"({"items": [{"version": "9.0", "url": "https://example.org/9"}]})";
};

TEST_F(UpdateFeedFetcherTest, DeliversTheFeedAndFollowsAllowedRedirects)
{
    server.answer("/feed", {200, feed});
    server.answer("/moved", {302, {}, "Location: /feed\r\n"});
    // Three hops, each answered with a body of its own that must not end up in the feed.
    server.answer("/hop1", {301, "first", "Location: " + server.url("/hop2") + "\r\n"});
    server.answer("/hop2", {307, "second", "Location: /hop3\r\n"});
    server.answer("/hop3", {308, "third", "Location: /feed\r\n"});
    server.answer("/see-other", {303, {}, "Location: /feed\r\n"});
    // A relative address from a second server is that server's: the feed is fetched there,
    // never from the same path of the first.
    LocalFeedServer second;
    server.answer("/away", {302, {}, "Location: " + second.url("/start") + "\r\n"});
    second.answer("/start", {302, {}, "Location: /elsewhere\r\n"});
    second.answer("/elsewhere", {200, feed});
    server.answer("/elsewhere", {200, "the first server"});
    for (const QByteArray path : {"/feed", "/moved", "/hop2", "/hop1", "/see-other", "/away"}) {
        const Outcome got = fetchAndWait(fetcher, QUrl(server.url(path)));
        ASSERT_TRUE(got) << path.constData() << ": " << got.error().message.toStdString();
        EXPECT_EQ(*got, feed) << path.constData();
    }
}

TEST_F(UpdateFeedFetcherTest, RefusesWhatIsNoUsableFeed)
{
    server.answer("/big", {200, QByteArray(4096, 'x')});
    server.answer("/big-unannounced", {200, QByteArray(4096, 'x'), {}, false, true});
    server.answer("/stall", {200, {}, {}, true});
    server.answer("/to-http", {302, {}, "Location: http://example.org/feed.json\r\n"});
    server.answer("/to-file", {302, {}, "Location: file:///etc/passwd\r\n"});
    server.answer("/to-script", {302, {}, "Location: javascript:alert(1)\r\n"});
    server.answer("/loop", {302, {}, "Location: /loop\r\n"});
    // One hop more than the limit, each to a new place.
    for (int hop = 1; hop <= 4; ++hop)
        server.answer("/chain" + QByteArray::number(hop),
                      {302, {}, "Location: /" + (hop < 4 ? "chain" + QByteArray::number(hop + 1) : "feed") + "\r\n"});
    server.answer("/feed", {200, feed});
    server.answer("/nowhere", {302});
    server.answer("/error", {500, "oops"});
    // Answers with no feed in them, however much body comes along: a cache's "not modified",
    // and interim answers a server sent as if final.
    server.answer("/not-modified", {304, feed});
    server.answer("/switching", {101, feed});
    server.answer("/early-hints", {103, feed});

    struct Case {
        QByteArray path;
        QString why;
    };
    const Case cases[] = {
        {"/missing", "404"},
        {"/error", "500"},
        {"/big", "larger than 1024 bytes"},
        {"/big-unannounced", "larger than 1024 bytes"},
        {"/stall", "did not answer in time"},
        {"/to-http", "a redirect to a http: address was refused"},
        {"/to-file", "a redirect to a file: address was refused"},
        {"/to-script", "a redirect to a javascript: address was refused"},
        {"/loop", "redirected more than 3 times"},
        {"/chain1", "it was redirected more than 3 times"},
        {"/nowhere", "the server answered 302 without a valid address"},
        {"/not-modified", "the server answered 304"},
        {"/switching", "the server answered 101"},
        {"/early-hints", "the server answered 103"},
    };
    for (const Case& c : cases) {
        QElapsedTimer clock;
        clock.start();
        const Outcome got = fetchAndWait(fetcher, QUrl(server.url(c.path)));
        ASSERT_FALSE(got) << c.path.constData();
        EXPECT_EQ(got.error().code, UpdaterError::feedDownload);
        EXPECT_TRUE(got.error().message.contains(c.why, Qt::CaseInsensitive))
            << c.path.constData() << ": " << got.error().message.toStdString();
        EXPECT_LT(clock.elapsed(), 5000) << c.path.constData();
    }
}

TEST_F(UpdateFeedFetcherTest, ReadsLocalFilesWithinTheCapAndRefusesOtherAddresses)
{
    QTemporaryDir dir;
    const QString small = dir.filePath("feed.json");
    const QString big = dir.filePath("big.json");
    {
        QFile f(small);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(feed);
        QFile g(big);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write(QByteArray(2048, ' '));
    }
    const Outcome got = fetchAndWait(fetcher, QUrl::fromLocalFile(small));
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, feed);
    EXPECT_FALSE(fetchAndWait(fetcher, QUrl::fromLocalFile(big)));
    EXPECT_FALSE(fetchAndWait(fetcher, QUrl::fromLocalFile(dir.path()))) << "a folder";
    EXPECT_FALSE(fetchAndWait(fetcher, QUrl::fromLocalFile("/dev/zero"))) << "a device";
    EXPECT_FALSE(fetchAndWait(fetcher, QUrl("http://example.org/feed.json")));
}

} // namespace
} // namespace zen
