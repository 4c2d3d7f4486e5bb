#include "Dashboard/DashboardRelativeDateFormatter.h"

#include <algorithm>
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

constexpr qint64 minuteMs = 60 * 1000, hourMs = 60 * minuteMs, dayMs = 24 * hourMs, weekMs = 7 * dayMs;

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

QDateTime DashboardRelativeDateFormatter::nextChange(const QDateTime& date, const QDateTime& reference)
{
    const qint64 ahead = reference.msecsTo(date);
    if (ahead > 0) {
        // A date ahead of the clock (a clock set back): its phrases count down and end past
        // "just now", which is read as a minute ago 60,001 ms after the date. Rare enough to
        // search for the turn rather than invert the calendar.
        const QString shown = string(date, reference);
        qint64 low = 0, high = ahead + minuteMs + 1; // string differs at `high`, not at `low`
        while (high - low > 1) {
            const qint64 middle = low + (high - low) / 2;
            (string(date, reference.addMSecs(middle)) == shown ? low : high) = middle;
        }
        return reference.addMSecs(high);
    }
    const qint64 age = -ahead;
    if (age <= minuteMs)
        return date.addMSecs(minuteMs + 1);
    // Minutes and hours count whole units of the age; days and weeks too, until the first
    // calendar month is full, and months and years count calendar months from the date.
    const auto nextWhole = [&](qint64 unit) { return date.addMSecs((age / unit + 1) * unit); };
    if (age < hourMs)
        return nextWhole(minuteMs);
    if (age < dayMs)
        return nextWhole(hourMs);
    const QDateTime earlier = date.toUTC();
    const qint64 months = wholeMonths(earlier, reference.toUTC());
    if (months >= 12)
        return earlier.addMonths(int((months / 12 + 1) * 12));
    const QDateTime nextMonth = earlier.addMonths(int(months + 1));
    if (months >= 1)
        return nextMonth;
    return std::min(nextWhole(age < weekMs ? dayMs : weekMs), nextMonth);
}

} // namespace zen
