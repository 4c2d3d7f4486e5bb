#pragma once

#include <QString>

#include <optional>

namespace zen {

// The text trimmed of white space and line breaks at both ends; absent when nothing is left.
// Blank names, titles and display names count as absent everywhere through this rule.
std::optional<QString> nonEmptyValue(const QString& text);
std::optional<QString> nonEmptyValue(const std::optional<QString>& text);

// A window's title only serves to recognise and show the window, yet a client may set one of
// any length and every layout stores it twice per window: longer titles are cut to this many
// UTF-16 units, wherever a title enters the program, so a stored title and a live one agree.
inline constexpr qsizetype maximumWindowTitleLength = 1024;
// The title cut to `maximumWindowTitleLength`, never between the halves of a surrogate pair.
QString cappedWindowTitle(const QString& title);

} // namespace zen
