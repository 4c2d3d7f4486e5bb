#pragma once

#include <optional>

namespace zen {

// Whether the program may animate its views. A person who asked the desktop for no animation
// (the style's widget-animation hint, or the desktop's "enable-animations" switch) gets every
// change at once. Asked afresh each time, so a change of the setting applies to the next
// animation without a restart.
bool animationsEnabled();

// Replaces the desktop's answer until reset with std::nullopt (tests; a session whose desktop
// setting cannot be read).
void setAnimationsEnabledOverride(std::optional<bool> enabled);

} // namespace zen
