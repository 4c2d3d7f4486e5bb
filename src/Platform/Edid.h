#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace zen {

// What a monitor says about itself in its EDID block. Every number is absent when the block
// is not a valid EDID base block (wrong header or checksum) or when the field holds 0.
struct EdidIdentity {
    std::optional<std::uint32_t> vendorID;   // the packed three-letter manufacturer id
    std::optional<std::uint32_t> productID;
    std::optional<std::uint32_t> serialNumber;
    std::optional<QString> monitorName;      // the monitor name descriptor, trimmed
};

// Parses the first 128 bytes of an EDID. Monitors without a real serial number commonly
// carry 0x01010101; it is read as absent, so two such monitors are told apart (or not) by
// vendor and product alone rather than by a number that means nothing.
EdidIdentity parseEdid(const QByteArray& bytes);

// The display id of a monitor: a 32-bit FNV-1a hash of its name, the same after a restart.
std::uint32_t stableDisplayID(const QByteArray& monitorName);

} // namespace zen
