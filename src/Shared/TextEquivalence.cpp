#include "Shared/TextEquivalence.h"

#include <QHash>

namespace zen {

QString canonicalForm(const QString& text)
{
    // ASCII text is its own decomposition and skips the work.
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return text.normalized(QString::NormalizationForm_D);
    return text;
}

std::optional<QString> canonicalForm(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    return canonicalForm(*text);
}

bool canonicallyEqual(const QString& a, const QString& b)
{
    return a == b || canonicalForm(a) == canonicalForm(b);
}

bool canonicallyEqual(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || canonicallyEqual(*a, *b);
}

std::size_t canonicalHash(const QString& text, std::size_t seed)
{
    return qHash(canonicalForm(text), seed);
}

std::size_t canonicalHash(const std::optional<QString>& text, std::size_t seed)
{
    if (!text)
        return qHash(0x9e3779b9u, seed);
    return canonicalHash(*text, qHash(1u, seed));
}

} // namespace zen
