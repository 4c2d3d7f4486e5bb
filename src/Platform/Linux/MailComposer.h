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

// Starts xdg-email when the desktop has a mail program set up, without waiting for it; false
// when none is set up or the tool could not be started.
bool composeMailWithXdgEmail(const QString& xdgEmailPath, const QString& recipient, const QString& subject,
                             const QString& body, const QString& attachmentPath);

// A mailto: link with the subject and body percent-encoded. Such a link cannot carry an
// attachment.
QUrl mailtoUrl(const QString& recipient, const QString& subject, const QString& body);

// Opens the link with the desktop's mail handler; false when none took it.
bool composeMailto(const QString& recipient, const QString& subject, const QString& body);

} // namespace zen::linux_desktop
