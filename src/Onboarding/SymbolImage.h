#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QString>

namespace zen {

// Symbols by the names our views use ("gearshape", "pencil", ...), drawn in one colour: the
// pictures DashboardSymbols gives (the icon theme's, or a painted stand-in, so a view never
// shows a gap).
namespace SymbolImage {

// The freedesktop icon names tried for a symbol, most fitting first.
QStringList themeNames(const QString& symbol);
QPixmap pixmap(const QString& symbol, int size, const QColor& tint, qreal devicePixelRatio = 1.0);
QIcon icon(const QString& symbol, const QColor& tint, int size = 16);

} // namespace SymbolImage

// A label showing one symbol at a fixed size, for the large symbols beside headings.
class SymbolLabel : public QLabel {
    Q_OBJECT
public:
    SymbolLabel(const QString& symbol, int size, const QColor& tint, QWidget* parent = nullptr);
    const QString& symbol() const { return m_symbol; }

private:
    QString m_symbol;
};

} // namespace zen
