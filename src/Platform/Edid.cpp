#include "Platform/Edid.h"

#include "Shared/StringExtensions.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace zen {

namespace {

constexpr int blockSize = 128;
constexpr std::array<unsigned char, 8> header {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::uint32_t placeholderSerial = 0x01010101;

std::optional<std::uint32_t> nonZero(std::uint32_t v)
{
    return v == 0 ? std::nullopt : std::optional<std::uint32_t>(v);
}

} // namespace

EdidIdentity parseEdid(const QByteArray& bytes)
{
    EdidIdentity result;
    if (bytes.size() < blockSize)
        return result;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (!std::equal(header.begin(), header.end(), b) || std::accumulate(b, b + blockSize, 0u) % 256 != 0)
        return result;

    // The manufacturer id is stored big-endian; product and serial little-endian.
    result.vendorID = nonZero((std::uint32_t(b[8]) << 8) | b[9]);
    result.productID = nonZero(std::uint32_t(b[10]) | (std::uint32_t(b[11]) << 8));
    const std::uint32_t serial = std::uint32_t(b[12]) | (std::uint32_t(b[13]) << 8)
        | (std::uint32_t(b[14]) << 16) | (std::uint32_t(b[15]) << 24);
    if (serial != placeholderSerial)
        result.serialNumber = nonZero(serial);

    // Four 18-byte descriptors; a display descriptor starts with two zero bytes and names
    // its kind in byte 3 (0xFC: monitor name, up to 13 bytes ended by a line feed).
    for (int d = 54; d + 18 <= 126; d += 18) {
        if (b[d] != 0 || b[d + 1] != 0 || b[d + 3] != 0xFC)
            continue;
        QByteArray text;
        for (int i = d + 5; i < d + 18 && b[i] != 0x0A && b[i] != 0; ++i)
            text.append(char(b[i]));
        // Names are printable ASCII; anything else is a broken descriptor, not a name.
        if (std::ranges::all_of(text, [](char c) { return c >= 0x20 && c < 0x7F; }))
            result.monitorName = nonEmptyValue(QString::fromLatin1(text));
        break;
    }
    return result;
}

std::uint32_t stableDisplayID(const QByteArray& monitorName)
{
    std::uint32_t hash = 2166136261u;
    for (char c : monitorName) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace zen
