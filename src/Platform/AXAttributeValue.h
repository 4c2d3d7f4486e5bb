#pragma once

#include "Platform/AXUIElement.h"
#include "Shared/Geometry.h"

#include <QString>

#include <variant>
#include <vector>

namespace zen {

// A raw attribute value as the accessibility layer hands it out. Readers check the
// alternative they expect and treat any other as absent.
using AXAttributeValue = std::variant<bool, double, QString, CGPoint, CGSize, std::vector<AXUIElement>>;

// The attribute and action names the system reads, writes and performs.
namespace AXAttribute {
inline const QString windows = QStringLiteral("AXWindows");
inline const QString hidden = QStringLiteral("AXHidden");
inline const QString position = QStringLiteral("AXPosition");
inline const QString size = QStringLiteral("AXSize");
inline const QString title = QStringLiteral("AXTitle");
inline const QString role = QStringLiteral("AXRole");
inline const QString subrole = QStringLiteral("AXSubrole");
inline const QString minimized = QStringLiteral("AXMinimized");
inline const QString fullScreen = QStringLiteral("AXFullScreen");
inline const QString main = QStringLiteral("AXMain");
inline const QString focused = QStringLiteral("AXFocused");
} // namespace AXAttribute

namespace AXAction {
inline const QString raise = QStringLiteral("AXRaise");
} // namespace AXAction

// The role and subrole vocabulary that window types are described in.
namespace AXRoleName {
inline const QString window = QStringLiteral("AXWindow");
inline const QString sheet = QStringLiteral("AXSheet");
inline const QString standardWindow = QStringLiteral("AXStandardWindow");
inline const QString dialog = QStringLiteral("AXDialog");
inline const QString floatingWindow = QStringLiteral("AXFloatingWindow");
inline const QString systemDialog = QStringLiteral("AXSystemDialog");
} // namespace AXRoleName

} // namespace zen
