#include "Settings/SettingsSymbols.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QStandardPaths>

namespace zen::SettingsSymbols {

namespace {

// Without a desktop platform theme (bare X sessions, the offscreen platform) Qt looks in no
// icon folder at all: the XDG icon folders and the maintained theme are named here.
void ensureIconTheme()
{
    static const bool done = [] {
        QStringList paths = QIcon::themeSearchPaths();
        QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                      QStandardPaths::LocateDirectory);
        // The standard's own defaults, for an environment whose XDG_DATA_DIRS leaves them out.
        found << QStringLiteral("/usr/local/share/icons") << QStringLiteral("/usr/share/icons");
        for (const QString& dir : found)
            if (!paths.contains(dir) && QFileInfo(dir).isDir())
                paths << dir;
        QIcon::setThemeSearchPaths(paths);
        // "hicolor" is only the base every theme falls back to; it has no symbols of its own.
        const QString maintained = QStringLiteral("Adwaita");
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(maintained);
        else if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(maintained);
        return true;
    }();
    (void)done;
}

QPixmap paintedDisc(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(side * 0.15, side * 0.15, side * 0.7, side * 0.7));
    return pixmap;
}

} // namespace

QString themeName(const QString& symbolName)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("gearshape"), QStringLiteral("emblem-system-symbolic")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("applications-engineering-symbolic")},
        {QStringLiteral("info.circle"), QStringLiteral("dialog-information-symbolic")},
        {QStringLiteral("power"), QStringLiteral("system-shutdown-symbolic")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("view-refresh-symbolic")},
        {QStringLiteral("display.2"), QStringLiteral("video-display-symbolic")},
        {QStringLiteral("hand.raised.fill"), QStringLiteral("security-high-symbolic")},
        {QStringLiteral("arrow.up.forward"), QStringLiteral("send-to-symbolic")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("square.and.arrow.up"), QStringLiteral("document-save-as-symbolic")},
        {QStringLiteral("trash"), QStringLiteral("user-trash-symbolic")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("emblem-ok-symbolic")},
        {QStringLiteral("chevron.right"), QStringLiteral("go-next-symbolic")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("folder-download-symbolic")},
        {QStringLiteral("envelope"), QStringLiteral("mail-unread-symbolic")},
    };
    return names.value(symbolName);
}

QIcon icon(const QString& symbolName)
{
    ensureIconTheme();
    const QString name = themeName(symbolName);
    if (!name.isEmpty()) {
        const QIcon themed = QIcon::fromTheme(name);
        if (!themed.isNull())
            return themed;
    }
    return QIcon(paintedDisc(32));
}

QPixmap tintedPixmap(const QString& symbolName, int side, const QColor& tint)
{
    QPixmap pixmap = icon(symbolName).pixmap(side, side);
    if (pixmap.isNull())
        pixmap = paintedDisc(side);
    // Symbolic icons are one-colour shapes: the tint replaces their colour, keeping the shape.
    QPainter p(&pixmap);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(pixmap.rect(), tint);
    return pixmap;
}

} // namespace zen::SettingsSymbols
