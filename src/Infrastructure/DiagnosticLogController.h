#pragma once

#include "Shared/UserFacingError.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace zen {

// The outcome of an export.
struct DiagnosticLogExportResult {
    enum class Kind { exported, cancelled, noLog };

    Kind kind = Kind::noLog;
    QString url; // the destination, for `exported` only

    static DiagnosticLogExportResult exported(QString destination) { return {Kind::exported, std::move(destination)}; }
    static DiagnosticLogExportResult cancelled() { return {Kind::cancelled, {}}; }
    static DiagnosticLogExportResult noLog() { return {Kind::noLog, {}}; }

    friend bool operator==(const DiagnosticLogExportResult& a, const DiagnosticLogExportResult& b)
    {
        return a.kind == b.kind && (a.kind != Kind::exported || a.url == b.url);
    }
};

// A way to write a mail with the log attached.
struct DiagnosticLogEmailComposer {
    // Whether a mail with this body and attachment can be composed.
    std::function<bool(const QString& body, const QString& attachmentURL)> canPerform;
    // Opens the new mail; false when it could not be handed over.
    std::function<bool(const QString& recipient, const QString& subject, const QString& body,
                       const QString& attachmentURL)> compose;
    // False for a composer that can only address the mail (a mailto: link): the user has to
    // attach the log by hand.
    bool attachesFiles = true;
};

// What became of a support mail. Converts to true when the mail was handed over.
struct SupportEmailOutcome {
    bool handedOver = false;
    bool attachmentIncluded = false;
    explicit operator bool() const { return handedOver; }
    friend bool operator==(const SupportEmailOutcome&, const SupportEmailOutcome&) = default;
};

// Shows, exports, deletes and mails the diagnostic event log for the settings window. Every
// desktop action goes through a callback that the application binds. Main thread only; it
// takes the log file's lock while it reads or removes the file, so a capture thread's write
// never interleaves with it.
class DiagnosticLogController : public QObject {
    Q_OBJECT
public:
    // False when nothing could show it (no file manager, no folder handler).
    using FileRevealer = std::function<bool(const QString& url)>;
    using ExportDestinationProvider = std::function<std::optional<QString>(const QString& suggestedFileName)>;
    using SupportEmailComposerProvider = std::function<std::optional<DiagnosticLogEmailComposer>()>;
    using Clock = std::function<QDateTime()>;

    // An empty callback is a service this desktop does not offer: showing does nothing, an
    // export ends as cancelled and no mail is handed over. An empty clock is the system's.
    explicit DiagnosticLogController(QString eventsLogURL,
                                     FileRevealer fileRevealer = {},
                                     FileRevealer directoryRevealer = {},
                                     ExportDestinationProvider exportDestinationProvider = {},
                                     SupportEmailComposerProvider supportEmailComposerProvider = {},
                                     Clock now = {},
                                     QObject* parent = nullptr);

    const QString& eventsLogURL() const { return m_eventsLogURL; }

    // Read from the disk at every call.
    bool hasLog() const;

    // Shows the log file, or its folder when there is no log; false when nothing showed it.
    bool revealInFinder() const;

    // Copies the log to a place the user picks; the destination is replaced atomically, so a
    // failed export leaves nothing half-written there. The log itself is not changed.
    std::expected<DiagnosticLogExportResult, PlatformError> exportLog() const;

    // Removes the log; no log is no error.
    std::expected<void, PlatformError> clear() const;

    // Opens a mail to support with the log attached where it lies.
    SupportEmailOutcome composeSupportEmail(const QString& recipient, const QString& subject,
                                            const QString& body) const;

    // "Zentharion-Diagnostic-Log-yyyyMMdd-HHmmss.jsonl", in UTC.
    QString exportFilename() const;

    // The largest log an export reads.
    static constexpr qint64 maximumExportSize = 64 * 1024 * 1024;

private:
    QString m_eventsLogURL;
    FileRevealer m_fileRevealer;
    FileRevealer m_directoryRevealer;
    ExportDestinationProvider m_exportDestinationProvider;
    SupportEmailComposerProvider m_supportEmailComposerProvider;
    Clock m_now;
    std::shared_ptr<std::mutex> m_fileLock;
};

// The export file name for the given moment.
QString diagnosticLogExportFilename(const QDateTime& now);

} // namespace zen
