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

namespace {

constexpr char16_t leftToRightIsolate = 0x2066;
constexpr char16_t rightToLeftIsolate = 0x2067;
constexpr char16_t firstStrongIsolate = 0x2068;
constexpr char16_t popDirectionalIsolate = 0x2069;

bool breaksLine(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028
        || c == 0x2029;
}

} // namespace

QString separatorsAsSpaces(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (breaksLine(c.unicode()))
            c = QChar(u' ');
    }
    return result;
}

QString isolatedForDisplay(const QString& text)
{
    QString result;
    result.reserve(text.size() + 2);
    result.append(QChar(firstStrongIsolate));
    int openIsolates = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (breaksLine(u)) {
            result.append(QChar(u' '));
        } else if (u == leftToRightIsolate || u == rightToLeftIsolate || u == firstStrongIsolate) {
            ++openIsolates;
            result.append(c);
        } else if (u == popDirectionalIsolate) {
            // A pop with nothing of the text's own open would close our isolate.
            if (openIsolates > 0) {
                --openIsolates;
                result.append(c);
            }
        } else {
            result.append(c);
        }
    }
    for (; openIsolates > 0; --openIsolates)
        result.append(QChar(popDirectionalIsolate));
    result.append(QChar(popDirectionalIsolate));
    return result;
}

} // namespace zen
