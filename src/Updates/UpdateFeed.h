#pragma once

#include "Updates/AppUpdater.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <expected>
#include <optional>
#include <vector>

namespace zen {

// The release feed: a JSON document of this shape (fields not listed are ignored):
//
//   {
//     "items": [
//       {
//         "version": "1.4.2",                          required; digits separated by dots
//         "displayVersion": "1.4.2",                   optional; defaults to "version"
//         "url": "https://example.org/releases/1.4.2", required; the release's page, https
//         "notes": "Plain text shown under the offer." optional
//       }
//     ]
//   }
//
// An item with a missing or malformed version, a version label longer than
// maximumDisplayVersionLength or a link that is not https is skipped; the newest of the
// remaining items is the feed's latest release.
namespace UpdateFeed {

// A version label is a few words at most; a longer one is no label a person could read in
// the sentence that offers the release.
inline constexpr qsizetype maximumDisplayVersionLength = 40;
// Reasons kept for skipped items; a feed of junk may hold hundreds of thousands of them.
inline constexpr qsizetype maximumSkipReasonsKept = 10;

struct Parsed {
    std::optional<UpdateFeedItem> latest; // absent when no item is valid
    QStringList skippedItems;             // why the first skipped items were skipped
    qsizetype skippedCount = 0;           // how many items were skipped in all
};

std::expected<Parsed, UpdaterError> parse(const QByteArray& json);

// The numeric parts of a version ("1.10.0" -> 1, 10, 0); absent unless the text is one to
// eight groups of at most nine digits separated by single dots.
std::optional<std::vector<quint32>> versionParts(const QString& version);

// Part by part, a missing part counting as 0 ("1.2" equals "1.2.0"). Both must be valid.
int compareVersions(const std::vector<quint32>& a, const std::vector<quint32>& b);

// True when `candidate` is newer than `current`; false when either is malformed.
bool isNewer(const QString& candidate, const QString& current);

// Where a feed may come from: https anywhere; plain http only from this computer's loopback
// address (local test servers); local files.
bool isAllowedFeedURL(const QUrl& url);

// Where a redirect may lead from `from`: an allowed network address that is no downgrade
// (https never leads to http), never a local file.
bool isAllowedRedirect(const QUrl& from, const QUrl& to);

} // namespace UpdateFeed

} // namespace zen
