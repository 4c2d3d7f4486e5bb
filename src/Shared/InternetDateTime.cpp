#include "Shared/InternetDateTime.h"

#include <QTimeZone>

#include <chrono>

namespace zen {

namespace {

// Reads exactly `count` ASCII digits starting at `pos`.
std::optional<int> digits(QStringView text, qsizetype pos, int count)
{
    if (pos + count > text.size())
        return std::nullopt;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[pos + i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<QDateTime> parseInternetDateTime(QStringView text)
{
    // 0123456789012345678
    // yyyy-MM-ddTHH:mm:ss
    if (text.size() < 20)
        return std::nullopt;
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-' || text[13] != u':' || text[16] != u':')
        return std::nullopt;
    if (text[10] != u'T' && text[10] != u't')
        return std::nullopt;

    const QDate date(*year, *month, *day);
    if (!date.isValid())
        return std::nullopt;
    // QTime refuses 24:00 and second 60; a leap second has no representation here.
    const QTime time(*hour, *minute, *second);
    if (!time.isValid())
        return std::nullopt;

    int offsetSeconds = 0;
    const QStringView zone = text.mid(19);
    if (zone == u"Z" || zone == u"z") {
        offsetSeconds = 0;
    } else if (zone.size() == 6 && (zone[0] == u'+' || zone[0] == u'-') && zone[3] == u':') {
        const auto offHours = digits(zone, 1, 2);
        const auto offMinutes = digits(zone, 4, 2);
        if (!offHours || !offMinutes || *offHours > 23 || *offMinutes > 59)
            return std::nullopt;
        offsetSeconds = (*offHours * 3600 + *offMinutes * 60) * (zone[0] == u'-' ? -1 : 1);
    } else {
        return std::nullopt;
    }

    QDateTime local(date, time, Qt::UTC);
    QDateTime utc = local.addSecs(-offsetSeconds);
    if (!isWritableInternetDateTime(utc))
        return std::nullopt;
    return utc;
}

bool isWritableInternetDateTime(const QDateTime& date)
{
    if (!date.isValid())
        return false;
    const int year = wholeSecond(date).date().year();
    return year >= 1 && year <= 9999;
}

QDateTime wholeSecond(const QDateTime& date)
{
    using namespace std::chrono;
    const auto since1970 = floor<seconds>(milliseconds(date.toMSecsSinceEpoch()));
    return QDateTime::fromSecsSinceEpoch(since1970.count(), Qt::UTC);
}

QString formatInternetDateTime(const QDateTime& date)
{
    return wholeSecond(date).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

} // namespace zen
