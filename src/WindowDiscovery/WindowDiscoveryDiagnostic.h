#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zen {

// One window that discovery left out, and why.
struct WindowDiscoveryDiagnostic {
    std::optional<QString> bundleIdentifier;
    std::optional<std::int32_t> processIdentifier;
    QString reason;

    friend bool operator==(const WindowDiscoveryDiagnostic&, const WindowDiscoveryDiagnostic&) = default;
};

namespace WindowDiscoveryDiagnosticReason {
inline const QString missingOrInvalidFrame = QStringLiteral("missing or invalid frame");
inline const QString nonzeroCGWindowLayer = QStringLiteral("nonzero CoreGraphics window layer");
inline const QString transientRole = QStringLiteral("transient role");
inline const QString transientSubrole = QStringLiteral("transient subrole");
inline const QString unmanageableDialog = QStringLiteral("unmanageable dialog");
// Not a window's own rejection: the desktop listed more windows than one reading takes, so
// the windows behind the front-most ones were not examined.
inline const QString windowListTruncated = QStringLiteral("window list truncated");
} // namespace WindowDiscoveryDiagnosticReason

} // namespace zen
