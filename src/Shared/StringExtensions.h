#pragma once

#include <QString>

#include <optional>

namespace zen {

// The text trimmed of white space and line breaks at both ends; absent when nothing is left.
// Blank names, titles and display names count as absent everywhere through this rule.
std::optional<QString> nonEmptyValue(const QString& text);
std::optional<QString> nonEmptyValue(const std::optional<QString>& text);

} // namespace zen
