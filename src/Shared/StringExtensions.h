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

// Text from a file or a feed (a layout's name, a window's title, a version label) made safe to
// place inside a sentence or a row: line breaks, line and paragraph separators become spaces,
// so a name never draws as several overlapping lines, and the whole is wrapped in a first-strong
// isolate, so right-to-left characters and direction overrides inside it cannot reorder the
// text around it. Isolate marks inside that close nothing are dropped and any left open are
// closed, so the text cannot break out of its isolate either. Text with nothing that takes part
// in reordering (no right-to-left letters, no direction marks) needs no isolate and gets none.
QString isolatedForDisplay(const QString& text);

// Only the separators of `isolatedForDisplay` as spaces, for a text that stands alone in its
// own label (nothing around it to protect, but it must stay one line).
QString separatorsAsSpaces(const QString& text);

} // namespace zen
