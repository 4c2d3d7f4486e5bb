#include "Onboarding/SymbolImage.h"

#include "Dashboard/DashboardSymbols.h"

namespace zen {

QStringList SymbolImage::themeNames(const QString& symbol)
{
    return DashboardSymbols::themeNames(symbol);
}

QPixmap SymbolImage::pixmap(const QString& symbol, int size, const QColor& tint, qreal devicePixelRatio)
{
    return DashboardSymbols::tintedPixmap(symbol, QSize(size, size), tint, devicePixelRatio);
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
