#pragma once

#include <QString>

namespace zen {

// A layout name or window title made safe for a menu item or button: every '&' doubled so
// it shows as itself instead of turning the next letter into a mnemonic.
QString menuText(const QString& text);

} // namespace zen
