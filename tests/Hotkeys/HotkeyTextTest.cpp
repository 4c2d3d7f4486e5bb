#include "Hotkeys/HotkeyText.h"

#include "Hotkeys/HotkeyBindingValidator.h"

#include <gtest/gtest.h>

namespace zen {
namespace {

constexpr std::uint32_t super = CarbonModifier::command;
constexpr std::uint32_t shift = CarbonModifier::shift;
constexpr std::uint32_t alt = CarbonModifier::option;
constexpr std::uint32_t ctrl = CarbonModifier::control;

TEST(HotkeyTextTest, StoredCodesReadAsThisDesktopWritesShortcuts)
{
    struct Case {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        const char* text;
    };
    const Case cases[] = {
        // each modifier alone, then combined in Qt's order whatever the bits
        {0x0D, super, "Super+W"},
        {0x0D, ctrl, "Ctrl+W"},
        {0x0D, alt, "Alt+W"},
        {0x0D, shift, "Shift+W"},
        {0x0D, ctrl | alt, "Ctrl+Alt+W"},
        {0x01, super | shift, "Super+Shift+S"},
        {0x28, super | ctrl | alt | shift, "Super+Ctrl+Alt+Shift+K"},
        {0x00, 0, "A"},
        // letters and digits by position, not by the order of the codes
        {0x10, alt, "Alt+Y"},
        {0x17, ctrl, "Ctrl+5"},
        {0x16, ctrl, "Ctrl+6"},
        {0x1D, super, "Super+0"},
        {0x2A, ctrl, "Ctrl+\\"},
        {0x32, alt, "Alt+`"},
        // function keys, including those past the stored name table
        {0x7A, ctrl, "Ctrl+F1"},
        {0x60, alt | ctrl, "Ctrl+Alt+F5"},
        {0x6F, super, "Super+F12"},
        {0x5A, super, "Super+F20"},
        // arrows and the keys without a printable face
        {0x7B, alt, "Alt+Left"},
        {0x7E, super | shift, "Super+Shift+Up"},
        {0x31, ctrl, "Ctrl+Space"},
        {0x24, super, "Super+Return"},
        {0x30, alt, "Alt+Tab"},
        {0x33, ctrl, "Ctrl+Backspace"},
        {0x75, ctrl, "Ctrl+Del"},
        {0x35, ctrl, "Ctrl+Esc"},
        {0x72, ctrl, "Ctrl+Ins"},
        {0x74, alt, "Alt+PgUp"},
        {0x37, ctrl, "Ctrl+Super"},
        // a modifier as the key itself: left Alt, left Ctrl, left Shift
        {0x3A, ctrl, "Ctrl+Alt"},
        {0x3B, alt, "Alt+Ctrl"},
        {0x38, super, "Super+Shift"},
        // keypad keys say so, unlike the stored names
        {0x57, ctrl | alt, "Ctrl+Alt+Num+5"},
        {0x4C, super, "Super+Num+Enter"},
        {0x45, ctrl, "Ctrl+Num++"},
        // codes no key here has: readable, never empty; foreign modifier bits are not named
        {0x3F, ctrl, "Ctrl+Key 63"},
        {0xFFFFFFFFu, super | 0x4000, "Super+Key 4294967295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(hotkeyText(c.keyCode, c.modifiers), QString::fromUtf8(c.text));
    }
}

TEST(HotkeyTextTest, TheStoredDisplayStringIsNeverShown)
{
    const HotkeyBinding forged{0x0D, ctrl | alt, QString(100000, QLatin1Char('x'))};
    EXPECT_EQ(hotkeyText(forged), "Ctrl+Alt+W");
    const HotkeyBinding spelled{0x01, super | shift, "Command-Shift-S"};
    EXPECT_EQ(hotkeyText(spelled), "Super+Shift+S");
}

} // namespace
} // namespace zen
