#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>
#include <vector>

namespace zen {

enum class WindowListOption {
    optionAll = 0,          // every window of every process
    optionOnScreenOnly = 1, // on-screen windows only, front-most first
};

// Keys of one window-list entry. Values: numbers as qint64/uint/double, texts as QString,
// bounds as a map of "X", "Y", "Width", "Height".
namespace WindowListKey {
inline const QString number = QStringLiteral("windowNumber");
inline const QString ownerPID = QStringLiteral("ownerPID");
inline const QString ownerName = QStringLiteral("ownerName");
inline const QString layer = QStringLiteral("layer");
inline const QString bounds = QStringLiteral("bounds");
inline const QString name = QStringLiteral("name");
inline const QString isOnscreen = QStringLiteral("isOnscreen");
} // namespace WindowListKey

// The window server's list of windows, as loosely typed entries that readers check.
class WindowServer {
public:
    virtual ~WindowServer() = default;
    // Absent when the list cannot be obtained.
    virtual std::optional<std::vector<QVariantMap>> copyWindowList(WindowListOption option) = 0;
    // Whether the list last obtained left windows out because there were more than one
    // reading takes (the front-most were kept).
    virtual bool windowListTruncated() { return false; }
};

} // namespace zen
