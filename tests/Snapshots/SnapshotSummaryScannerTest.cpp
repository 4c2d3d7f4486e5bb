#include "Snapshots/SnapshotSummaryScanner.h"

#include "Snapshots/SnapshotCoding.h"
#include "Support/SnapshotFixtures.h"

#include <gtest/gtest.h>

using namespace zen;
using namespace zen::test;

namespace {

// The row the full reader gives, or nothing when it refuses the document.
std::optional<SnapshotSummaryScanner::Result> decodedRow(const QByteArray& document)
{
    const auto snapshot = decodeSnapshotDocument(document);
    if (!snapshot)
        return std::nullopt;
    return SnapshotSummaryScanner::Result{SnapshotSummary::fromSnapshot(*snapshot), snapshot->schemaVersion};
}

void expectSameRow(const SnapshotSummaryScanner::Result& a, const SnapshotSummaryScanner::Result& b)
{
    EXPECT_EQ(a.summary.id, b.summary.id);
    EXPECT_EQ(a.summary.appCount, b.summary.appCount);
    EXPECT_EQ(a.summary.name, b.summary.name);
    EXPECT_EQ(a.summary.createdAt, b.summary.createdAt);
    EXPECT_EQ(a.summary.displayCount, b.summary.displayCount);
    EXPECT_EQ(a.summary.updatedAt, b.summary.updatedAt);
    EXPECT_EQ(a.summary.windowCount, b.summary.windowCount);
    EXPECT_EQ(a.summary.hotkey, b.summary.hotkey);
    EXPECT_EQ(a.schemaVersion, b.schemaVersion);
}

Snapshot variedLayout()
{
    WindowRecord bare = makeWindow("org.example.Bare");
    bare.windowTitle = std::nullopt;
    bare.subrole = std::nullopt;
    bare.captureSignature.owningPid = std::nullopt;
    bare.captureSignature.cgWindowID = std::nullopt;
    WindowRecord elsewhere = makeWindow("org.example.Editor", 9, -7); // on a display not saved
    elsewhere.frame = CGRectCodable(-0.5, 1e-7, 1.0 / 3.0, 123456789.25);
    Snapshot s = makeSnapshot(QString::fromUtf16(u"Work \u2014 \"desk\"\t/ \\ \u00E9 \U0001F600"),
                              {makeWindow("org.example.Editor", 1, 2), bare, elsewhere, makeWindow("org.example.Mail", 1, 0)});
    s.hotkey = HotkeyBinding{40, 0x900, QString::fromUtf16(u"\u2325\u2318K")};
    s.sourceDisplayState.displays.push_back(makeDisplay(2, CGRect(1440, 0, 800, 600)));
    s.sourceDisplayState.displays[0].serialNumber = 4294967295u;
    return s;
}

} // namespace

TEST(SnapshotSummaryScanner, ReadsEveryLayoutThisProgramWritesAsTheFullReaderDoes)
{
    Snapshot empty = makeSnapshot("Empty", {});
    empty.sourceDisplayState = DisplayState::make({}, std::nullopt);
    Snapshot future = makeSnapshot("Future");
    future.schemaVersion = 2;
    // Control characters are written as \u escapes; window titles may hold them.
    Snapshot control = makeSnapshot(QStringLiteral("bell\x07 escape\x1b"), {makeWindow(QStringLiteral("org.example.\x01"), 1)});
    control.windows[0].windowTitle = QStringLiteral("\x1f");
    for (const Snapshot& layout : {variedLayout(), makeSnapshot("Plain"), empty, future, control}) {
        SCOPED_TRACE(layout.name.toStdString());
        const QByteArray document = encodeSnapshotDocument(layout).value();
        const auto scanned = SnapshotSummaryScanner::scan(document);
        ASSERT_TRUE(scanned.has_value());
        expectSameRow(*scanned, decodedRow(document).value());
    }
    const auto row = SnapshotSummaryScanner::scan(encodeSnapshotDocument(variedLayout()).value()).value();
    EXPECT_EQ(row.summary.appCount, 3);
    EXPECT_EQ(row.summary.displayCount, 1);
    EXPECT_EQ(row.summary.windowCount, 4);
}

TEST(SnapshotSummaryScanner, NeverListsWhatTheFullReaderRefusesNorDiffersFromIt)
{
    const QByteArray good = encodeSnapshotDocument(variedLayout()).value();
    auto edited = [&](const char* from, const char* to) {
        QByteArray d = good;
        const qsizetype at = d.indexOf(from);
        EXPECT_GE(at, 0) << from;
        return d.replace(at, qsizetype(std::strlen(from)), to);
    };
    const QList<QByteArray> documents = {
        // refused by the reader
        edited("\"isVisible\": true,", ""),
        edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": \"4242\""),
        edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 2147483648"),
        edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 42.5"),
        edited("\"role\": \"AXWindow\"", "\"role\": null"),
        edited("\"keyCode\": 40", "\"keyCode\": -1"),
        edited("\"id\": 1,", "\"id\": 4294967296,"),
        edited("\"createdAt\": \"2024", "\"createdAt\": \"2024x"),
        edited("\"windows\": [", "\"windows\": [7,"),
        edited("\"x\": 100", "\"x\": \"100\""),
        edited("\"isPrimary\": true", "\"isPrimary\": 1"),
        edited("Untitled", "Unti\xff\xfetled"),
        edited("Untitled", "Unti\ttled"),
        good + "x",
        good.left(good.size() / 2),
        "[]",
        "",
        // read by the reader, in forms the scanner may decline
        edited("\"name\":", "\"zzz\": {\"a\": [null]},\n    \"name\":"),
        edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4242.0"),
        edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4.242e3"),
        edited("\"x\": 100", "\"x\": 1E2"),
        edited("org.example.Mail", "org.example.M\\u0061il"),
        edited("org.example.Mail", "org.example.Editor"),
        edited("\"zOrderHint\": 2", "\"zOrderHint\": null"),
        edited("\"hotkey\": {", "\"hotkey\": null, \"unused\": {"),
        "\xEF\xBB\xBF" + good,
        "  \r\n" + good + "\n\t ",
    };
    int scannedCount = 0;
    for (qsizetype i = 0; i < documents.size(); ++i) {
        SCOPED_TRACE(i);
        const auto scanned = SnapshotSummaryScanner::scan(documents[i]);
        const auto decoded = decodedRow(documents[i]);
        if (!scanned)
            continue;
        ++scannedCount;
        ASSERT_TRUE(decoded.has_value()) << "listed a document the reader refuses";
        expectSameRow(*scanned, *decoded);
    }
    EXPECT_GE(scannedCount, 3); // the plain edits are still read fast
}
