#include "Platform/Linux/MailComposer.h"

#include <QDesktopServices>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>

namespace zen::linux_desktop {

namespace {

constexpr int xdgEmailExitWaitMs = 3000;

} // namespace

std::optional<QString> findXdgEmail()
{
    const QString path = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QStringList xdgEmailArguments(const QString& recipient, const QString& subject, const QString& body,
                              const QString& attachmentPath)
{
    // "--" is not understood by xdg-email; a recipient starting with "-" would be taken for an
    // option, so it is written as a mailto: address, which xdg-email also accepts.
    const QString address = recipient.startsWith(u'-') ? QStringLiteral("mailto:") + recipient : recipient;
    return {QStringLiteral("--attach"), attachmentPath, QStringLiteral("--subject"), subject,
            QStringLiteral("--body"), body, address};
}

bool composeMailWithXdgEmail(const QString& xdgEmailPath, const QString& recipient, const QString& subject,
                             const QString& body, const QString& attachmentPath)
{
    auto* process = new QProcess;
    process->setProgram(xdgEmailPath);
    process->setArguments(xdgEmailArguments(recipient, subject, body, attachmentPath));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start();
    if (!process->waitForStarted(xdgEmailExitWaitMs))
        return false;
    if (!process->waitForFinished(xdgEmailExitWaitMs))
        return true; // still running: the mail program is up in the foreground
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

QUrl mailtoUrl(const QString& recipient, const QString& subject, const QString& body)
{
    // Every reserved character is escaped: a "&" or "=" in the subject or body must not start
    // another header of the link, and a "?" in the address must not start the query.
    QByteArray encoded = "mailto:" + QUrl::toPercentEncoding(recipient, "@+")
        + "?subject=" + QUrl::toPercentEncoding(subject) + "&body=" + QUrl::toPercentEncoding(body);
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

bool composeMailto(const QString& recipient, const QString& subject, const QString& body)
{
    return QDesktopServices::openUrl(mailtoUrl(recipient, subject, body));
}

} // namespace zen::linux_desktop
