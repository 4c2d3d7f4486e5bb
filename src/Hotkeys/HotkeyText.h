#pragma once

#include <QString>

#include <cstdint>

namespace zen {

struct HotkeyBinding;

// A stored shortcut as a person reads it here, in Qt's words with Super for the stored Command
// bit: "Ctrl+Alt+W", "Super+Shift+S", "Alt+Num+5". Made from the key code and the modifier
// bits alone: the stored display string was spelled for another keyboard and a hand-edited
// file can make it anything. A code no key here has reads "Key " and its number.
QString hotkeyText(std::uint32_t keyCode, std::uint32_t modifiers);
QString hotkeyText(const HotkeyBinding& binding);

} // namespace zen
