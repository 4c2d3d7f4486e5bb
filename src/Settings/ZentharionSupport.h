#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace zen::ZentharionSupport {

// The support mailbox, fixed when the program is built.
QString emailAddress();

// Two line feeds: the user starts typing on an empty mail.
inline const QString supportEmailBody = QStringLiteral("\n\n");

// "Zentharion Feedback (v<version>)", or "Zentharion Feedback" without a version; an empty
// version still counts as one.
QString subject(const std::optional<QString>& shortVersion);

// A mailto: link to the support address with the subject and body. Every character of the
// values but the unreserved ones is percent-encoded: a "+" left as it is reads as a space in
// many mail programs, and "&" or "=" would start another field. Absent when no link can be
// formed (no address).
std::optional<QUrl> mailtoURL(const QString& subject, const QString& body,
                              const QString& address = emailAddress());

} // namespace zen::ZentharionSupport
