#include "Updates/UpdateFeed.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

TEST(UpdateFeedTest, ComparesVersionsNumericallyPartByPart)
{
    struct Case {
        const char* candidate;
        const char* current;
        bool newer;
    };
    const Case cases[] = {
        {"1.10.0", "1.9.9", true}, // not as text
        {"1.2", "1.2.0", false},   // a missing part is 0
        {"1.2.0.1", "1.2", true},
        {"2", "10", false},
        {"0.1.1", "0.1.0", true},
        {"1.2.3", "1.2.3", false},
        {"01.2", "1.1", true},
        {"999999999.0", "4294967295", false}, // malformed current: never newer
        {"1.2-beta", "1.0", false},
        {"v2.0", "1.0", false},
        {"1..2", "1.0", false},
        {"", "1.0", false},
        {"1.0 ", "0.9", false},
        {"9.9\n", "1.0", false},
        {"9.9\r\n", "1.0", false},
        {"1.0000000000", "0.9", false}, // ten digits
        {"1.2.3.4.5.6.7.8.9", "1.0", false}, // nine parts
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateFeed::isNewer(c.candidate, c.current), c.newer) << c.candidate << " vs " << c.current;
}

TEST(UpdateFeedTest, TheNewestValidItemWinsAndBadItemsAreSkipped)
{
    const QByteArray feed = R"feed({"items": [
        {"version": "1.2.0", "url": "https://example.org/1.2.0", "notes": "<b>plain</b>"},
        {"version": "1.10", "displayVersion": "1.10 \"Ten\"", "url": "https://example.org/1.10"},
        {"version": "9.0", "url": "http://example.org/9.0"},
        {"version": "8.0", "url": "javascript:alert(1)"},
        {"version": "7.0-beta", "url": "https://example.org/7"},
        {"url": "https://example.org/none"},
        {"version": 5, "url": "https://example.org/5"},
        "not an object"
    ]})feed";
    const auto parsed = UpdateFeed::parse(feed);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->latest);
    EXPECT_EQ(parsed->latest->versionString, "1.10");
    EXPECT_EQ(parsed->latest->displayVersionString, "1.10 \"Ten\"");
    EXPECT_EQ(parsed->latest->releasePageURL, QUrl("https://example.org/1.10"));
    EXPECT_EQ(parsed->skippedItems.size(), 6);

    const auto first = UpdateFeed::parse(R"({"items": [{"version": "1.2.0", "url": "https://e.org/x", "notes": "n"}]})");
    ASSERT_TRUE(first && first->latest);
    EXPECT_EQ(first->latest->displayVersionString, "1.2.0") << "the version stands in for a missing display version";
    EXPECT_EQ(first->latest->notes, "n");
}

TEST(UpdateFeedTest, OverlongLabelsAndFloodsOfJunkAreCountedNotKept)
{
    QByteArray feed = R"({"items": [{"version": "3.0", "url": "https://example.org/3", "displayVersion": ")"
                      + QByteArray(1'000'000, 'v') + R"("}, {"version": "2.0", "url": "https://example.org/2"})";
    for (int i = 0; i < 5000; ++i)
        feed += R"(, {"junk": 1})";
    feed += "]}";
    const auto parsed = UpdateFeed::parse(feed);
    ASSERT_TRUE(parsed && parsed->latest);
    EXPECT_EQ(parsed->latest->versionString, "2.0") << "a megabyte of version label makes the item invalid";
    EXPECT_EQ(parsed->skippedCount, 5001);
    EXPECT_EQ(parsed->skippedItems.size(), UpdateFeed::maximumSkipReasonsKept);
    EXPECT_TRUE(parsed->skippedItems.value(0).contains("version label"));

    // Exactly the limit is still a label; one character more is not.
    for (const qsizetype length : {UpdateFeed::maximumDisplayVersionLength, UpdateFeed::maximumDisplayVersionLength + 1}) {
        const QByteArray label(length, '7');
        const auto one = UpdateFeed::parse(R"({"items": [{"version": "7.0", "url": "https://e.org/7", "displayVersion": ")"
                                           + label + R"("}]})");
        ASSERT_TRUE(one);
        EXPECT_EQ(one->latest.has_value(), length == UpdateFeed::maximumDisplayVersionLength) << length;
        if (one->latest)
            EXPECT_EQ(one->latest->displayVersionString, QString::fromLatin1(label));
    }
}

TEST(UpdateFeedTest, AFeedThatIsNoFeedIsAParseError)
{
    for (const QByteArray& bad : {QByteArray("<rss/>"), QByteArray(""), QByteArray("[1,2]"), QByteArray("{\"items\": 3}"),
                                  QByteArray("{\"items\": [")}) {
        const auto parsed = UpdateFeed::parse(bad);
        ASSERT_FALSE(parsed) << bad.constData();
        EXPECT_EQ(parsed.error().code, UpdaterError::feedParse);
    }
    const auto empty = UpdateFeed::parse("{\"items\": []}");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->latest);
}

TEST(UpdateFeedTest, FeedsComeOverHttpsFromLoopbackOrFromFiles)
{
    struct Case {
        const char* url;
        bool allowed;
    };
    const Case cases[] = {
        {"https://updates.example.org/feed.json", true},
        {"http://updates.example.org/feed.json", false},
        {"http://127.0.0.1:8080/feed.json", true},
        {"http://[::1]:8080/feed.json", true},
        {"http://127.9.8.7/feed.json", true},
        {"http://[::ffff:127.0.0.1]/feed.json", true},
        {"http://128.0.0.1/feed.json", false},
        {"http://[::2]/feed.json", false},
        {"http://localhost/feed.json", false}, // a name could resolve anywhere
        {"file:///tmp/feed.json", true},
        {"ftp://example.org/feed.json", false},
        {"https:///feed.json", false},
        {"feed.json", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateFeed::isAllowedFeedURL(QUrl(c.url)), c.allowed) << c.url;

    const QUrl https("https://a.example/feed"), loopback("http://127.0.0.1:1/feed");
    EXPECT_TRUE(UpdateFeed::isAllowedRedirect(https, QUrl("https://b.example/feed")));
    EXPECT_FALSE(UpdateFeed::isAllowedRedirect(https, QUrl("http://127.0.0.1/feed")));
    EXPECT_FALSE(UpdateFeed::isAllowedRedirect(https, QUrl("file:///etc/passwd")));
    EXPECT_FALSE(UpdateFeed::isAllowedRedirect(loopback, QUrl("http://example.org/feed")));
    EXPECT_TRUE(UpdateFeed::isAllowedRedirect(loopback, QUrl("http://127.0.0.1:2/feed")));
}

} // namespace
} // namespace zen
