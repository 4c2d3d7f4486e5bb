#pragma once

#include "Shared/UserDefaults.h"

#include <QString>

namespace zen::ZentharionSettings {

// Bool: whether a display change leads to a restore suggestion.
inline const QString suggestRestoreOnDisplayChangeKey = QStringLiteral("suggestRestoreOnDisplayChange");

// Registers the default (true) for the key; a value the user stored wins. Without it a plain
// Boolean read would answer false and the feature would start switched off.
void registerDefaults(UserDefaults& defaults = UserDefaults::standard());

} // namespace zen::ZentharionSettings
