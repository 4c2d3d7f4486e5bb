#include "Snapshots/SnapshotStoreError.h"

#include "Shared/DesktopWords.h"
#include "Shared/Uuid.h"

#include <QFileInfo>

namespace zen {

SnapshotStoreError SnapshotStoreError::notFound(const QUuid& id)
{
    SnapshotStoreError e(Kind::notFound);
    e.m_id = id;
    return e;
}

SnapshotStoreError SnapshotStoreError::duplicateHotkeyAssignment(const QString& otherLayoutName)
{
    SnapshotStoreError e(Kind::duplicateHotkeyAssignment);
    e.m_text = otherLayoutName;
    return e;
}

SnapshotStoreError SnapshotStoreError::unsupportedSchemaVersion(std::int64_t version)
{
    SnapshotStoreError e(Kind::unsupportedSchemaVersion);
    e.m_version = version;
    return e;
}

SnapshotStoreError SnapshotStoreError::snapshotIdentityMismatch(const QString& filePath, const QUuid& expected,
                                                                const QUuid& actual)
{
    SnapshotStoreError e(Kind::snapshotIdentityMismatch);
    e.m_text = filePath;
    e.m_id = expected;
    e.m_actual = actual;
    return e;
}

SnapshotStoreError SnapshotStoreError::directoryReadFailed(PlatformError underlying)
{
    SnapshotStoreError e(Kind::directoryReadFailed);
    e.m_underlying = std::move(underlying);
    return e;
}

SnapshotStoreError SnapshotStoreError::snapshotDecodeFailed(const QString& filePath, PlatformError underlying)
{
    SnapshotStoreError e(Kind::snapshotDecodeFailed);
    e.m_text = filePath;
    e.m_underlying = std::move(underlying);
    return e;
}

SnapshotStoreError SnapshotStoreError::snapshotWriteFailed(const QString& filePath, PlatformError underlying)
{
    SnapshotStoreError e(Kind::snapshotWriteFailed);
    e.m_text = filePath;
    e.m_underlying = std::move(underlying);
    return e;
}

SnapshotStoreError SnapshotStoreError::invalidName() { return SnapshotStoreError(Kind::invalidName); }
SnapshotStoreError SnapshotStoreError::layoutRequiresWindow() { return SnapshotStoreError(Kind::layoutRequiresWindow); }
SnapshotStoreError SnapshotStoreError::invalidHotkeyAssignment() { return SnapshotStoreError(Kind::invalidHotkeyAssignment); }
SnapshotStoreError SnapshotStoreError::invalidWindowOrder() { return SnapshotStoreError(Kind::invalidWindowOrder); }
SnapshotStoreError SnapshotStoreError::storeBusy() { return SnapshotStoreError(Kind::storeBusy); }

QString SnapshotStoreError::localizedDescription() const
{
    switch (m_kind) {
    case Kind::notFound:
        return QStringLiteral("The layout %1 could not be found.").arg(uuidText(m_id));
    case Kind::duplicateHotkeyAssignment:
        return QStringLiteral("\"%1\" already uses that hotkey.").arg(m_text);
    case Kind::unsupportedSchemaVersion:
        return QStringLiteral("This layout uses unsupported schema version %1.").arg(m_version);
    case Kind::snapshotIdentityMismatch:
        return QStringLiteral("Layout file ID %1 did not match expected ID %2.").arg(uuidText(m_actual), uuidText(m_id));
    case Kind::directoryReadFailed:
        return QStringLiteral("Layout storage could not be accessed.");
    case Kind::snapshotDecodeFailed:
        return QStringLiteral("Layout data at %1 could not be read.").arg(QFileInfo(m_text).fileName());
    case Kind::snapshotWriteFailed:
        return QStringLiteral("Layout data could not be written to %1.").arg(QFileInfo(m_text).fileName());
    case Kind::invalidName:
        return QStringLiteral("Layout names cannot be empty.");
    case Kind::layoutRequiresWindow:
        return QStringLiteral("A layout must keep at least one saved window. Delete the layout instead.");
    case Kind::invalidHotkeyAssignment:
        return QStringLiteral("Use a key with %1.").arg(DesktopWords::requiredModifierKeys);
    case Kind::invalidWindowOrder:
        return QStringLiteral("Window order must include each saved window for that display exactly once.");
    case Kind::storeBusy:
        return QStringLiteral("The layouts are busy: another program is changing them. Try again in a moment.");
    }
    return {};
}

QString SnapshotStoreError::ownDescription() const
{
    const QString underlying = m_underlying ? m_underlying->ownDescription() : QString();
    switch (m_kind) {
    case Kind::notFound:
        return QStringLiteral("SnapshotStoreError.notFound(%1)").arg(uuidText(m_id));
    case Kind::duplicateHotkeyAssignment:
        return QStringLiteral("SnapshotStoreError.duplicateHotkeyAssignment(\"%1\")").arg(m_text);
    case Kind::unsupportedSchemaVersion:
        return QStringLiteral("SnapshotStoreError.unsupportedSchemaVersion(%1)").arg(m_version);
    case Kind::snapshotIdentityMismatch:
        return QStringLiteral("SnapshotStoreError.snapshotIdentityMismatch(url: %1, expected: %2, actual: %3)")
            .arg(m_text, uuidText(m_id), uuidText(m_actual));
    case Kind::directoryReadFailed:
        return QStringLiteral("SnapshotStoreError.directoryReadFailed(%1)").arg(underlying);
    case Kind::snapshotDecodeFailed:
        return QStringLiteral("SnapshotStoreError.snapshotDecodeFailed(url: %1, %2)").arg(m_text, underlying);
    case Kind::snapshotWriteFailed:
        return QStringLiteral("SnapshotStoreError.snapshotWriteFailed(url: %1, %2)").arg(m_text, underlying);
    case Kind::invalidName:
        return QStringLiteral("SnapshotStoreError.invalidName");
    case Kind::layoutRequiresWindow:
        return QStringLiteral("SnapshotStoreError.layoutRequiresWindow");
    case Kind::invalidHotkeyAssignment:
        return QStringLiteral("SnapshotStoreError.invalidHotkeyAssignment");
    case Kind::invalidWindowOrder:
        return QStringLiteral("SnapshotStoreError.invalidWindowOrder");
    case Kind::storeBusy:
        return QStringLiteral("SnapshotStoreError.storeBusy");
    }
    return {};
}

} // namespace zen
