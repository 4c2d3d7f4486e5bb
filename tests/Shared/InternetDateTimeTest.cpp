#include "Shared/InternetDateTime.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace zen;

TEST(InternetDateTimeTest, ReadsZuluAndOffsetsIntoUtc)
{
    const QDateTime expected(QDate(2024, 2, 29), QTime(13, 5, 9), Qt::UTC);
    EXPECT_EQ(parseInternetDateTime(u"2024-02-29T13:05:09Z"), expected);
    EXPECT_EQ(parseInternetDateTime(u"2024-02-29T15:35:09+02:30"), expected);
    EXPECT_EQ(parseInternetDateTime(u"2024-02-29T08:05:09-05:00"), expected);
    EXPECT_EQ(parseInternetDateTime(u"2024-02-29t13:05:09z"), expected);
}

TEST(InternetDateTimeTest, RefusesEverythingButTheWholeSecondInternetForm)
{
    for (const char16_t* bad : {u"2024-02-29T13:05:09.5Z",  // fraction
                                u"2024-02-29T13:05:09",     // no zone
                                u"2024-02-29 13:05:09Z",    // space separator
                                u"2023-02-29T13:05:09Z",    // no such day
                                u"2024-13-01T00:00:00Z",
                                u"2024-01-01T24:00:00Z",
                                u"2024-01-01T23:59:60Z",    // leap second
                                u"2024-01-01T00:00:00+24:00",
                                u"2024-01-01T00:00:00+0100",
                                u"2024-1-01T00:00:00Z",
                                u"2024-01-01T00:00:00ZZ",
                                u"\uFF12024-01-01T00:00:00Z", // non-ASCII digit
                                // Valid local dates whose UTC time leaves the years 1-9999.
                                u"0001-01-01T00:30:00+01:00",
                                u"9999-12-31T23:30:00-01:00",
                                u""})
        EXPECT_FALSE(parseInternetDateTime(QStringView(bad))) << QString::fromUtf16(bad).toStdString();
}

TEST(InternetDateTimeTest, WritesWholeSecondsInUtcAndDropsTheFraction)
{
    const QDateTime withFraction(QDate(2024, 5, 1), QTime(23, 59, 59, 999), Qt::UTC);
    EXPECT_EQ(formatInternetDateTime(withFraction), QStringLiteral("2024-05-01T23:59:59Z"));
    const QDateTime offset(QDate(2024, 5, 2), QTime(1, 0, 0), QTimeZone(3600));
    EXPECT_EQ(formatInternetDateTime(offset), QStringLiteral("2024-05-02T00:00:00Z"));
    // Before the epoch the fraction still goes towards the past, not towards zero.
    const QDateTime early = QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC);
    EXPECT_EQ(formatInternetDateTime(early), QStringLiteral("1969-12-31T23:59:58Z"));
    EXPECT_EQ(parseInternetDateTime(formatInternetDateTime(withFraction)), wholeSecond(withFraction));
}

TEST(InternetDateTimeTest, OnlyDatesThatReadBackCountAsWritable)
{
    for (const char16_t* edge : {u"0001-01-01T00:00:00Z", u"9999-12-31T23:59:59Z"}) {
        const auto date = parseInternetDateTime(QStringView(edge));
        ASSERT_TRUE(date) << QString::fromUtf16(edge).toStdString();
        EXPECT_TRUE(isWritableInternetDateTime(*date));
        EXPECT_EQ(formatInternetDateTime(*date), QString::fromUtf16(edge));
    }
    EXPECT_FALSE(isWritableInternetDateTime(QDateTime()));
    EXPECT_FALSE(isWritableInternetDateTime(QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC)));
    EXPECT_FALSE(isWritableInternetDateTime(QDateTime(QDate(1, 1, 1), QTime(0, 30), QTimeZone(3600))));
    // The fraction is dropped towards the past, so the last instant of 9999 still fits.
    EXPECT_TRUE(isWritableInternetDateTime(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)));
}
