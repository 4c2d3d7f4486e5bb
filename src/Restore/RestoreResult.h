#pragma once

#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

namespace zen {

// A saved window that a restore left alone.
struct RestoreSkip {
    QUuid id = QUuid::createUuid();
    QString bundleIdentifier;
    std::optional<QString> windowTitle;
    QString reason;
};

// A saved window that a restore put back in a lesser form.
struct RestoreDowngrade {
    QUuid id = QUuid::createUuid();
    QString bundleIdentifier;
    std::optional<QString> windowTitle;
    QString reason;
};

// A saved window whose display had to be replaced, with the display used instead.
struct DisplayFallbackEvent {
    QUuid id = QUuid::createUuid();
    std::optional<std::uint32_t> savedDisplayID;
    std::optional<std::uint32_t> resolvedDisplayID;
    QString reason;
};

// What a restore did.
struct RestoreResult {
    std::int64_t restoredWindows = 0;
    std::vector<RestoreSkip> skippedItems;
    std::vector<RestoreDowngrade> downgradedItems;
    std::vector<DisplayFallbackEvent> displayFallbacks;
};

} // namespace zen
