#include "Settings/ZentharionSupport.h"

namespace zen::ZentharionSupport {

QString emailAddress()
{
    return QStringLiteral(ZENTHARION_SUPPORT_EMAIL);
}

QString subject(const std::optional<QString>& shortVersion)
{
    if (!shortVersion)
        return QStringLiteral("Zentharion Feedback");
    return QStringLiteral("Zentharion Feedback (v") + *shortVersion + u')';
}

std::optional<QUrl> mailtoURL(const QString& subject, const QString& body, const QString& address)
{
    if (address.trimmed().isEmpty())
        return std::nullopt;
    const QByteArray encoded = "mailto:" + QUrl::toPercentEncoding(address, "@") + "?subject="
                               + QUrl::toPercentEncoding(subject) + "&body=" + QUrl::toPercentEncoding(body);
    const QUrl url = QUrl::fromEncoded(encoded, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace zen::ZentharionSupport
