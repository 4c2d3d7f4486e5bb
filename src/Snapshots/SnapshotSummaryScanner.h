#pragma once

#include "Snapshots/SnapshotSummary.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>

namespace zen {

// Reads the list row of a layout straight from the file's bytes, without building the layout:
// a summary needs the dates, the name, the hotkey and three counts, not every window decoded.
// The document is parsed by simdjson and checked as strictly as the layout reader checks it
// (every required key, type and range; of a repeated key the last one counts, as there).
// For the few forms the two parsers may take differently (lone surrogate escapes, raw control
// characters, numbers beyond a double or too small for one, very deep nesting) it answers
// `undecided`, and the caller asks the layout reader; otherwise its answer is the reader's.
//
// One scanner keeps simdjson's buffers between documents; use it from one thread at a time.
class SnapshotSummaryScanner {
public:
    struct Result {
        SnapshotSummary summary;
        std::int64_t schemaVersion = 0;
    };
    enum class Verdict { row, refused, undecided };
    struct Reading {
        Verdict verdict = Verdict::undecided;
        Result result; // when `verdict` is row
    };

    SnapshotSummaryScanner();
    ~SnapshotSummaryScanner();
    SnapshotSummaryScanner(const SnapshotSummaryScanner&) = delete;
    SnapshotSummaryScanner& operator=(const SnapshotSummaryScanner&) = delete;

    Reading read(const QByteArray& document);

    // The row when the document is decided to be a layout; nothing when it is refused or
    // undecided.
    static std::optional<Result> scan(const QByteArray& document);

private:
    struct Parser;
    std::unique_ptr<Parser> m_parser;
};

} // namespace zen
