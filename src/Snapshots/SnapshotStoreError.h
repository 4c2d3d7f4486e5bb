#pragma once

#include "Shared/UserFacingError.h"

#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace zen {

// Every way the layout store can fail, with the message the user sees. The underlying
// system or decoding error, where there is one, is kept for the log but never shown.
class SnapshotStoreError {
public:
    enum class Kind {
        notFound,
        duplicateHotkeyAssignment,
        unsupportedSchemaVersion,
        snapshotIdentityMismatch,
        directoryReadFailed,
        snapshotDecodeFailed,
        snapshotWriteFailed,
        invalidName,
        layoutRequiresWindow,
        invalidHotkeyAssignment,
        invalidWindowOrder,
        storeBusy,
    };

    static SnapshotStoreError notFound(const QUuid& id);
    static SnapshotStoreError duplicateHotkeyAssignment(const QString& otherLayoutName);
    static SnapshotStoreError unsupportedSchemaVersion(std::int64_t version);
    static SnapshotStoreError snapshotIdentityMismatch(const QString& filePath, const QUuid& expected, const QUuid& actual);
    static SnapshotStoreError directoryReadFailed(PlatformError underlying);
    static SnapshotStoreError snapshotDecodeFailed(const QString& filePath, PlatformError underlying);
    static SnapshotStoreError snapshotWriteFailed(const QString& filePath, PlatformError underlying);
    static SnapshotStoreError invalidName();
    static SnapshotStoreError layoutRequiresWindow();
    static SnapshotStoreError invalidHotkeyAssignment();
    static SnapshotStoreError invalidWindowOrder();
    // Another process (or thread) kept the layouts folder's lock for longer than a change may wait.
    static SnapshotStoreError storeBusy();

    Kind kind() const { return m_kind; }
    // The layout id (notFound), the file's id (expected) and the document's id (actual).
    QUuid id() const { return m_id; }
    QUuid expected() const { return m_id; }
    QUuid actual() const { return m_actual; }
    QString name() const { return m_text; }
    std::int64_t version() const { return m_version; }
    QString filePath() const { return m_text; }
    const std::optional<PlatformError>& underlying() const { return m_underlying; }

    // The user-facing message.
    QString localizedDescription() const;
    QString ownDescription() const;

    friend bool operator==(const SnapshotStoreError&, const SnapshotStoreError&) = default;

private:
    explicit SnapshotStoreError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    QUuid m_id;
    QUuid m_actual;
    QString m_text;
    std::int64_t m_version = 0;
    std::optional<PlatformError> m_underlying;
};

} // namespace zen
