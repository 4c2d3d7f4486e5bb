#include "Onboarding/SymbolImage.h"

#include "Dashboard/DashboardSymbols.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace zen {

namespace {

struct SymbolSource {
    QStringList themeNames;
    QString glyph; // painted when the theme has none of the names
};

const QHash<QString, SymbolSource>& sources()
{
    static const QHash<QString, SymbolSource> table{
        {"hand.raised.fill", {{"dialog-warning-symbolic", "security-high-symbolic", "dialog-warning"}, "✋"}},
        {"checkmark.circle.fill", {{"emblem-ok-symbolic", "object-select-symbolic", "emblem-ok"}, "✓"}},
        {"exclamationmark.triangle.fill", {{"dialog-warning-symbolic", "dialog-warning"}, "⚠"}},
        {"externaldrive.badge.exclamationmark", {{"drive-harddisk-symbolic", "drive-harddisk"}, "!"}},
        {"gearshape", {{"emblem-system-symbolic", "preferences-system-symbolic", "preferences-system"}, "⚙"}},
        {"accessibility",
         {{"preferences-desktop-accessibility-symbolic", "preferences-desktop-accessibility"}, "♿"}},
        {"checkmark.circle", {{"emblem-ok-symbolic", "object-select-symbolic", "emblem-ok"}, "✓"}},
        {"chevron.right", {{"go-next-symbolic", "go-next"}, "›"}},
        {"pencil", {{"document-edit-symbolic", "document-edit"}, "✎"}},
        {"xmark.circle.fill", {{"edit-clear-symbolic", "window-close-symbolic", "edit-clear"}, "✕"}},
        {"trash", {{"user-trash-symbolic", "edit-delete-symbolic", "user-trash"}, "✕"}},
        {"arrow.counterclockwise", {{"edit-undo-symbolic", "view-refresh-symbolic", "edit-undo"}, "↺"}},
        {"arrow.triangle.2.circlepath", {{"view-refresh-symbolic", "view-refresh"}, "⟳"}},
        {"rectangle.3.group.bubble.left.fill", {{"view-grid-symbolic", "view-app-grid-symbolic", "window-new"}, "▦"}},
    };
    return table;
}

QPixmap paintedGlyph(const QString& glyph, int size, const QColor& tint, qreal dpr)
{
    QPixmap image(QSize(size, size) * dpr);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(6, int(size * 0.8)));
    font.setBold(true);
    if (QFontMetrics(font).inFontUcs4(glyph.toUcs4().value(0))) {
        painter.setFont(font);
        painter.setPen(tint);
        painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, glyph);
        return image;
    }
    // The font has no such glyph: a tinted disc with a mark, never an empty box.
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88));
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    font.setPixelSize(std::max(5, int(size * 0.6)));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("!"));
    return image;
}

// Draws the theme's picture in one colour: its shape (alpha) filled with the tint.
QPixmap tinted(const QIcon& themeIcon, int size, const QColor& tint, qreal dpr)
{
    QPixmap image = themeIcon.pixmap(QSize(size, size), dpr);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(image.size()) / dpr), tint);
    return image;
}

} // namespace

QStringList SymbolImage::themeNames(const QString& symbol)
{
    return sources().value(symbol).themeNames;
}

QPixmap SymbolImage::pixmap(const QString& symbol, int size, const QColor& tint, qreal devicePixelRatio)
{
    DashboardSymbols::ensureIconTheme();
    // Where the icon theme has the dashboard's picture of a symbol, it looks the same here.
    if (const QString name = DashboardSymbols::themeName(symbol); !name.isEmpty() && QIcon::hasThemeIcon(name))
        return DashboardSymbols::tintedPixmap(symbol, QSize(size, size), tint, devicePixelRatio);
    const auto source = sources().value(symbol);
    for (const auto& name : source.themeNames) {
        if (!QIcon::hasThemeIcon(name))
            continue;
        QPixmap image = tinted(QIcon::fromTheme(name), size, tint, devicePixelRatio);
        if (!image.isNull())
            return image;
    }
    return paintedGlyph(source.glyph.isEmpty() ? QStringLiteral("•") : source.glyph, size, tint, devicePixelRatio);
}

QIcon SymbolImage::icon(const QString& symbol, const QColor& tint, int size)
{
    QIcon result;
    for (const qreal dpr : {1.0, 2.0})
        result.addPixmap(pixmap(symbol, size, tint, dpr));
    QColor disabled = tint;
    disabled.setAlphaF(tint.alphaF() * 0.35);
    for (const qreal dpr : {1.0, 2.0})
        result.addPixmap(pixmap(symbol, size, disabled, dpr), QIcon::Disabled);
    return result;
}

SymbolLabel::SymbolLabel(const QString& symbol, int size, const QColor& tint, QWidget* parent)
    : QLabel(parent)
    , m_symbol(symbol)
{
    setPixmap(SymbolImage::pixmap(symbol, size, tint, devicePixelRatioF()));
    setFixedSize(size, size);
    setAlignment(Qt::AlignCenter);
}

} // namespace zen
