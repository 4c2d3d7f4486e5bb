#include "Shared/Uuid.h"

namespace zen {

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

std::optional<QUuid> parseUuidStrict(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != u'-' : !isHexDigit(text[i]))
            return std::nullopt;
    }
    const QUuid id = QUuid::fromString(text);
    // The nil id is a valid text ("000...0") and QUuid reports it as null, not as failure.
    return id;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

bool uuidTextLess(const QUuid& a, const QUuid& b)
{
    return uuidText(a) < uuidText(b);
}

} // namespace zen
