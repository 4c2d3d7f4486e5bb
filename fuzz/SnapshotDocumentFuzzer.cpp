// The layout reader on arbitrary bytes: it must never crash, whatever it decodes must write
// and read back as the same layout, and the fast readings (the list row, the whole layout)
// must agree with Qt's reader.
#include "Snapshots/SnapshotCoding.h"
#include "Snapshots/SnapshotSummaryScanner.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

using namespace zen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto decoded = decodeSnapshotDocumentWithQJson(bytes);
    // The fast reading answers what Qt's reader answers.
    const auto fast = decodeSnapshotDocument(bytes);
    if (fast.has_value() != decoded.has_value())
        std::abort();
    if (fast && encodeSnapshotDocument(*fast).value_or(QByteArray()) != encodeSnapshotDocument(*decoded).value_or(QByteArray()))
        std::abort();
    if (!fast && fast.error().localizedDescription() != decoded.error().localizedDescription())
        std::abort();
    SnapshotSummaryScanner scanner;
    const auto reading = scanner.read(bytes);

    // What the listing refuses, the reader refuses too.
    if (reading.verdict == SnapshotSummaryScanner::Verdict::refused && decoded)
        std::abort();
    if (reading.verdict == SnapshotSummaryScanner::Verdict::row) {
        // A row is listed only for a document the reader takes, and it is the reader's row.
        if (!decoded)
            std::abort();
        const SnapshotSummary row = SnapshotSummary::fromSnapshot(*decoded);
        const SnapshotSummary& fast = reading.result.summary;
        if (fast.id != row.id || fast.name != row.name || fast.createdAt != row.createdAt || fast.updatedAt != row.updatedAt
            || fast.appCount != row.appCount || fast.displayCount != row.displayCount || fast.windowCount != row.windowCount
            || fast.hotkey != row.hotkey || reading.result.schemaVersion != decoded->schemaVersion)
            std::abort();
    }
    if (decoded) {
        // Everything the reader takes can be written, and reads back as the same layout.
        const auto encoded = encodeSnapshotDocument(*decoded);
        if (!encoded)
            std::abort();
        const auto again = decodeSnapshotDocument(*encoded);
        if (!again)
            std::abort();
        const auto reencoded = encodeSnapshotDocument(*again);
        if (!reencoded || *reencoded != *encoded)
            std::abort();
        // The program's own output is listed without the full reader; except where Qt wrote a
        // double of 2^64 or more in full, as an integer beyond simdjson's, which the full reader
        // then reads.
        static const QRegularExpression longInteger(QStringLiteral("[0-9]{20}"));
        const auto own = scanner.read(*encoded);
        if (own.verdict != SnapshotSummaryScanner::Verdict::row && !QString::fromUtf8(*encoded).contains(longInteger))
            std::abort();
    }
    return 0;
}
