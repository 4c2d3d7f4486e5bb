#pragma once

#include "Platform/WindowServer.h"
#include "Shared/Geometry.h"

#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace zen {

// One entry of the window server's list. Backed here by the window manager's client list:
// the number is the client's XID and the bounds its outer frame in the global space.
struct CGWindowMetadata {
    std::uint32_t windowID = 0;
    std::int32_t processIdentifier = 0;
    std::optional<QString> ownerName;
    std::int64_t layer = 0;
    CGRect bounds;
    std::optional<QString> title;
    bool isOnScreen = false;
    std::optional<std::int64_t> zOrderHint;
};

// Reads the window list and groups its entries by owning process.
struct CGWindowMetadataReader {
    using WindowListProvider = std::function<std::optional<std::vector<QVariantMap>>(WindowListOption)>;

    WindowListProvider windowListProvider;

    // Bound to the live platform.
    CGWindowMetadataReader();
    explicit CGWindowMetadataReader(std::shared_ptr<WindowServer> server);
    explicit CGWindowMetadataReader(WindowListProvider provider) : windowListProvider(std::move(provider)) {}

    std::map<std::int32_t, std::vector<CGWindowMetadata>> readWindowMetadata(const std::set<std::int32_t>& processIdentifiers) const;

private:
    std::unordered_map<std::uint32_t, std::int64_t> onscreenZOrderByWindowID() const;
    static std::optional<CGWindowMetadata> metadata(const QVariantMap& entry,
                                                    const std::unordered_map<std::uint32_t, std::int64_t>& onscreenZOrder);
};

} // namespace zen
