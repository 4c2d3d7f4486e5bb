#pragma once

#include <QString>

#include <cstddef>
#include <optional>

namespace zen {

// Unicode canonical equivalence: "é" as one code point equals "e" followed by the combining
// acute accent. Stored names and titles come from different programs and keyboards, which
// do not agree on one composition.
bool canonicallyEqual(const QString& a, const QString& b);
bool canonicallyEqual(const std::optional<QString>& a, const std::optional<QString>& b);

// A form in which canonically equivalent texts are identical, so that they can be compared
// with == and used as hash keys: the decomposed form.
QString canonicalForm(const QString& text);
std::optional<QString> canonicalForm(const std::optional<QString>& text);

// A hash that agrees with canonicallyEqual (it hashes the canonical form).
std::size_t canonicalHash(const QString& text, std::size_t seed = 0);
std::size_t canonicalHash(const std::optional<QString>& text, std::size_t seed = 0);

} // namespace zen
