#include "Updates/UpdateFeed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstring>

#include <arpa/inet.h>

namespace zen::UpdateFeed {

namespace {

bool isLoopbackHTTP(const QUrl& url)
{
    if (url.scheme() != QLatin1String("http"))
        return false;
    // Literal addresses only: a host name could resolve anywhere. Read with the C library
    // rather than Qt Network, which the program loads only when it fetches.
    const QByteArray host = url.host().toLatin1();
    unsigned char bytes[16];
    if (::inet_pton(AF_INET, host.constData(), bytes) == 1)
        return bytes[0] == 127;
    if (::inet_pton(AF_INET6, host.constData(), bytes) != 1)
        return false;
    static constexpr unsigned char loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr unsigned char mapped4[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(bytes, loopback6, 16) == 0 || (std::memcmp(bytes, mapped4, 12) == 0 && bytes[12] == 127);
}

UpdaterError parseError(const QString& why)
{
    return UpdaterError{UpdaterError::domain, UpdaterError::feedParse,
                        QStringLiteral("The update feed could not be read: %1").arg(why)};
}

} // namespace

std::optional<std::vector<quint32>> versionParts(const QString& version)
{
    // \z, not $: a dollar also matches before a final line break, and "9.9" plus one is no version.
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9}){0,7}\\z"));
    if (!pattern.match(version).hasMatch())
        return std::nullopt;
    std::vector<quint32> parts;
    for (const QString& part : version.split(u'.'))
        parts.push_back(part.toUInt());
    return parts;
}

int compareVersions(const std::vector<quint32>& a, const std::vector<quint32>& b)
{
    const size_t count = std::max(a.size(), b.size());
    for (size_t i = 0; i < count; ++i) {
        const quint32 x = i < a.size() ? a[i] : 0;
        const quint32 y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool isNewer(const QString& candidate, const QString& current)
{
    const auto a = versionParts(candidate);
    const auto b = versionParts(current);
    return a && b && compareVersions(*a, *b) > 0;
}

bool isAllowedFeedURL(const QUrl& url)
{
    if (!url.isValid() || url.isRelative())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return !url.host().isEmpty();
    if (url.isLocalFile())
        return !url.toLocalFile().isEmpty();
    return isLoopbackHTTP(url);
}

bool isAllowedRedirect(const QUrl& from, const QUrl& to)
{
    if (to.isLocalFile() || !isAllowedFeedURL(to))
        return false;
    return !(from.scheme() == QLatin1String("https") && to.scheme() != QLatin1String("https"));
}

std::expected<Parsed, UpdaterError> parse(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return std::unexpected(parseError(error.errorString()));
    if (!document.isObject() || !document.object().value(QLatin1String("items")).isArray())
        return std::unexpected(parseError(QStringLiteral("it has no list of items")));

    Parsed parsed;
    const auto skip = [&parsed](const QString& why) {
        if (parsed.skippedCount++ < maximumSkipReasonsKept)
            parsed.skippedItems << why;
    };
    std::optional<std::vector<quint32>> latestParts;
    const QJsonArray items = document.object().value(QLatin1String("items")).toArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QJsonObject item = items.at(i).toObject();
        const QString version = item.value(QLatin1String("version")).toString();
        const auto parts = versionParts(version);
        if (!parts) {
            skip(QStringLiteral("item %1: missing or malformed version").arg(i));
            continue;
        }
        const QUrl link(item.value(QLatin1String("url")).toString(), QUrl::StrictMode);
        if (!link.isValid() || link.scheme() != QLatin1String("https") || link.host().isEmpty()) {
            skip(QStringLiteral("item %1: its link is not an https address").arg(i));
            continue;
        }
        QString displayVersion = item.value(QLatin1String("displayVersion")).toString().trimmed();
        if (displayVersion.size() > maximumDisplayVersionLength) {
            skip(QStringLiteral("item %1: its version label is longer than %2 characters")
                     .arg(i)
                     .arg(maximumDisplayVersionLength));
            continue;
        }
        if (latestParts && compareVersions(*parts, *latestParts) <= 0)
            continue;
        if (displayVersion.isEmpty())
            displayVersion = version;
        latestParts = parts;
        parsed.latest = UpdateFeedItem{version, displayVersion, link, item.value(QLatin1String("notes")).toString()};
    }
    return parsed;
}

} // namespace zen::UpdateFeed
