#include "Shared/StringExtensions.h"

namespace zen {

namespace {

// Unicode White_Space plus the line separators; QChar::isSpace covers the categories Zs, Zl,
// Zp and the ASCII controls \t \n \v \f \r, and we add NEL (U+0085) which it also covers.
bool isBlank(QChar c)
{
    return c.isSpace();
}

} // namespace

std::optional<QString> nonEmptyValue(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    return text.mid(begin, end - begin);
}

std::optional<QString> nonEmptyValue(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    return nonEmptyValue(*text);
}

QString cappedWindowTitle(const QString& title)
{
    if (title.size() <= maximumWindowTitleLength)
        return title;
    qsizetype end = maximumWindowTitleLength;
    if (title[end - 1].isHighSurrogate())
        --end;
    return title.left(end);
}

} // namespace zen
