#pragma once

#include <QString>

namespace zen {

// The reasons a restore gives for leaving a saved window alone. Shown to the user as they are.
namespace RestoreSkipReason {
inline const QString appNotRunning = QStringLiteral("app not running");
inline const QString windowNotFound = QStringLiteral("window not found");
inline const QString restoreFailed = QStringLiteral("restore failed");
} // namespace RestoreSkipReason

} // namespace zen
