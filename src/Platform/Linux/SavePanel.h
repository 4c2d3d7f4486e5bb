#pragma once

#include <QString>

#include <optional>

namespace zen::linux_desktop {

// Asks the user where to save, modally, with the suggested name filled in; absent when the
// user cancels. Main thread only.
std::optional<QString> runSavePanel(const QString& suggestedFileName);

} // namespace zen::linux_desktop
