#include "Displays/DisplayConfigurationMatcher.h"

#include "Shared/StringExtensions.h"
#include "Shared/TextEquivalence.h"

#include <QHash>

#include <cmath>
#include <cstdint>
#include <unordered_set>

namespace zen {

namespace {

struct DisplayHardwareConfigurationKey {
    std::optional<std::uint32_t> vendorID;
    std::optional<std::uint32_t> productID;
    std::optional<std::uint32_t> serialNumber;

    static std::optional<DisplayHardwareConfigurationKey> make(const DisplayRecord& display)
    {
        if (!display.vendorID || !display.productID || !display.serialNumber)
            return std::nullopt;
        return DisplayHardwareConfigurationKey{display.vendorID, display.productID, display.serialNumber};
    }

    friend bool operator==(const DisplayHardwareConfigurationKey&, const DisplayHardwareConfigurationKey&) = default;

    struct Hash {
        std::size_t operator()(const DisplayHardwareConfigurationKey& k) const
        {
            std::size_t seed = 0;
            for (const auto& part : {k.vendorID, k.productID, k.serialNumber})
                seed = ::qHash(part.value_or(0), seed);
            return seed;
        }
    };
};

// 0 and -0 compare equal, so they must hash alike.
std::size_t hashDouble(double value, std::size_t seed)
{
    return ::qHash(value == 0 ? 0.0 : value, seed);
}

struct DisplayNameSizeScaleConfigurationKey {
    QString localizedName;
    double width = 0;
    double height = 0;
    double backingScaleFactor = 0;

    static std::optional<DisplayNameSizeScaleConfigurationKey> make(const DisplayRecord& display)
    {
        const std::optional<QString> name = nonEmptyValue(display.localizedName);
        if (!name)
            return std::nullopt;
        const DisplayNameSizeScaleConfigurationKey key{*name, display.frame.width, display.frame.height,
                                                       display.backingScaleFactor};
        // A NaN never equals itself, so such a display could never pair; refuse it up front
        // rather than let it slip through the distinctness check as a "unique" key.
        if (!std::isfinite(key.width) || !std::isfinite(key.height) || !std::isfinite(key.backingScaleFactor))
            return std::nullopt;
        return key;
    }

    friend bool operator==(const DisplayNameSizeScaleConfigurationKey& a,
                           const DisplayNameSizeScaleConfigurationKey& b)
    {
        return a.width == b.width && a.height == b.height && a.backingScaleFactor == b.backingScaleFactor
            && canonicallyEqual(a.localizedName, b.localizedName);
    }

    struct Hash {
        std::size_t operator()(const DisplayNameSizeScaleConfigurationKey& k) const
        {
            std::size_t seed = canonicalHash(k.localizedName);
            seed = hashDouble(k.width, seed);
            seed = hashDouble(k.height, seed);
            return hashDouble(k.backingScaleFactor, seed);
        }
    };
};

template <typename Key>
bool oneToOneMatch(const std::vector<DisplayRecord>& savedDisplays,
                   const std::vector<DisplayRecord>& currentDisplays)
{
    using Set = std::unordered_set<Key, typename Key::Hash>;
    const auto keys = [](const std::vector<DisplayRecord>& displays) -> std::optional<Set> {
        Set set;
        for (const DisplayRecord& display : displays) {
            std::optional<Key> key = Key::make(display);
            if (!key)
                return std::nullopt;
            // A repeated key means two displays on one side can't be told apart.
            if (!set.insert(std::move(*key)).second)
                return std::nullopt;
        }
        return set;
    };
    const std::optional<Set> saved = keys(savedDisplays);
    if (!saved)
        return false;
    const std::optional<Set> current = keys(currentDisplays);
    return current && *saved == *current;
}

std::optional<DisplayConfigurationMatchReason> matchReason(const std::vector<DisplayRecord>& savedDisplays,
                                                           const std::vector<DisplayRecord>& currentDisplays)
{
    if (savedDisplays.empty() || savedDisplays.size() != currentDisplays.size())
        return std::nullopt;
    if (oneToOneMatch<DisplayHardwareConfigurationKey>(savedDisplays, currentDisplays))
        return DisplayConfigurationMatchReason::hardwareIdentity;
    if (oneToOneMatch<DisplayNameSizeScaleConfigurationKey>(savedDisplays, currentDisplays))
        return DisplayConfigurationMatchReason::nameSizeScale;
    return std::nullopt;
}

} // namespace

std::vector<DisplayConfigurationMatch> DisplayConfigurationMatcher::matches(
    const std::vector<Snapshot>& snapshots, const DisplayState& currentDisplayState) const
{
    std::vector<DisplayConfigurationMatch> result;
    for (const Snapshot& snapshot : snapshots)
        if (auto m = match(snapshot, currentDisplayState))
            result.push_back(std::move(*m));
    return result;
}

std::optional<DisplayConfigurationMatch> DisplayConfigurationMatcher::match(
    const Snapshot& snapshot, const DisplayState& currentDisplayState) const
{
    const auto reason = matchReason(snapshot.sourceDisplayState.displays, currentDisplayState.displays);
    if (!reason)
        return std::nullopt;
    return DisplayConfigurationMatch{snapshot.id, snapshot.name, *reason};
}

std::optional<DisplayConfigurationMatch> DisplayConfigurationMatcher::uniqueMatch(
    const std::vector<Snapshot>& snapshots, const DisplayState& currentDisplayState) const
{
    std::vector<DisplayConfigurationMatch> all = matches(snapshots, currentDisplayState);
    if (all.size() != 1)
        return std::nullopt;
    return std::move(all.front());
}

} // namespace zen
