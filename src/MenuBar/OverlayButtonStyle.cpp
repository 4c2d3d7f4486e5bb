#include "MenuBar/OverlayButtonStyle.h"

namespace zen::OverlayButtonStyle {

QString pushButton(bool isDefault)
{
    const char* background = isDefault ? "#0a84ff" : "rgba(255, 255, 255, 46)";
    const char* pressed = isDefault ? "#0060df" : "rgba(255, 255, 255, 80)";
    return QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                          " padding: 5px 14px; font-size: 13px; }"
                          " QPushButton:pressed { background: %2; }")
        .arg(QLatin1String(background), QLatin1String(pressed));
}

} // namespace zen::OverlayButtonStyle
