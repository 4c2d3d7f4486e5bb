#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace zen {

// How the dashboard shows one application. The icon is shared, not copied (QIcon is
// implicitly shared), so identities can be passed around by value freely.
struct DashboardAppIdentity {
    QString bundleIdentifier;
    QString name;
    QIcon icon;
    QColor accentColor;
    // Found among the desktop's application entries: a restore can start the program when it
    // is not running. Without an entry there is nothing to start it from.
    bool hasDesktopEntry = false;
};

} // namespace zen
