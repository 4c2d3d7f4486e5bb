#include "Infrastructure/DiagnosticLogController.h"

#include "Infrastructure/AppLogger.h"
#include "Infrastructure/TelemetryLogger.h"
#include "Shared/AtomicFileWriter.h"
#include "Shared/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimeZone>
#include <QUuid>

#include <cerrno>
#include <unistd.h>

namespace zen {

namespace {

bool fileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString diagnosticLogExportFilename(const QDateTime& now)
{
    // The C locale: Western digits and the Gregorian calendar whatever the user's settings.
    const QString stamp = QLocale::c().toString(now.toUTC(), QStringLiteral("yyyyMMdd-HHmmss"));
    return QStringLiteral("Zentharion-Diagnostic-Log-") + stamp + QStringLiteral(".jsonl");
}

DiagnosticLogController::DiagnosticLogController(QString eventsLogURL, FileRevealer fileRevealer,
                                                 FileRevealer directoryRevealer,
                                                 ExportDestinationProvider exportDestinationProvider,
                                                 SupportEmailComposerProvider supportEmailComposerProvider,
                                                 Clock now, QObject* parent)
    : QObject(parent)
    , m_eventsLogURL(std::move(eventsLogURL))
    , m_fileRevealer(std::move(fileRevealer))
    , m_directoryRevealer(std::move(directoryRevealer))
    , m_exportDestinationProvider(std::move(exportDestinationProvider))
    , m_supportEmailComposerProvider(std::move(supportEmailComposerProvider))
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_fileLock(telemetryLogFileLock(m_eventsLogURL))
{
}

bool DiagnosticLogController::hasLog() const
{
    return fileExists(m_eventsLogURL);
}

bool DiagnosticLogController::revealInFinder() const
{
    // Without a desktop service to show it, nothing was shown.
    if (hasLog())
        return m_fileRevealer && m_fileRevealer(m_eventsLogURL);
    return m_directoryRevealer && m_directoryRevealer(QFileInfo(m_eventsLogURL).absolutePath());
}

std::expected<DiagnosticLogExportResult, PlatformError> DiagnosticLogController::exportLog() const
{
    QByteArray bytes;
    {
        // Held only while reading: the save dialog below may stay open for minutes.
        std::lock_guard guard(*m_fileLock);
        if (!hasLog())
            return DiagnosticLogExportResult::noLog();
        auto read = readRegularFile(m_eventsLogURL, maximumExportSize);
        if (!read)
            return std::unexpected(read.error());
        bytes = std::move(*read);
    }

    if (!m_exportDestinationProvider)
        return DiagnosticLogExportResult::cancelled();
    const auto destination = m_exportDestinationProvider(exportFilename());
    if (!destination || destination->isEmpty())
        return DiagnosticLogExportResult::cancelled();

    const QFileInfo target(*destination);
    const QString temporary = target.absoluteDir().filePath(
        QStringLiteral(".%1.%2.tmp").arg(target.fileName(), uuidText(QUuid::createUuid())));
    if (auto written = AtomicFileWriter().write(target.absoluteFilePath(), temporary, bytes); !written)
        return std::unexpected(written.error());
    return DiagnosticLogExportResult::exported(*destination);
}

std::expected<void, PlatformError> DiagnosticLogController::clear() const
{
    std::lock_guard guard(*m_fileLock);
    if (!hasLog())
        return {};
    // unlink, not a recursive removal: a folder that happens to bear the log's name is not
    // ours to delete.
    if (::unlink(QFile::encodeName(m_eventsLogURL).constData()) != 0)
        return std::unexpected(PlatformError::fromErrno(errno, QStringLiteral("Cannot remove %1").arg(m_eventsLogURL)));
    return {};
}

SupportEmailOutcome DiagnosticLogController::composeSupportEmail(const QString& recipient, const QString& subject,
                                                                 const QString& body) const
{
    // The log is attached where it lies, so a link in its place would hand the mail program
    // whatever file it points at.
    if (!hasLog() || !isRegularFileNotLink(m_eventsLogURL))
        return {};
    if (!m_supportEmailComposerProvider)
        return {};
    const auto composer = m_supportEmailComposerProvider();
    if (!composer || !composer->canPerform || !composer->compose)
        return {};
    if (!composer->canPerform(body, m_eventsLogURL))
        return {};
    if (!composer->compose(recipient, subject, body, m_eventsLogURL)) {
        qCWarning(AppLogger::app()) << "The support mail could not be handed to the mail program.";
        return {};
    }
    if (!composer->attachesFiles)
        qCWarning(AppLogger::app()) << "The mail program was opened without the diagnostic log attached:"
                                    << m_eventsLogURL;
    return {.handedOver = true, .attachmentIncluded = composer->attachesFiles};
}

QString DiagnosticLogController::exportFilename() const
{
    return diagnosticLogExportFilename(m_now());
}

} // namespace zen
