#pragma once

namespace zen {

// Whether a compositing manager runs on the application's X screen: some client owns the
// selection _NET_WM_CM_S<screen>. Without one, window opacity does nothing and a translucent
// window is drawn over black. False when the application is not on X11.
bool compositingManagerRunning();

} // namespace zen
