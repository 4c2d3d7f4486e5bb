#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zen {

// Why discovery left one window out of a capture.
struct WindowDiscoveryDiagnostic {
    std::optional<QString> bundleIdentifier;
    std::optional<std::int32_t> processIdentifier;
    QString reason;

    friend bool operator==(const WindowDiscoveryDiagnostic&, const WindowDiscoveryDiagnostic&) = default;
};

} // namespace zen
