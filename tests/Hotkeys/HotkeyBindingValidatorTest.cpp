#include "Hotkeys/HotkeyBindingValidator.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

constexpr std::uint32_t cmd = CarbonModifier::command;
constexpr std::uint32_t shift = CarbonModifier::shift;
constexpr std::uint32_t opt = CarbonModifier::option;
constexpr std::uint32_t ctrl = CarbonModifier::control;

TEST(HotkeyBindingValidatorTest, ModifierRuleNeedsCommandOptionOrControlAndNothingForeign)
{
    struct Case {
        std::uint32_t modifiers;
        bool valid;
    };
    const Case cases[] = {
        {0, false},
        {shift, false},
        {cmd, true},
        {opt, true},
        {ctrl, true},
        {cmd | shift, true},
        {cmd | opt | ctrl | shift, true},
        {cmd | 0x4000, false}, // a bit outside the four spoils an otherwise fine mask
        {ctrl | 0x0400, false},
        {0x0100 | 0x0080, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modifiers);
        EXPECT_EQ(HotkeyBindingValidator::isValidModifierMask(c.modifiers), c.valid);
        const auto result = HotkeyBindingValidator::validate({40, c.modifiers, "x"});
        EXPECT_EQ(result.has_value(), c.valid);
        if (!result) {
            EXPECT_EQ(result.error(), HotkeyBindingError::invalidCombination());
        }
    }
}

TEST(HotkeyBindingValidatorTest, QtModifiersMapToCarbonBitsAndDropTheRest)
{
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::MetaModifier), cmd);
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::AltModifier), opt);
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::ControlModifier), ctrl);
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::ShiftModifier), shift);
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::KeypadModifier | Qt::GroupSwitchModifier), 0u);
    EXPECT_EQ(HotkeyBindingValidator::carbonModifiers(Qt::MetaModifier | Qt::ShiftModifier
                                                      | Qt::KeypadModifier),
              cmd | shift);
}

TEST(HotkeyBindingValidatorTest, DisplayStringsFollowTheFixedWordOrder)
{
    struct Case {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::optional<QString> characters;
        QString expected;
    };
    const Case cases[] = {
        {40, cmd | opt, QString("k"), "Command-Option-K"},
        {96, ctrl | shift, std::nullopt, "Control-Shift-F5"},
        {0, shift | ctrl | opt | cmd, QString("a"), "Command-Option-Control-Shift-A"},
        {0, cmd | shift, QString("A"), "Command-Shift-A"},
        // Not alphanumeric: the table names the key, not the shifted character.
        {18, cmd | shift, QString("!"), "Command-Shift-1"},
        // Return, arrows and other keys absent from the table are named by number.
        {36, cmd, QString("\r"), "Command-Key 36"},
        {126, ctrl, std::nullopt, "Control-Key 126"},
        // Keypad keys read like their main-keyboard twins.
        {87, ctrl | opt, QString("5"), "Option-Control-5"},
        {87, ctrl | opt, std::nullopt, "Option-Control-5"},
        {76, cmd, std::nullopt, "Command-Enter"},
        {71, cmd, std::nullopt, "Command-Clear"},
        {49, opt, QString(" "), "Option-Space"},
        {42, ctrl, QString("\\"), "Control-\\"},
        {106, cmd, std::nullopt, "Command-F16"},
        // Letters of other scripts are used as typed, upper-cased.
        {40, cmd, QString::fromUtf8("л"), QString::fromUtf8("Command-Л")},
        {40, cmd, QString::fromUtf8("e\u0301"), QString::fromUtf8("Command-E\u0301")},
        // More than one character is not a key name.
        {40, cmd, QString("ab"), "Command-K"},
        {40, cmd, QString(""), "Command-K"},
        {12, 0, QString("q"), "Q"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        EXPECT_EQ(HotkeyBindingValidator::displayString(c.keyCode, c.modifiers, c.characters), c.expected);
    }
}

TEST(HotkeyBindingValidatorTest, KeyNamesCoverLettersDigitsKeypadAndFunctionKeys)
{
    const std::pair<std::uint32_t, const char*> names[] = {
        {0, "A"}, {1, "S"}, {11, "B"}, {31, "O"}, {46, "M"}, {22, "6"}, {23, "5"}, {29, "0"},
        {24, "="}, {27, "-"}, {30, "]"}, {33, "["}, {39, "'"}, {41, ";"}, {43, ","}, {44, "/"},
        {47, "."}, {50, "`"}, {65, "."}, {67, "*"}, {69, "+"}, {75, "/"}, {78, "-"}, {81, "="},
        {82, "0"}, {92, "9"}, {122, "F1"}, {120, "F2"}, {99, "F3"}, {118, "F4"}, {109, "F10"},
        {103, "F11"}, {111, "F12"}, {105, "F13"}, {107, "F14"}, {113, "F15"},
        {48, "Key 48"}, {51, "Key 51"}, {53, "Key 53"}, {10, "Key 10"}, {64, "Key 64"},
        {115, "Key 115"}, {117, "Key 117"}, {999, "Key 999"},
    };
    for (const auto& [code, name] : names) {
        SCOPED_TRACE(code);
        EXPECT_EQ(HotkeyBindingValidator::displayString(code, cmd, std::nullopt),
                  QString("Command-") + name);
    }
}

TEST(HotkeyBindingValidatorTest, BindingFromKeyPress)
{
    auto ok = HotkeyBindingValidator::binding({0, Qt::MetaModifier | Qt::ShiftModifier, QString("A")});
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->keyCode, 0u);
    EXPECT_EQ(ok->modifiers, 0x300u);
    EXPECT_EQ(ok->displayString, "Command-Shift-A");

    // Caps Lock never reaches Qt as a modifier flag; the keypad flag is dropped.
    auto keypad = HotkeyBindingValidator::binding({87, Qt::AltModifier | Qt::KeypadModifier, QString("5")});
    ASSERT_TRUE(keypad);
    EXPECT_EQ(keypad->modifiers, opt);

    auto shiftOnly = HotkeyBindingValidator::binding({0, Qt::ShiftModifier, QString("A")});
    ASSERT_FALSE(shiftOnly);
    EXPECT_EQ(shiftOnly.error().errorDescription(), "Use a key with Super, Alt, or Ctrl.");
    EXPECT_FALSE(HotkeyBindingValidator::binding({0, Qt::NoModifier, QString("a")}));
}

TEST(HotkeyBindingValidatorTest, MenuShortcutsOnlyForSingleCharacterKeys)
{
    auto letter = HotkeyBindingValidator::shortcutRepresentation(40, cmd | opt);
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->keyEquivalent, "k");
    EXPECT_EQ(letter->modifiers, Qt::MetaModifier | Qt::AltModifier);
    EXPECT_EQ(letter->keySequence(), QKeySequence(Qt::META | Qt::ALT | Qt::Key_K));

    // Keypad 5 and main-row 5 give the same shortcut.
    auto keypad = HotkeyBindingValidator::shortcutRepresentation(87, ctrl | opt);
    auto mainRow = HotkeyBindingValidator::shortcutRepresentation(23, ctrl | opt);
    ASSERT_TRUE(keypad);
    EXPECT_EQ(keypad, mainRow);
    EXPECT_EQ(keypad->keyEquivalent, "5");
    EXPECT_EQ(keypad->keySequence(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_5));

    auto shifted = HotkeyBindingValidator::shortcutRepresentation(44, ctrl | shift);
    ASSERT_TRUE(shifted);
    EXPECT_EQ(shifted->keyEquivalent, "/");
    EXPECT_EQ(shifted->modifiers, Qt::ControlModifier | Qt::ShiftModifier);

    for (std::uint32_t code : {36u, 49u, 76u, 71u, 122u, 106u, 126u, 500u}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(HotkeyBindingValidator::shortcutRepresentation(code, cmd));
    }
    // Only the four modifiers ever reach the menu.
    auto foreign = HotkeyBindingValidator::shortcutRepresentation(0, cmd | 0x4000);
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->modifiers, Qt::MetaModifier);
    EXPECT_EQ(shortcutRepresentation(HotkeyBinding{0, cmd, "ignored"}), foreign);
}

TEST(HotkeyBindingValidatorTest, MatchesIgnoresDisplayStrings)
{
    EXPECT_TRUE(matches({40, cmd, "Command-K"}, {40, cmd, "something else"}));
    EXPECT_FALSE(matches({40, cmd, "Command-K"}, {40, cmd | shift, "Command-K"}));
    EXPECT_FALSE(matches({40, cmd, "Command-K"}, {41, cmd, "Command-K"}));
}

TEST(HotkeyBindingValidatorTest, ErrorMessages)
{
    EXPECT_EQ(HotkeyBindingError::duplicateAssignment("Work").errorDescription(),
              "\"Work\" already uses that hotkey.");
    EXPECT_EQ(HotkeyBindingError::duplicateAssignment("A"), HotkeyBindingError::duplicateAssignment("A"));
    EXPECT_NE(HotkeyBindingError::duplicateAssignment("A"), HotkeyBindingError::duplicateAssignment("B"));
    EXPECT_NE(HotkeyBindingError::duplicateAssignment(""), HotkeyBindingError::invalidCombination());
}

} // namespace
} // namespace zen
