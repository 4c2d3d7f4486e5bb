#pragma once

#include <QString>
#include <QUuid>

namespace zen {

// One saved layout offered after a display change.
struct DisplayRestoreSuggestionOption {
    QUuid snapshotID;
    QString snapshotName;

    friend bool operator==(const DisplayRestoreSuggestionOption&, const DisplayRestoreSuggestionOption&) = default;
};

} // namespace zen
