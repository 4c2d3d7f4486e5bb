#pragma once

#include "Snapshots/Snapshot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <expected>

namespace zen {

// Why a layout document could not be written or read; `path` names the offending value
// (e.g. "windows[2].frame.x").
struct SnapshotCodingError {
    QString path;
    QString reason;

    QString localizedDescription() const
    {
        return path.isEmpty() ? reason : QStringLiteral("%1: %2").arg(path, reason);
    }
    QString ownDescription() const
    {
        return QStringLiteral("SnapshotCodingError(path: \"%1\", reason: \"%2\")").arg(path, reason);
    }
};

// The layout document: one JSON object, keys sorted, pretty-printed, absent optionals left
// out. A number that is not finite makes the write fail (JSON has no form for it).
std::expected<QByteArray, SnapshotCodingError> encodeSnapshotDocument(const Snapshot& snapshot);

// Reads the document strictly: a required key missing or null, a value of the wrong type,
// an integer out of range or with a fraction, a malformed date or UUID fails the whole
// document. Unknown keys are ignored; optional keys may be missing or null.
// Read with simdjson where it answers, which is faster, else by Qt's JSON reader; both give
// the same layout or the same refusal. Bytes with spare capacity of layout padding after their
// end are parsed in place.
std::expected<Snapshot, SnapshotCodingError> decodeSnapshotDocument(const QByteArray& bytes);
// The same, by Qt's JSON reader alone: the reference the fast reading is held to.
std::expected<Snapshot, SnapshotCodingError> decodeSnapshotDocumentWithQJson(const QByteArray& bytes);

// The same coding record by record, for code that embeds a record in its own documents.
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const Snapshot& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const WindowRecord& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const WindowSignature& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const DisplayState& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const DisplayRecord& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const NormalizedRect& value);
std::expected<QJsonObject, SnapshotCodingError> encodeJson(const CGRectCodable& value);
QJsonObject encodeJson(const HotkeyBinding& value);

template <typename T>
std::expected<T, SnapshotCodingError> decodeJson(const QJsonObject& object);

} // namespace zen
