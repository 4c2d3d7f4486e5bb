#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace zen::linux_desktop {

// The path of xdg-email, the freedesktop tool that opens the user's mail program with a new
// message and can attach files; absent when it is not installed.
std::optional<QString> findXdgEmail();

QStringList xdgEmailArguments(const QString& recipient, const QString& subject, const QString& body,
                              const QString& attachmentPath);

// Runs xdg-email and reports whether it handed the message over. It waits a short while for
// the tool's exit status (it fails when no mail program is configured); one still running
// then has started the mail program, which counts as handed over.
bool composeMailWithXdgEmail(const QString& xdgEmailPath, const QString& recipient, const QString& subject,
                             const QString& body, const QString& attachmentPath);

// A mailto: link with the subject and body percent-encoded. Such a link cannot carry an
// attachment.
QUrl mailtoUrl(const QString& recipient, const QString& subject, const QString& body);

// Opens the link with the desktop's mail handler; false when none took it.
bool composeMailto(const QString& recipient, const QString& subject, const QString& body);

} // namespace zen::linux_desktop
