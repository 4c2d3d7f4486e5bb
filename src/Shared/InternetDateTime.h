#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

namespace zen {

// Reads an internet date-time (RFC 3339 profile of ISO 8601) without fractional seconds:
// yyyy-MM-ddTHH:mm:ss followed by Z or a numeric offset ±HH:mm. Anything else, including
// a fraction of a second, an out-of-range field or a leap second, is refused. The result is
// in UTC.
std::optional<QDateTime> parseInternetDateTime(QStringView text);

// Writes yyyy-MM-dd'T'HH:mm:ss'Z' in UTC; the fraction of a second is dropped (rounded
// towards the past), so a written date reads back as the whole second it fell in.
QString formatInternetDateTime(const QDateTime& date);

// The date cut to its whole second, as it reads back after being written.
QDateTime wholeSecond(const QDateTime& date);

} // namespace zen
