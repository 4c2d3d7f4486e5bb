#include "Dashboard/DashboardRelativeDateFormatter.h"

#include <cstdlib>

namespace zen {

namespace {

QString phrase(qint64 count, const char* unit, bool future)
{
    const QString amount = QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(unit),
                                                                   count == 1 ? QString() : QStringLiteral("s"));
    return future ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
}

// Whole calendar months from `earlier` to `later` (later >= earlier), counting a month only
// once its day and time of day have been reached.
qint64 wholeMonths(const QDateTime& earlier, const QDateTime& later)
{
    const QDate from = earlier.date();
    const QDate to = later.date();
    qint64 months = qint64(to.year() - from.year()) * 12 + (to.month() - from.month());
    if (months > 0 && earlier.addMonths(int(months)) > later)
        --months;
    return months;
}

} // namespace

QString DashboardRelativeDateFormatter::string(const QDateTime& date, const QDateTime& reference)
{
    // The exact interval: cut to whole seconds first, 60.9 seconds would still be "just now".
    const qint64 milliseconds = reference.msecsTo(date); // positive: the date lies ahead
    if (std::llabs(milliseconds) <= 60 * 1000)
        return QStringLiteral("just now");
    const qint64 seconds = milliseconds / 1000;

    const bool future = seconds > 0;
    const qint64 elapsed = std::llabs(seconds);
    const QDateTime earlier = future ? reference : date;
    const QDateTime later = future ? date : reference;
    constexpr qint64 minute = 60, hour = 60 * minute, day = 24 * hour, week = 7 * day;

    if (elapsed < hour)
        return phrase(elapsed / minute, "minute", future);
    if (elapsed < day)
        return phrase(elapsed / hour, "hour", future);
    const qint64 months = wholeMonths(earlier.toUTC(), later.toUTC());
    if (months >= 12)
        return phrase(months / 12, "year", future);
    if (months >= 1)
        return phrase(months, "month", future);
    if (elapsed < week)
        return phrase(elapsed / day, "day", future);
    return phrase(elapsed / week, "week", future);
}

} // namespace zen
