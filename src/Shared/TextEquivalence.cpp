#include "Shared/TextEquivalence.h"

#include <QHash>

namespace zen {

namespace {

bool isAscii(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    // ASCII text is its own decomposition: two different ASCII texts can't be equivalent.
    if (isAscii(a) && isAscii(b))
        return false;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool canonicallyEqual(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || canonicallyEqual(*a, *b);
}

std::size_t canonicalHash(const QString& text, std::size_t seed)
{
    if (isAscii(text))
        return qHash(text, seed);
    return qHash(text.normalized(QString::NormalizationForm_D), seed);
}

std::size_t canonicalHash(const std::optional<QString>& text, std::size_t seed)
{
    if (!text)
        return qHash(0x9e3779b9u, seed);
    return canonicalHash(*text, qHash(1u, seed));
}

} // namespace zen
