#pragma once

#include "Snapshots/SnapshotSummary.h"

#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zen {

// Reads the list row of a layout straight from the file's bytes, without building the layout:
// a summary needs the dates, the name, the hotkey and three counts, not every window decoded.
// It checks the whole document as strictly as the layout reader does (every required key,
// every type and range), but only in a narrower form of JSON: anything outside that form
// (repeated or escaped keys, surrogate escapes, unusual numbers, a byte-order mark) is left
// to the layout reader, so for any document it answers either nothing or exactly the row that
// decoding the layout would give.
class SnapshotSummaryScanner {
public:
    struct Result {
        SnapshotSummary summary;
        std::int64_t schemaVersion = 0;
    };

    static std::optional<Result> scan(QByteArrayView document);
};

} // namespace zen
