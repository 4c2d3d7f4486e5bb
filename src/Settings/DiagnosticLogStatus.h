#pragma once

#include <QString>

namespace zen {

// The named colours of the settings window's symbols and values.
enum class SettingsTint { secondary, red, orange, green };

// The outcome of the last diagnostic log action, shown at the end of the Diagnostics tab.
struct DiagnosticLogStatus {
    QString message;
    QString systemImage;
    SettingsTint tint = SettingsTint::secondary;

    friend bool operator==(const DiagnosticLogStatus&, const DiagnosticLogStatus&) = default;
};

} // namespace zen
