#include "App/SingleInstanceLock.h"

#include <QDir>
#include <QLockFile>

namespace zen {

QString SingleInstanceLock::normalizedDisplay(const QString& displayName)
{
    const qsizetype colon = displayName.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return displayName;
    QString host = displayName.left(colon);
    if (host == QLatin1String("unix"))
        host.clear();
    QString number = displayName.mid(colon + 1);
    if (const qsizetype dot = number.indexOf(QLatin1Char('.')); dot >= 0)
        number.truncate(dot);
    return host + QLatin1Char(':') + number;
}

QString SingleInstanceLock::lockFileName(const QString& displayName)
{
    QString safe;
    for (const QChar c : normalizedDisplay(displayName)) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.')
                           || c == QLatin1Char('-');
        safe += plain ? c : QLatin1Char('_');
    }
    return QStringLiteral("zentharion-display%1.lock").arg(safe);
}

SingleInstanceLock::SingleInstanceLock(const QString& directory, const QString& displayName)
    : m_display(normalizedDisplay(displayName))
    , m_filePath(QDir(directory).filePath(lockFileName(displayName)))
    , m_lockFile(std::make_unique<QLockFile>(m_filePath))
{
    // Never stale by age: the program runs for days. A lock whose process is gone is still
    // taken over.
    m_lockFile->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

SingleInstanceLock::Outcome SingleInstanceLock::tryLock()
{
    if (m_lockFile->isLocked() || m_lockFile->tryLock(0))
        return Outcome::acquired;
    return m_lockFile->error() == QLockFile::LockFailedError ? Outcome::alreadyRunning : Outcome::unavailable;
}

QString SingleInstanceLock::alreadyRunningMessage() const
{
    return QStringLiteral("Zentharion is already running on display %1.").arg(m_display);
}

} // namespace zen
