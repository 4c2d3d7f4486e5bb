#include "Shared/StringExtensions.h"

namespace zen {

std::optional<QString> nonEmptyValue(const QString& text)
{
    // Trims what QChar::isSpace calls space: Unicode White_Space, including NEL (U+0085) and
    // the line and paragraph separators.
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
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

// Whether the text holds anything that takes part in reordering: right-to-left letters, Arabic
// numbers, or explicit direction marks. Text without any keeps the sentence around it in order
// by itself, and stays exactly as it was.
bool carriesDirection(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text[i].unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        switch (QChar::direction(code)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

QString isolatedForDisplay(const QString& text)
{
    if (!carriesDirection(text))
        return separatorsAsSpaces(text);
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
