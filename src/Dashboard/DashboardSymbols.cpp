#include "Dashboard/DashboardSymbols.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QDir>
#include <QFileInfo>

namespace zen {

namespace {

const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> names {
        {QStringLiteral("app.generic"), QStringLiteral("application-x-executable")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok-symbolic")},
        {QStringLiteral("minus.circle"), QStringLiteral("list-remove-symbolic")},
        {QStringLiteral("line.3.horizontal"), QStringLiteral("open-menu-symbolic")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning-symbolic")},
        {QStringLiteral("externaldrive.badge.exclamationmark"), QStringLiteral("drive-harddisk-symbolic")},
        {QStringLiteral("hand.raised.fill"), QStringLiteral("security-high-symbolic")},
        {QStringLiteral("info.circle"), QStringLiteral("dialog-information-symbolic")},
    };
    return names;
}

// Stand-ins drawn in a 16-unit box in black; tinting recolours them like theme symbols.
void paintSymbol(QPainter& p, const QString& name)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x2e, 0x34, 0x36);
    QPen pen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (name == QLatin1String("app.generic")) {
        p.setBrush(QColor(0x9a, 0x99, 0x96));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
        p.setBrush(QColor(0xf6, 0xf5, 0xf4));
        p.drawRoundedRect(QRectF(4, 5.5, 8, 6), 1, 1);
        return;
    }
    if (name == QLatin1String("checkmark.circle.fill")) {
        QPainterPath disc;
        disc.addEllipse(QRectF(1, 1, 14, 14));
        QPainterPath check;
        check.moveTo(4.8, 8.3);
        check.lineTo(7.0, 10.5);
        check.lineTo(11.2, 5.8);
        QPainterPathStroker stroker;
        stroker.setWidth(1.8);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(disc.subtracted(stroker.createStroke(check)));
        return;
    }
    if (name == QLatin1String("minus.circle")) {
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawLine(QPointF(5, 8), QPointF(11, 8));
        return;
    }
    if (name == QLatin1String("line.3.horizontal")) {
        for (const double y : {4.0, 8.0, 12.0})
            p.drawLine(QPointF(2.5, y), QPointF(13.5, y));
        return;
    }
    if (name.startsWith(QLatin1String("exclamationmark")) || name.contains(QLatin1String("exclamation"))) {
        QPainterPath triangle;
        triangle.moveTo(8, 1.5);
        triangle.lineTo(15, 14.5);
        triangle.lineTo(1, 14.5);
        triangle.closeSubpath();
        QPainterPath mark;
        mark.addRect(QRectF(7.1, 5.5, 1.8, 5));
        mark.addEllipse(QRectF(7.05, 11.3, 1.9, 1.9));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPath(triangle.subtracted(mark));
        return;
    }
    // Any other symbol: a plain disc, so the place never stays empty.
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QRectF(2, 2, 12, 12));
}

QPixmap paintedPixmap(const QString& name, int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.scale(side / 16.0, side / 16.0);
    paintSymbol(p, name);
    return pixmap;
}

} // namespace

void DashboardSymbols::ensureIconTheme()
{
    static const bool done = [] {
        const QString maintained = QStringLiteral("Adwaita");
        if (QIcon::themeName().isEmpty())
            QIcon::setThemeName(maintained);
        else if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(maintained);
        // Without a platform theme Qt searches only its resources; the installed themes live
        // in the XDG data folders. Setting the paths last also drops the themes Qt read before
        // the fallback changed, which would otherwise keep answering without it.
        // The folders come from the XDG variables themselves as the icon-theme specification
        // says, since QStandardPaths answers differently in its test mode.
        QStringList dataDirs {qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
        dataDirs += qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                        .split(QLatin1Char(':'), Qt::SkipEmptyParts);
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& dataDir : dataDirs) {
            const QString dir = QDir(dataDir).filePath(QStringLiteral("icons"));
            if (!paths.contains(dir) && QFileInfo(dir).isDir())
                paths << dir;
        }
        QIcon::setThemeSearchPaths(paths);
        return true;
    }();
    (void)done;
}

QString DashboardSymbols::themeName(const QString& symbolName)
{
    return themeNames().value(symbolName);
}

QIcon DashboardSymbols::paintedIcon(const QString& symbolName)
{
    QIcon icon;
    for (const int side : {16, 32, 64})
        icon.addPixmap(paintedPixmap(symbolName, side));
    return icon;
}

QIcon DashboardSymbols::icon(const QString& symbolName)
{
    // Built once per symbol: rows ask for the same few symbols on every rebuild.
    static QHash<QString, QIcon> cache;
    if (const auto found = cache.constFind(symbolName); found != cache.constEnd())
        return *found;
    ensureIconTheme();
    QIcon icon;
    if (const QString name = themeName(symbolName); !name.isEmpty())
        icon = QIcon::fromTheme(name);
    if (icon.isNull())
        icon = paintedIcon(symbolName);
    cache.insert(symbolName, icon);
    return icon;
}

QPixmap DashboardSymbols::tintedPixmap(const QString& symbolName, QSize size, const QColor& tint, qreal devicePixelRatio)
{
    // Every row of a long window list shows the same few tinted symbols.
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2x%3|%4|%5")
                            .arg(symbolName)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(tint.rgba())
                            .arg(devicePixelRatio);
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;
    QPixmap pixmap = icon(symbolName).pixmap(size, devicePixelRatio);
    if (!pixmap.isNull()) {
        QPainter p(&pixmap);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRect(QPoint(0, 0), pixmap.size()), tint);
    }
    cache.insert(key, pixmap);
    return pixmap;
}

} // namespace zen
