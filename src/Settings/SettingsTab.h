#pragma once

namespace zen {

// The settings window's tabs, in display order.
enum class SettingsTab { general, diagnostics, about };

} // namespace zen
