#pragma once

namespace zen {

// Whether the desktop lets views animate their changes: false when the widget style turns
// animation off or a GNOME-style desktop has "enable-animations" off (its reduce-motion
// setting). Main thread only.
bool animationsEnabled();

} // namespace zen
