#include "Dashboard/DashboardSymbols.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

namespace zen {

namespace {

struct SymbolSource {
    QStringList themeNames; // most fitting first
    QString glyph; // painted when the theme has none of the names and no shape is drawn here
};

const QHash<QString, SymbolSource>& sources()
{
    static const QHash<QString, SymbolSource> table{
        {"app.generic", {{"application-x-executable"}, {}}},
        {"plus", {{"list-add-symbolic", "list-add"}, "+"}},
        {"minus.circle", {{"list-remove-symbolic"}, {}}},
        {"line.3.horizontal", {{"open-menu-symbolic"}, {}}},
        {"ellipsis.circle", {{"view-more-horizontal-symbolic"}, "…"}},
        {"gearshape", {{"emblem-system-symbolic", "preferences-system-symbolic", "preferences-system"}, "⚙"}},
        {"wrench.and.screwdriver", {{"applications-engineering-symbolic"}, {}}},
        {"info.circle", {{"dialog-information-symbolic"}, "i"}},
        {"power", {{"system-shutdown-symbolic"}, {}}},
        {"display.2", {{"video-display-symbolic"}, {}}},
        {"display", {{"video-display-symbolic", "video-display"}, "▭"}},
        {"macwindow", {{"preferences-desktop-multitasking-symbolic", "focus-windows-symbolic", "window-new-symbolic"}, "❐"}},
        {"arrow.clockwise", {{"view-refresh-symbolic", "view-refresh"}, "↻"}},
        {"hand.raised.fill", {{"security-high-symbolic", "dialog-warning-symbolic", "dialog-warning"}, "✋"}},
        {"accessibility", {{"preferences-desktop-accessibility-symbolic", "preferences-desktop-accessibility"}, "♿"}},
        {"checkmark.circle", {{"emblem-ok-symbolic", "object-select-symbolic", "emblem-ok"}, "✓"}},
        {"checkmark.circle.fill", {{"emblem-ok-symbolic", "object-select-symbolic", "emblem-ok"}, {}}},
        {"chevron.right", {{"go-next-symbolic", "go-next"}, "›"}},
        {"pencil", {{"document-edit-symbolic", "document-edit"}, "✎"}},
        {"xmark.circle.fill", {{"edit-clear-symbolic", "window-close-symbolic", "edit-clear"}, "✕"}},
        {"trash", {{"user-trash-symbolic", "edit-delete-symbolic", "user-trash"}, "✕"}},
        {"arrow.counterclockwise", {{"edit-undo-symbolic", "view-refresh-symbolic", "edit-undo"}, "↺"}},
        {"arrow.triangle.2.circlepath", {{"view-refresh-symbolic", "view-refresh"}, "⟳"}},
        {"arrow.up.forward", {{"send-to-symbolic"}, "↗"}},
        {"arrow.down.circle", {{"folder-download-symbolic"}, "↓"}},
        {"arrow.down.circle.fill", {{"software-update-available-symbolic"}, "↓"}},
        {"square.and.arrow.up", {{"document-save-as-symbolic"}, "↑"}},
        {"envelope", {{"mail-unread-symbolic"}, "✉"}},
        {"exclamationmark.triangle.fill", {{"dialog-warning-symbolic", "dialog-warning"}, {}}},
        {"externaldrive.badge.exclamationmark", {{"drive-harddisk-symbolic", "drive-harddisk"}, {}}},
        {"rectangle.3.group.bubble.left.fill", {{"view-grid-symbolic", "view-app-grid-symbolic", "window-new"}, "▦"}},
    };
    return table;
}

// A character as the stand-in, in the 16-unit box; where the font has no such glyph, a disc
// with a mark cut out, never an empty box.
void paintGlyph(QPainter& p, const QString& glyph, const QColor& ink)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(13);
    font.setBold(true);
    if (QFontMetrics(font).inFontUcs4(glyph.toUcs4().value(0))) {
        p.setFont(font);
        p.setPen(ink);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, glyph);
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("!"));
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
    if (const QString glyph = sources().value(name).glyph; !glyph.isEmpty()) {
        paintGlyph(p, glyph, ink);
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
        // "hicolor" is only the base every theme falls back to; it has no symbols of its own.
        const QString maintained = QStringLiteral("Adwaita");
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(maintained);
        else if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(maintained);
        // Without a platform theme Qt searches only its resources; the installed themes live
        // in the XDG data folders. Setting the paths last also drops the themes Qt read before
        // the fallback changed, which would otherwise keep answering without it.
        // The folders come from the XDG variables themselves as the icon-theme specification
        // says, since QStandardPaths answers differently in its test mode, and then the
        // standard's own defaults, for an environment whose XDG_DATA_DIRS leaves them out.
        QStringList dataDirs {qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
        dataDirs += qEnvironmentVariable("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                        .split(QLatin1Char(':'), Qt::SkipEmptyParts);
        dataDirs += QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        dataDirs << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
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

QStringList DashboardSymbols::themeNames(const QString& symbolName)
{
    return sources().value(symbolName).themeNames;
}

QString DashboardSymbols::themeName(const QString& symbolName)
{
    return themeNames(symbolName).value(0);
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
    for (const QString& name : themeNames(symbolName)) {
        if (QIcon::hasThemeIcon(name)) {
            icon = QIcon::fromTheme(name);
            break;
        }
    }
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
    if (pixmap.isNull())
        pixmap = paintedIcon(symbolName).pixmap(size, devicePixelRatio);
    if (!pixmap.isNull()) {
        // Symbolic icons are one-colour shapes: the tint replaces their colour, keeping the shape.
        QPainter p(&pixmap);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRect(QPoint(0, 0), pixmap.size()), tint);
    }
    cache.insert(key, pixmap);
    return pixmap;
}

} // namespace zen
