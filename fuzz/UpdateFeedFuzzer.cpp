// The update feed reader on arbitrary bytes: it must never crash, and whatever release it
// takes must be one the rest of the program can rely on.
#include "Updates/UpdateFeed.h"

#include <cstdint>
#include <cstdlib>

using namespace zen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto parsed = UpdateFeed::parse(bytes);
    if (!parsed)
        return 0;
    if (parsed->skippedItems.size() > UpdateFeed::maximumSkipReasonsKept
        || parsed->skippedItems.size() > parsed->skippedCount)
        std::abort();
    if (const auto& latest = parsed->latest) {
        // A valid version, a short label and an https page: what the dialog and the browser
        // are handed.
        if (!UpdateFeed::versionParts(latest->versionString) || latest->displayVersionString.isEmpty()
            || latest->displayVersionString.size() > UpdateFeed::maximumDisplayVersionLength
            || latest->releasePageURL.scheme() != QLatin1String("https") || latest->releasePageURL.host().isEmpty())
            std::abort();
        if (UpdateFeed::isNewer(latest->versionString, latest->versionString))
            std::abort();
    }
    return 0;
}
