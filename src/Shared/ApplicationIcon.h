#pragma once

#include <QIcon>
#include <QString>

namespace zen {

// The program's icon: the installed icon theme's, else the copy built into the program.
inline QIcon applicationIcon()
{
    return QIcon::fromTheme(QStringLiteral("zentharion"), QIcon(QStringLiteral(":/zentharion/zentharion.svg")));
}

} // namespace zen
