#pragma once

#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace zen {

// Parses the 36-character hyphenated form (8-4-4-4-12 hexadecimal digits), upper or lower
// case. Braces, surrounding blanks and every other form QUuid would take are refused, so a
// file name or document field has exactly one spelling per id apart from letter case.
std::optional<QUuid> parseUuidStrict(QStringView text);

// The 36-character hyphenated form in upper case: the stored and displayed spelling.
QString uuidText(const QUuid& id);

// Orders ids by their upper-case text, the order that ties in stacking are broken by.
bool uuidTextLess(const QUuid& a, const QUuid& b);

} // namespace zen
