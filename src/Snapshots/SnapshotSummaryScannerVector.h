#pragma once

// The list row read with simdjson's On-Demand front end built for AVX2 processors: one pass
// over the document, no tape. Internal to the summary scanner, which asks it first where the
// processor allows and falls back to the tape otherwise.

#include "Snapshots/SnapshotSummaryScanner.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace zen::summary_vector {

class Reader;
struct ReaderDeleter {
    void operator()(Reader* reader) const;
};
using ReaderPointer = std::unique_ptr<Reader, ReaderDeleter>;

// Whether this processor runs the AVX2 code (simdjson's own test of its haswell kernel).
bool runsHere();
// Only where `runsHere()`: the reader's own construction is AVX2 code.
ReaderPointer makeReader();

// True with the row when `text` is a layout the full reader takes, with that reader's row.
// False for anything else — a file refused, any form this pass does not vouch for (an unknown
// or repeated key, a key written with an escape, a null where a value is required) — which the
// tape reading then decides.
// `capacity` counts the readable bytes from `text.data()`, at least simdjson's padding more.
bool read(Reader& reader, std::string_view text, std::size_t capacity, SnapshotSummaryScanner::Result& result);

} // namespace zen::summary_vector
