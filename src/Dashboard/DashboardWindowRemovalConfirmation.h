#pragma once

#include "Dashboard/DashboardAppIdentity.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace zen {

// The pending removal of one saved window, shown to the user before anything is removed.
struct DashboardWindowRemovalConfirmation {
    QUuid snapshotID;
    QString snapshotName;
    DashboardAppIdentity appIdentity;
    QUuid windowID;
    std::optional<QString> windowTitle;
    // Set by whoever builds the value: the only saved window assigned to its display.
    bool isLastWindowOnDisplay = false;

    const QString& appName() const { return appIdentity.name; }
    // The trimmed title, or "Untitled window" when it is absent or blank.
    QString windowDisplayTitle() const;
    // The question asked; the title is shown separately, so it is not part of it.
    QString message() const;
};

} // namespace zen
