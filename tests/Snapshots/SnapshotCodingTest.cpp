#include "Snapshots/SnapshotCoding.h"

#include "Shared/Uuid.h"
#include "Support/SnapshotFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace zen;
using namespace zen::test;

namespace {

Snapshot fullSnapshot()
{
    WindowRecord bare = makeWindow("org.example.Bare");
    bare.windowTitle = std::nullopt;
    bare.subrole = std::nullopt;
    bare.captureSignature.owningPid = std::nullopt;
    bare.captureSignature.cgWindowID = std::nullopt;
    WindowRecord emptyTitle = makeWindow("org.example.Empty", 1, 2);
    emptyTitle.windowTitle = QString();
    Snapshot s = makeSnapshot(QString::fromUtf16(u"Work \u2014 \"desk\" / \u00E9"),
                              {makeWindow("org.example.Editor", 4294967295u, -5), bare, emptyTitle});
    s.hotkey = HotkeyBinding{40, 0x900, QString::fromUtf16(u"\u2325\u2318K")};
    s.sourceDisplayState.displays[0].vendorID = 0;
    s.sourceDisplayState.displays[0].serialNumber = 4294967295u;
    return s;
}

QJsonObject documentObject(const Snapshot& s)
{
    return QJsonDocument::fromJson(encodeSnapshotDocument(s).value()).object();
}

std::expected<Snapshot, SnapshotCodingError> decodeObject(const QJsonObject& o)
{
    return decodeSnapshotDocument(QJsonDocument(o).toJson());
}

// Edits one nested object of a document given as a path of keys and array indexes.
QJsonObject edited(QJsonObject root, const QStringList& path, const std::function<void(QJsonObject&)>& edit)
{
    if (path.isEmpty()) {
        edit(root);
        return root;
    }
    const QString key = path.first();
    const QStringList rest = path.mid(1);
    if (root.value(key).isArray()) {
        QJsonArray array = root.value(key).toArray();
        const int index = rest.first().toInt();
        array[index] = edited(array[index].toObject(), rest.mid(1), edit);
        root.insert(key, array);
    } else {
        root.insert(key, edited(root.value(key).toObject(), rest, edit));
    }
    return root;
}

} // namespace

TEST(SnapshotCodingTest, RoundTripsEveryFieldAndLeavesAbsentOptionalsOut)
{
    const Snapshot s = fullSnapshot();
    const QByteArray bytes = encodeSnapshotDocument(s).value();
    EXPECT_FALSE(bytes.contains("null"));
    const Snapshot back = decodeSnapshotDocument(bytes).value();

    EXPECT_EQ(back.id, s.id);
    EXPECT_EQ(back.name, s.name);
    EXPECT_EQ(back.createdAt, s.createdAt);
    EXPECT_EQ(back.schemaVersion, 1);
    EXPECT_EQ(back.sourceDisplayState, s.sourceDisplayState);
    EXPECT_EQ(back.hotkey, s.hotkey);
    ASSERT_EQ(back.windows.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.windows[i].id, s.windows[i].id);
        EXPECT_EQ(back.windows[i].windowTitle, s.windows[i].windowTitle);
        EXPECT_EQ(back.windows[i].displayID, s.windows[i].displayID);
        EXPECT_EQ(back.windows[i].zOrderHint, s.windows[i].zOrderHint);
        EXPECT_EQ(back.windows[i].normalizedFrame, s.windows[i].normalizedFrame);
        EXPECT_EQ(back.windows[i].captureSignature, s.windows[i].captureSignature);
    }

    const QJsonObject bare = documentObject(s)["windows"].toArray()[1].toObject();
    for (const char* key : {"windowTitle", "subrole", "displayID", "zOrderHint"})
        EXPECT_FALSE(bare.contains(key)) << key;
    EXPECT_EQ(documentObject(s)["windows"].toArray()[2].toObject()["windowTitle"], QString());

    Snapshot plain = makeSnapshot("Plain");
    plain.sourceDisplayState.displays[0].localizedName = std::nullopt;
    const QJsonObject plainObject = documentObject(plain);
    EXPECT_FALSE(plainObject.contains("hotkey"));
    const QJsonObject display = plainObject["sourceDisplayState"]["displays"].toArray()[0].toObject();
    for (const char* key : {"vendorID", "productID", "serialNumber", "localizedName"})
        EXPECT_FALSE(display.contains(key)) << key;
}

TEST(SnapshotCodingTest, WritesSortedKeysUpperCaseIdsAndWholeSecondUtcDates)
{
    Snapshot s = fullSnapshot();
    s.createdAt = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), Qt::UTC);
    const QByteArray bytes = encodeSnapshotDocument(s).value();
    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.contains(QStringLiteral("\"createdAt\": \"2024-01-02T03:04:05Z\"")));
    EXPECT_TRUE(text.contains(uuidText(s.id)));
    EXPECT_TRUE(text.contains(QStringLiteral("\n    \"")) ) << "pretty-printed";

    // Keys of a saved window appear in alphabetical order: "id" between "frame" and "isFullscreen".
    const qsizetype frame = text.indexOf(QStringLiteral("\"frame\""));
    const qsizetype id = text.indexOf(QStringLiteral("\"id\""), frame);
    const qsizetype fullscreen = text.indexOf(QStringLiteral("\"isFullscreen\""), frame);
    EXPECT_LT(frame, id);
    EXPECT_LT(id, fullscreen);

    const Snapshot back = decodeSnapshotDocument(bytes).value();
    EXPECT_EQ(back.createdAt, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC));
}

TEST(SnapshotCodingTest, ANumberThatIsNotFiniteFailsTheWrite)
{
    const double values[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double bad : values) {
        Snapshot s = fullSnapshot();
        s.windows[1].normalizedFrame.widthRatio = bad;
        const auto result = encodeSnapshotDocument(s);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().path, QStringLiteral("windows[1].normalizedFrame.widthRatio"));

        Snapshot t = fullSnapshot();
        t.sourceDisplayState.displays[0].backingScaleFactor = bad;
        EXPECT_FALSE(encodeSnapshotDocument(t).has_value());
        Snapshot u = fullSnapshot();
        u.sourceDisplayState.virtualDesktopBounds.x = bad;
        EXPECT_FALSE(encodeSnapshotDocument(u).has_value());
    }
}

TEST(SnapshotCodingTest, ReadsLenientlyWhereAllowed)
{
    const QJsonObject base = documentObject(fullSnapshot());

    QJsonObject extra = edited(base, {"windows", "0", "captureSignature"}, [](QJsonObject& o) { o["future"] = 1; });
    extra["somethingNew"] = QJsonArray{1, 2};
    EXPECT_TRUE(decodeObject(extra).has_value());

    QJsonObject nulls = base;
    nulls["hotkey"] = QJsonValue::Null;
    nulls = edited(nulls, {"windows", "0"}, [](QJsonObject& o) {
        o["windowTitle"] = QJsonValue::Null;
        o["zOrderHint"] = QJsonValue::Null;
    });
    const auto decoded = decodeObject(nulls).value();
    EXPECT_EQ(decoded.hotkey, std::nullopt);
    EXPECT_EQ(decoded.windows[0].windowTitle, std::nullopt);
    EXPECT_EQ(decoded.windows[0].zOrderHint, std::nullopt);

    // Integral numbers in another spelling, lower-case ids, dates with offsets.
    QJsonObject variants = base;
    variants["schemaVersion"] = 1.0;
    variants["id"] = base["id"].toString().toLower();
    variants["createdAt"] = QStringLiteral("2024-03-10T11:30:00+02:00");
    const auto read = decodeObject(variants).value();
    EXPECT_EQ(read.createdAt, fixedDate());
    EXPECT_EQ(uuidText(read.id), base["id"].toString());
}

TEST(SnapshotCodingTest, AnyStrictnessBreachMakesTheWholeDocumentUnreadable)
{
    const QJsonObject base = documentObject(fullSnapshot());
    using Edit = std::function<void(QJsonObject&)>;
    struct Case {
        const char* what;
        QStringList path;
        Edit edit;
    };
    const Case cases[] = {
        {"missing isVisible", {"windows", "1"}, [](QJsonObject& o) { o.remove("isVisible"); }},
        {"null required", {"windows", "1"}, [](QJsonObject& o) { o["role"] = QJsonValue::Null; }},
        {"incomplete hotkey", {"hotkey"}, [](QJsonObject& o) { o.remove("displayString"); }},
        {"bool as number", {"windows", "0"}, [](QJsonObject& o) { o["isMinimized"] = 0; }},
        {"number as string", {"windows", "0", "frame"}, [](QJsonObject& o) { o["x"] = "1"; }},
        {"fraction in integer", {"windows", "0"}, [](QJsonObject& o) { o["pidAtCapture"] = 12.5; }},
        {"UInt32 too big", {"windows", "0"}, [](QJsonObject& o) { o["displayID"] = 4294967296.0; }},
        {"UInt32 negative", {"sourceDisplayState", "displays", "0"}, [](QJsonObject& o) { o["id"] = -1; }},
        {"Int32 too big", {"windows", "0", "captureSignature"}, [](QJsonObject& o) { o["owningPid"] = 2147483648.0; }},
        {"Int beyond 64 bits", {"windows", "0"}, [](QJsonObject& o) { o["zOrderHint"] = 1e19; }},
        {"fractional date", {}, [](QJsonObject& o) { o["updatedAt"] = "2024-03-10T09:30:00.250Z"; }},
        {"bad uuid", {"windows", "2"}, [](QJsonObject& o) { o["id"] = "{" + o["id"].toString() + "}"; }},
        {"list not an array", {"sourceDisplayState"}, [](QJsonObject& o) { o["displays"] = QJsonObject(); }},
        {"record not an object", {}, [](QJsonObject& o) { o["sourceDisplayState"] = QJsonArray(); }},
    };
    for (const Case& c : cases) {
        const auto result = decodeObject(edited(base, c.path, c.edit));
        ASSERT_FALSE(result.has_value()) << c.what;
        // The failure names the value that was edited, not some other breach.
        EXPECT_TRUE(result.error().path.startsWith(c.path.value(0))) << c.what << ": "
            << result.error().localizedDescription().toStdString();
    }

    EXPECT_FALSE(decodeSnapshotDocument("not json").has_value());
    EXPECT_FALSE(decodeSnapshotDocument("[1, 2]").has_value());
    EXPECT_FALSE(decodeSnapshotDocument("").has_value());

    const auto error = decodeObject(edited(base, {"windows", "1"}, cases[0].edit)).error();
    EXPECT_EQ(error.path, QStringLiteral("windows[1].isVisible"));
}
