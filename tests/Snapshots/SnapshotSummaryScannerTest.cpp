#include "Snapshots/SnapshotSummaryScanner.h"

#include "Shared/Uuid.h"
#include "Snapshots/SnapshotCoding.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace zen;
using namespace zen::test;

namespace {

// The row the full reader gives, or nothing when it refuses the document.
std::optional<SnapshotSummaryScanner::Result> decodedRow(const QByteArray& document)
{
    const auto snapshot = decodeSnapshotDocumentWithQJson(document);
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

namespace {

enum class Edit { remove, null, wrongType, duplicateWrongFirst, duplicateWrongLast, duplicateSame };

QJsonValue wrongTypeFor(const QJsonValue& value)
{
    if (value.isObject())
        return QStringLiteral("x");
    if (value.isArray())
        return QJsonObject {};
    if (value.isString())
        return 7;
    if (value.isDouble())
        return QStringLiteral("7");
    return 0;
}

QByteArray quoted(const QString& key)
{
    return QJsonDocument(QJsonArray {key}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

// Writes the document compactly, applying `edit` to the key `target` of the object at `path`
// (a chain of keys and indices); duplicates are written as the text holds them.
QByteArray write(const QJsonValue& value, const QStringList& path, const QStringList& target, const QString& key, Edit edit)
{
    if (value.isArray()) {
        QByteArray out = "[";
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            out += (i ? "," : "") + write(array[i], path + QStringList {QString::number(i)}, target, key, edit);
        return out + "]";
    }
    if (!value.isObject())
        return QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    const QJsonObject object = value.toObject();
    QList<QByteArray> members;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QByteArray name = quoted(it.key()) + ":";
        const QByteArray real = name + write(it.value(), path + QStringList {it.key()}, target, key, edit);
        if (path != target || it.key() != key) {
            members << real;
            continue;
        }
        const QByteArray wrong = name + write(wrongTypeFor(it.value()), {}, {QStringLiteral("-")}, key, edit);
        switch (edit) {
        case Edit::remove: break;
        case Edit::null: members << name + "null"; break;
        case Edit::wrongType: members << wrong; break;
        case Edit::duplicateWrongFirst: members << wrong << real; break;
        case Edit::duplicateWrongLast: members << real << wrong; break;
        case Edit::duplicateSame: members << real << real; break;
        }
    }
    return "{" + members.join(',') + "}";
}

// Every (object path, key) of the document.
void collectKeys(const QJsonValue& value, const QStringList& path, QList<std::pair<QStringList, QString>>& out)
{
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i)
            collectKeys(array[i], path + QStringList {QString::number(i)}, out);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            out.push_back({path, it.key()});
            collectKeys(it.value(), path + QStringList {it.key()}, out);
        }
    }
}

// The fast reading of a whole layout gives what Qt's reader gives, or the same refusal.
void expectSameLayout(const QByteArray& document)
{
    const auto fast = decodeSnapshotDocument(document);
    const auto reference = decodeSnapshotDocumentWithQJson(document);
    ASSERT_EQ(fast.has_value(), reference.has_value());
    if (fast)
        EXPECT_EQ(encodeSnapshotDocument(*fast).value(), encodeSnapshotDocument(*reference).value());
    else
        EXPECT_EQ(fast.error().localizedDescription(), reference.error().localizedDescription());
}

} // namespace

// Whatever is changed in a layout's file, the list shows it exactly when the layout can be
// opened, and shows the row opening it gives.
TEST(SnapshotListing, ShowsAFileExactlyWhenTheFullReaderReadsItKeyByKey)
{
    Snapshot layout = variedLayout();
    layout.windows.resize(2);
    layout.sourceDisplayState.displays[0].vendorID = 7;
    layout.sourceDisplayState.displays[0].productID = 8;
    const QByteArray original = encodeSnapshotDocument(layout).value();
    const QJsonObject root = QJsonDocument::fromJson(original).object();
    QList<std::pair<QStringList, QString>> keys;
    collectKeys(root, {}, keys);
    ASSERT_GT(keys.size(), 70);

    QTemporaryDir dir;
    SnapshotStore store(dir.path());
    const QString file = QDir(dir.path()).filePath(uuidText(layout.id) + ".json");
    int listed = 0, refused = 0;
    for (const auto& [path, key] : keys) {
        for (Edit edit : {Edit::remove, Edit::null, Edit::wrongType, Edit::duplicateWrongFirst, Edit::duplicateWrongLast,
                          Edit::duplicateSame}) {
            SCOPED_TRACE(QStringLiteral("%1 / %2 / edit %3").arg(path.join('.'), key).arg(int(edit)).toStdString());
            const QByteArray bytes = write(root, {}, path, key, edit);
            writeFile(file, bytes);
            const auto rows = store.listSummaries().value();
            const auto loaded = store.loadSnapshot(layout.id);
            ASSERT_EQ(rows.size(), loaded.has_value() ? 1u : 0u);
            // Plain JSON is decided without the full reader.
            EXPECT_NE(SnapshotSummaryScanner().read(bytes).verdict, SnapshotSummaryScanner::Verdict::undecided);
            expectSameLayout(bytes);
            if (!loaded) {
                ++refused;
                continue;
            }
            ++listed;
            expectSameRow({rows[0], 1}, {SnapshotSummary::fromSnapshot(*loaded), loaded->schemaVersion});
        }
    }
    // Both outcomes occur for every kind of edit, so neither side is vacuous.
    EXPECT_GT(listed, 100);
    EXPECT_GT(refused, 100);
}

// Forms of JSON a hand-edited or foreign file may use: the list and the reader agree on each,
// and plain JSON is decided without the reader.
TEST(SnapshotListing, AgreesWithTheFullReaderOnUnusualJson)
{
    const QByteArray good = encodeSnapshotDocument(variedLayout()).value();
    auto edited = [&](const char* from, const QByteArray& to) {
        QByteArray d = good;
        const qsizetype at = d.indexOf(from);
        EXPECT_GE(at, 0) << from;
        return d.replace(at, qsizetype(std::strlen(from)), to);
    };
    QByteArray deep = "1";
    for (int i = 0; i < 200; ++i)
        deep = "[" + deep + "]";
    QByteArray deepObjects = "{}";
    for (int i = 0; i < 25; ++i)
        deepObjects = "{\"a\": [" + deepObjects + ", \"\\u00e9\"]}";
    struct Case {
        const char* what;
        QByteArray document;
        bool listed;
        bool decidedFast = true;
    };
    const Case cases[] = {
        {"short escapes in the name", edited("\"name\": \"", "\"name\": \"\\b\\f\\n\\r\\t\\/\\\\\\\""), true},
        {"\\u text in the name", edited("\"name\": \"", "\"name\": \"\\u00e9\\u2014\\uD83D\\uDE00\\u0000"), true},
        {"\\u escape spelling a known key", edited("\"name\":", "\"n\\u0061me\": \"first\", \"name\":"), true},
        {"escaped key written last wins", edited("\"name\": \"Work", "\"name\": \"First\", \"n\\u0061me\": \"Work"), true},
        {"lone surrogate escape", edited("\"name\": \"", "\"name\": \"\\ud800"), true, false},
        {"reversed surrogate pair", edited("\"name\": \"", "\"name\": \"\\ude00\\ud83d"), true, false},
        {"noncharacter written raw", edited("\"name\": \"", "\"name\": \"\xEF\xBF\xBE"), true},
        {"raw tab in a string", edited("\"name\": \"", "\"name\": \"\t"), true, false},
        {"invalid UTF-8", edited("\"name\": \"", "\"name\": \"\xC0\xAF"), false, false},
        {"integer written with a zero fraction", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4242.0"), true},
        {"integer written with an exponent", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4.242E+3"), true},
        {"integer with a real fraction", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4242.5"), false},
        {"integer as a tiny exponent", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 4242e-400"), false, false},
        {"zero written as a fraction", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": 0.0"), true},
        {"negative zero integer", edited("\"pidAtCapture\": 4242", "\"pidAtCapture\": -0"), true},
        {"integer beyond 64 bits", edited("\"zOrderHint\": 2", "\"zOrderHint\": 9223372036854775808"), false},
        {"integer at the 64-bit edge", edited("\"zOrderHint\": 2", "\"zOrderHint\": -9223372036854775808.0"), true},
        {"integer just past the 64-bit edge", edited("\"zOrderHint\": 2", "\"zOrderHint\": 9223372036854775808.0"), false},
        {"number beyond a double", edited("\"x\": 100", "\"x\": 1e400"), false, false},
        {"number rounding to zero", edited("\"x\": 100", "\"x\": 1e-400"), false, false},
        {"number rounding to zero, capital E", edited("\"x\": 100", "\"x\": 1E-400"), false, false},
        {"negative number rounding to zero", edited("\"x\": 100", "\"x\": -1e-400"), false, false},
        {"smallest double", edited("\"x\": 100", "\"x\": 4.9e-324"), true},
        {"long fraction rounding to zero", edited("\"x\": 100", "\"x\": 0." + QByteArray(400, '0') + "1"), false, false},
        {"long fraction beside a zero", edited("\"x\": 100", "\"x\": 0.0, \"z\": 0." + QByteArray(400, '0') + "1"), false, false},
        {"long number that is not small", edited("\"x\": 100", "\"x\": 0.0, \"z\": 1" + QByteArray(300, '0') + ".5"), true},
        {"fraction without digits", edited("\"x\": 100", "\"x\": 100."), true, false},
        {"unsigned 32-bit maximum", edited("\"keyCode\": 40", "\"keyCode\": 4294967295"), true},
        {"unsigned 32-bit overflow", edited("\"keyCode\": 40", "\"keyCode\": 4294967296.0"), false},
        {"repeated windows, empty list last", good.trimmed().chopped(1) + ", \"windows\": []}", true},
        {"repeated windows, full list last", edited("\"windows\": [", "\"windows\": [{}], \"windows\": ["), true},
        {"repeated hotkey, null last", edited("\"id\": \"", "\"hotkey\": null, \"id\": \""), true},
        {"deep nesting in an unknown key", edited("\"name\":", "\"extra\": " + deep + ", \"name\":"), true, false},
        {"nested objects in an unknown key", edited("\"name\":", "\"extra\": " + deepObjects + ", \"name\":"), true},
        {"byte-order mark", "\xEF\xBB\xBF" + good, true},
        {"trailing garbage", good + "x", false, false},
        {"a second document after the first", good + "{}", false, false},
        {"number rounding to zero in an unknown key", edited("\"name\":", "\"extra\": 1e-400, \"name\":"), false, false},
        {"number rounding to zero under a repeated key", edited("\"x\": 100", "\"x\": 1e-400, \"x\": 100"), false, false},
        {"escapes in a text only checked", edited("\"role\": \"AXWindow\"", "\"role\": \"AX\\nWin\\u0064ow\""), true},
        {"bad escape in a text only checked", edited("\"role\": \"AXWindow\"", "\"role\": \"AX\\xWindow\""), true, false},
        {"text run into a letter", edited("\"role\": \"AXWindow\"", "\"role\": \"AXWindow\"x"), false, false},
        {"required text null", edited("\"role\": \"AXWindow\"", "\"role\": null"), false},
        {"unknown key beginning with a missing one", edited("\"name\":", "\"names\":"), false},
    };
    for (const Case& c : cases) {
        const auto decoded = decodedRow(c.document);
        SCOPED_TRACE(c.what);
        const auto reading = SnapshotSummaryScanner().read(c.document);
        EXPECT_EQ(decoded.has_value(), c.listed);
        if (c.decidedFast)
            EXPECT_EQ(reading.verdict, c.listed ? SnapshotSummaryScanner::Verdict::row : SnapshotSummaryScanner::Verdict::refused);
        else
            EXPECT_EQ(reading.verdict, SnapshotSummaryScanner::Verdict::undecided);
        if (reading.verdict == SnapshotSummaryScanner::Verdict::row && decoded)
            expectSameRow(reading.result, *decoded);
        expectSameLayout(c.document);
    }
}

// A window's id is checked several digits at a time: each byte next to a range of digits or
// letters, in every place, is taken exactly when the reader takes it.
TEST(SnapshotListing, TakesWindowIdsExactlyWhenTheFullReaderDoes)
{
    const Snapshot layout = variedLayout();
    const QByteArray good = encodeSnapshotDocument(layout).value();
    const QByteArray id = uuidText(layout.windows[1].id).toUtf8();
    ASSERT_EQ(id.size(), 36);
    int listed = 0;
    for (const char* bytes : {"0", "9", "a", "f", "A", "F", "/", ":", "@", "G", "`", "g", "-", " ", "\xC3\xA9"}) {
        for (qsizetype at : {0, 7, 8, 12, 13, 20, 23, 35}) {
            QByteArray changed = id;
            changed.replace(at, 1, bytes);
            QByteArray document = good;
            document.replace(id, changed);
            SCOPED_TRACE(changed.toStdString());
            const auto reading = SnapshotSummaryScanner().read(document);
            const auto decoded = decodedRow(document);
            EXPECT_EQ(reading.verdict, decoded ? SnapshotSummaryScanner::Verdict::row : SnapshotSummaryScanner::Verdict::refused);
            listed += decoded ? 1 : 0;
        }
    }
    EXPECT_GT(listed, 20);
}

// A large store lists every layout it can open once, with
// the row opening it gives, newest first: the plain files, those left to the full reader, and
// none of the broken ones.
TEST(SnapshotListing, ListsALargeStoreCompletelyAndInOrder)
{
    QTemporaryDir dir;
    SnapshotStore store(dir.path());
    std::vector<SnapshotSummary> expected;
    for (int i = 0; i < 300; ++i) {
        Snapshot s = makeSnapshot(QStringLiteral("Layout %1").arg(i));
        s.updatedAt = fixedDate(0, i % 40); // ties, kept apart by the creation date
        s.createdAt = fixedDate(-1, i);
        QByteArray bytes = encodeSnapshotDocument(s).value();
        if (i % 11 == 0) // a lone surrogate: simdjson refuses it, the full reader takes it
            bytes.replace("\"name\": \"Layout", "\"name\": \"\\ud800Layout");
        if (i % 7 == 0)
            bytes.chop(2);
        writeFile(store.fileURL(s.id), bytes);
        if (const auto loaded = store.loadSnapshot(s.id))
            expected.push_back(SnapshotSummary::fromSnapshot(*loaded));
    }
    std::stable_sort(expected.begin(), expected.end(), [](const SnapshotSummary& a, const SnapshotSummary& b) {
        return a.updatedAt != b.updatedAt ? a.updatedAt > b.updatedAt : a.createdAt > b.createdAt;
    });
    const auto listed = store.listSummaries().value();
    ASSERT_EQ(listed.size(), expected.size());
    ASSERT_LT(expected.size(), 300u);
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameRow({listed[i], 1}, {expected[i], 1});
    }
}
