// The autostart entry reader on arbitrary bytes: it must never crash, and it reads the same
// bytes the same way every time.
#include "Platform/Linux/AutostartEntry.h"

#include <cstdint>
#include <cstdlib>

using namespace zen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto entry = AutostartEntry::parse(bytes);
    const auto again = AutostartEntry::parse(bytes);
    if (entry.has_value() != again.has_value())
        std::abort();
    if (entry && (entry->hidden != again->hidden || entry->autostartEnabled != again->autostartEnabled
                  || entry->arguments != again->arguments))
        std::abort();
    return 0;
}
