#pragma once

#include <QString>

namespace zen::OverlayButtonStyle {

// Push buttons drawn for the dark toast card, the default one in the accent colour.
QString pushButton(bool isDefault);

} // namespace zen::OverlayButtonStyle
