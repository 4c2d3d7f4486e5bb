#include "MenuBar/MenuText.h"

namespace zen {

QString menuText(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return escaped;
}

} // namespace zen
