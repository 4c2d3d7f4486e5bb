#include "Hotkeys/HotkeyBindingValidator.h"

#include "Shared/DesktopWords.h"

#include <QChar>
#include <QHash>
#include <QStringList>
#include <QTextBoundaryFinder>

namespace zen {

namespace {

// Names of the keys of the ANSI keyboard, by macOS virtual key code. Keypad keys carry the
// same name as the main-keyboard key with the same character on purpose.
const QHash<std::uint32_t, QString>& keyCodeNames()
{
    // A function-local static is initialised once even when first reached from two threads.
    static const QHash<std::uint32_t, QString> names = {
        // Letters
        {0, "A"}, {1, "S"}, {2, "D"}, {3, "F"}, {4, "H"}, {5, "G"}, {6, "Z"}, {7, "X"},
        {8, "C"}, {9, "V"}, {11, "B"}, {12, "Q"}, {13, "W"}, {14, "E"}, {15, "R"}, {16, "Y"},
        {17, "T"}, {31, "O"}, {32, "U"}, {34, "I"}, {35, "P"}, {37, "L"}, {38, "J"}, {40, "K"},
        {45, "N"}, {46, "M"},
        // Digits of the main row
        {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"}, {25, "9"}, {26, "7"},
        {28, "8"}, {29, "0"},
        // Punctuation
        {24, "="}, {27, "-"}, {30, "]"}, {33, "["}, {39, "'"}, {41, ";"}, {42, "\\"}, {43, ","},
        {44, "/"}, {47, "."}, {50, "`"},
        {49, "Space"},
        // Keypad
        {65, "."}, {67, "*"}, {69, "+"}, {71, "Clear"}, {75, "/"}, {76, "Enter"}, {78, "-"},
        {81, "="}, {82, "0"}, {83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}, {87, "5"}, {88, "6"},
        {89, "7"}, {91, "8"}, {92, "9"},
        // Function keys
        {122, "F1"}, {120, "F2"}, {99, "F3"}, {118, "F4"}, {96, "F5"}, {97, "F6"}, {98, "F7"},
        {100, "F8"}, {101, "F9"}, {109, "F10"}, {103, "F11"}, {111, "F12"}, {105, "F13"},
        {107, "F14"}, {113, "F15"}, {106, "F16"},
    };
    return names;
}

// Each stored modifier, Qt's name for it and the word the shortcut's text uses, in the
// order the text lists them.
struct Modifier {
    std::uint32_t carbon;
    Qt::KeyboardModifier qt;
    const char* word;
};
constexpr Modifier allModifiers[] = {
    {CarbonModifier::command, Qt::MetaModifier, "Command"},
    {CarbonModifier::option, Qt::AltModifier, "Option"},
    {CarbonModifier::control, Qt::ControlModifier, "Control"},
    {CarbonModifier::shift, Qt::ShiftModifier, "Shift"},
};

// One user-perceived character: "é" typed as e + combining accent counts as one.
bool isSingleCharacter(const QString& text)
{
    if (text.isEmpty())
        return false;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    return finder.toNextBoundary() == text.size();
}

bool startsWithAlphanumeric(const QString& text)
{
    const auto scalars = text.toUcs4();
    if (scalars.isEmpty())
        return false;
    const char32_t first = scalars.front();
    return QChar::isLetterOrNumber(first) || QChar::isMark(first);
}

} // namespace

QString HotkeyBindingError::errorDescription() const
{
    switch (m_kind) {
    case Kind::duplicateAssignment:
        return QStringLiteral("\"%1\" already uses that hotkey.").arg(m_snapshotName);
    case Kind::invalidCombination:
        return QStringLiteral("Use a key with %1.").arg(DesktopWords::requiredModifierKeys);
    }
    return {};
}

QKeySequence HotkeyShortcutRepresentation::keySequence() const
{
    // Qt names letter keys by their upper-case code.
    const auto scalars = keyEquivalent.toUpper().toUcs4();
    if (scalars.size() != 1)
        return {};
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(scalars.front())));
}

std::expected<void, HotkeyBindingError> HotkeyBindingValidator::validate(const HotkeyBinding& binding)
{
    if (!isValidModifierMask(binding.modifiers))
        return std::unexpected(HotkeyBindingError::invalidCombination());
    return {};
}

std::uint32_t HotkeyBindingValidator::carbonModifiers(Qt::KeyboardModifiers flags)
{
    std::uint32_t result = 0;
    for (const Modifier& modifier : allModifiers)
        if (flags & modifier.qt)
            result |= modifier.carbon;
    return result;
}

QString HotkeyBindingValidator::keyName(std::uint32_t keyCode,
                                        const std::optional<QString>& eventCharacters)
{
    if (eventCharacters && isSingleCharacter(*eventCharacters)
        && startsWithAlphanumeric(*eventCharacters))
        return eventCharacters->toUpper();
    const auto& names = keyCodeNames();
    if (const auto it = names.constFind(keyCode); it != names.cend())
        return *it;
    return QStringLiteral("Key %1").arg(keyCode);
}

QString HotkeyBindingValidator::displayString(std::uint32_t keyCode, std::uint32_t modifiers,
                                              const std::optional<QString>& eventCharacters)
{
    QStringList parts;
    for (const Modifier& modifier : allModifiers)
        if (modifiers & modifier.carbon)
            parts << QLatin1String(modifier.word);
    parts << keyName(keyCode, eventCharacters);
    return parts.join(QLatin1Char('-'));
}

std::expected<HotkeyBinding, HotkeyBindingError> HotkeyBindingValidator::binding(const HotkeyKeyPress& press)
{
    const std::uint32_t modifiers = carbonModifiers(press.modifiers);
    HotkeyBinding result{press.keyCode, modifiers, displayString(press.keyCode, modifiers, press.characters)};
    if (auto valid = validate(result); !valid)
        return std::unexpected(valid.error());
    return result;
}

std::optional<HotkeyShortcutRepresentation>
HotkeyBindingValidator::shortcutRepresentation(std::uint32_t keyCode, std::uint32_t modifiers)
{
    const auto& names = keyCodeNames();
    const auto it = names.constFind(keyCode);
    if (it == names.cend() || it->size() != 1)
        return std::nullopt;
    const QChar character = it->front();
    HotkeyShortcutRepresentation result;
    result.keyEquivalent = character.isLetter() ? QString(character.toLower()) : QString(character);
    for (const Modifier& modifier : allModifiers)
        if (modifiers & modifier.carbon)
            result.modifiers |= modifier.qt;
    return result;
}

std::optional<HotkeyShortcutRepresentation> shortcutRepresentation(const HotkeyBinding& binding)
{
    return HotkeyBindingValidator::shortcutRepresentation(binding.keyCode, binding.modifiers);
}

bool matches(const HotkeyBinding& lhs, const HotkeyBinding& rhs)
{
    return lhs.keyCode == rhs.keyCode && lhs.modifiers == rhs.modifiers;
}

} // namespace zen
