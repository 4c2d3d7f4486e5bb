#include "Platform/Linux/MailComposer.h"

#include "Platform/DesktopServices.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace zen::linux_desktop {

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
    // xdg-email hands the mail to the desktop's mail program, and runs as long as that does:
    // whether one is set up is asked first, and its exit is not waited for. Its complaints stay
    // out of our terminal.
    if (!desktopServices().handlesUriScheme(QStringLiteral("mailto")))
        return false;
    QProcess process;
    process.setProgram(xdgEmailPath);
    process.setArguments(xdgEmailArguments(recipient, subject, body, attachmentPath));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setWorkingDirectory(QDir::homePath());
    return process.startDetached();
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
    return desktopServices().openUri(mailtoUrl(recipient, subject, body));
}

} // namespace zen::linux_desktop
