#pragma once

#include <cstdint>
#include <optional>

namespace zen {

// Stored bindings keep macOS virtual key codes and Carbon modifier bits so layout files stay
// the same everywhere; the X server speaks keycodes and core modifier masks. Keys are matched
// by their physical position on an ANSI US keyboard, through the Linux evdev code of that
// position (X keycode = evdev code + 8 under the evdev keymap every current X server uses).
namespace KeyCodeTranslation {

// Core X modifier masks, spelled out here so logic need not include X11 headers.
inline constexpr std::uint16_t x11ShiftMask = 1u << 0;
inline constexpr std::uint16_t x11LockMask = 1u << 1;
inline constexpr std::uint16_t x11ControlMask = 1u << 2;
inline constexpr std::uint16_t x11Mod1Mask = 1u << 3; // Alt
inline constexpr std::uint16_t x11Mod2Mask = 1u << 4;
inline constexpr std::uint16_t x11Mod3Mask = 1u << 5;
inline constexpr std::uint16_t x11Mod4Mask = 1u << 6; // Super
inline constexpr std::uint16_t x11Mod5Mask = 1u << 7;

inline constexpr std::uint32_t evdevToXKeycodeOffset = 8;

std::optional<std::uint32_t> evdevCodeForMacKeyCode(std::uint32_t macKeyCode);
std::optional<std::uint32_t> macKeyCodeForEvdevCode(std::uint32_t evdevCode);

std::optional<std::uint8_t> xKeycodeForMacKeyCode(std::uint32_t macKeyCode);
std::optional<std::uint32_t> macKeyCodeForXKeycode(std::uint32_t xKeycode);

// Command ↔ Super (Mod4), Option ↔ Alt (Mod1), Control ↔ Control, Shift ↔ Shift. Other bits
// on either side have no counterpart and are dropped.
std::uint16_t x11ModifiersForCarbon(std::uint32_t carbonModifiers);
std::uint32_t carbonModifiersForX11(std::uint16_t x11Modifiers);

} // namespace KeyCodeTranslation
} // namespace zen
