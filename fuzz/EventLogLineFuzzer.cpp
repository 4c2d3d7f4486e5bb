// One line of events.log on arbitrary bytes: decoding must never crash, an entry must write
// and read back unchanged, and a line the log keeps without decoding must be exactly what
// decoding and writing it again would give.
#include "Infrastructure/TelemetryLogEvent.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdlib>

using namespace zen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(line);
    const auto decoded = utf8.hasError() ? std::nullopt : decodeTelemetryLogEvent(line);

    if (const auto seconds = canonicalTelemetryLineTimestamp(line)) {
        if (!decoded || encodeTelemetryLogEvent(*decoded) != line || decoded->timestamp.toSecsSinceEpoch() != *seconds)
            std::abort();
    }
    if (decoded) {
        const QByteArray encoded = encodeTelemetryLogEvent(*decoded);
        const auto again = decodeTelemetryLogEvent(encoded);
        if (!again || encodeTelemetryLogEvent(*again) != encoded)
            std::abort();
    }
    return 0;
}
