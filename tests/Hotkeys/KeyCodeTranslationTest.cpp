#include "Hotkeys/KeyCodeTranslation.h"

#include "Hotkeys/HotkeyBindingValidator.h"

#include <gtest/gtest.h>

#include <set>

namespace zen {
namespace {

using namespace KeyCodeTranslation;

struct Position {
    const char* name;
    std::uint32_t mac;
    std::uint32_t evdev;
};

// Evdev codes as in linux/input-event-codes.h, macOS codes as on the ANSI keyboard.
constexpr Position representative[] = {
    {"A", 0x00, 30},      {"S", 0x01, 31},       {"Z", 0x06, 44},      {"Q", 0x0C, 16},
    {"K", 0x28, 37},      {"M", 0x2E, 50},       {"1", 0x12, 2},       {"5", 0x17, 6},
    {"6", 0x16, 7},       {"9", 0x19, 10},       {"0", 0x1D, 11},      {"minus", 0x1B, 12},
    {"grave", 0x32, 41},  {"backslash", 0x2A, 43}, {"slash", 0x2C, 53}, {"F1", 0x7A, 59},
    {"F2", 0x78, 60},     {"F5", 0x60, 63},      {"F10", 0x6D, 68},    {"F11", 0x67, 87},
    {"F12", 0x6F, 88},    {"F13", 0x69, 183},    {"F16", 0x6A, 186},   {"KP0", 0x52, 82},
    {"KP5", 0x57, 76},    {"KP7", 0x59, 71},     {"KP9", 0x5C, 73},    {"KPEnter", 0x4C, 96},
    {"KPSlash", 0x4B, 98}, {"KPAsterisk", 0x43, 55}, {"Clear/NumLock", 0x47, 69},
    {"Left", 0x7B, 105},  {"Right", 0x7C, 106},  {"Down", 0x7D, 108},  {"Up", 0x7E, 103},
    {"Space", 0x31, 57},  {"Return", 0x24, 28},  {"Escape", 0x35, 1},  {"Tab", 0x30, 15},
    {"Delete", 0x33, 14}, {"ForwardDelete", 0x75, 111}, {"Home", 0x73, 102},
    {"PageDown", 0x79, 109}, {"Command", 0x37, 125}, {"Option", 0x3A, 56},
};

TEST(KeyCodeTranslationTest, PhysicalPositionsTranslateBothWays)
{
    for (const auto& key : representative) {
        SCOPED_TRACE(key.name);
        EXPECT_EQ(evdevCodeForMacKeyCode(key.mac), key.evdev);
        EXPECT_EQ(macKeyCodeForEvdevCode(key.evdev), key.mac);
        EXPECT_EQ(xKeycodeForMacKeyCode(key.mac), key.evdev + 8);
        EXPECT_EQ(macKeyCodeForXKeycode(key.evdev + 8), key.mac);
    }
}

TEST(KeyCodeTranslationTest, EveryNamedKeyHasAPositionAndTheTableIsOneToOne)
{
    // Every key the binding vocabulary can name must be grabbable, and a round trip must
    // land on the same key, or a captured shortcut would grab a different key.
    std::set<std::uint32_t> evdevSeen;
    for (std::uint32_t mac = 0; mac < 0x80; ++mac) {
        const auto evdev = evdevCodeForMacKeyCode(mac);
        const bool named = !HotkeyBindingValidator::displayString(mac, 0, std::nullopt).startsWith("Key ");
        if (named) {
            EXPECT_TRUE(evdev) << "mac key " << mac;
        }
        if (!evdev)
            continue;
        EXPECT_TRUE(evdevSeen.insert(*evdev).second) << "evdev " << *evdev << " used twice";
        EXPECT_EQ(macKeyCodeForEvdevCode(*evdev), mac);
    }
}

TEST(KeyCodeTranslationTest, UnknownCodesHaveNoTranslation)
{
    EXPECT_FALSE(evdevCodeForMacKeyCode(0x3F)); // Fn has no X keycode
    EXPECT_FALSE(evdevCodeForMacKeyCode(1000));
    EXPECT_FALSE(macKeyCodeForEvdevCode(99));   // Print Screen
    EXPECT_FALSE(macKeyCodeForXKeycode(0));
    EXPECT_FALSE(macKeyCodeForXKeycode(7));
    EXPECT_FALSE(macKeyCodeForXKeycode(300));
}

TEST(KeyCodeTranslationTest, ModifiersTranslateBothWays)
{
    const std::pair<std::uint32_t, std::uint16_t> pairs[] = {
        {0, 0},
        {CarbonModifier::command, x11Mod4Mask},
        {CarbonModifier::option, x11Mod1Mask},
        {CarbonModifier::control, x11ControlMask},
        {CarbonModifier::shift, x11ShiftMask},
        {0x1B00, x11Mod4Mask | x11Mod1Mask | x11ControlMask | x11ShiftMask},
    };
    for (const auto& [carbon, x11] : pairs) {
        SCOPED_TRACE(carbon);
        EXPECT_EQ(x11ModifiersForCarbon(carbon), x11);
        EXPECT_EQ(carbonModifiersForX11(x11), carbon);
    }
    // Lock bits and the other ModN have no Carbon counterpart.
    EXPECT_EQ(carbonModifiersForX11(x11LockMask | x11Mod2Mask | x11Mod3Mask | x11Mod5Mask | x11Mod1Mask),
              CarbonModifier::option);
    EXPECT_EQ(x11ModifiersForCarbon(0x4000 | CarbonModifier::shift), x11ShiftMask);
}

} // namespace
} // namespace zen
