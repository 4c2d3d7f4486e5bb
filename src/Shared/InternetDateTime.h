#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

namespace zen {

// Reads an internet date-time (RFC 3339 profile of ISO 8601) without fractional seconds:
// yyyy-MM-ddTHH:mm:ss followed by Z or a numeric offset ±HH:mm. Anything else, including
// a fraction of a second, an out-of-range field or a leap second, is refused. The result is
// in UTC, and a time whose UTC year falls outside 1-9999 (a local date at either end shifted
// by its offset) is refused too, since it could not be written back in this form.
std::optional<QDateTime> parseInternetDateTime(QStringView text);

// Whether the date is valid and its whole second, in UTC, lies in the years 1-9999: only such
// a date is written in a form parseInternetDateTime reads back.
bool isWritableInternetDateTime(const QDateTime& date);

// Writes yyyy-MM-dd'T'HH:mm:ss'Z' in UTC; the fraction of a second is dropped (rounded
// towards the past), so a written date reads back as the whole second it fell in.
// Check isWritableInternetDateTime first: outside its range the text is not readable.
QString formatInternetDateTime(const QDateTime& date);

// The date cut to its whole second, as it reads back after being written.
QDateTime wholeSecond(const QDateTime& date);

} // namespace zen
