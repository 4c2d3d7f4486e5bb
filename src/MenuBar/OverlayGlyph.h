#pragma once

#include <QColor>
#include <QWidget>

namespace zen {

// A small symbol drawn in code, so that it looks the same whatever icon theme is installed.
class OverlayGlyph final : public QWidget {
    Q_OBJECT
public:
    enum class Symbol {
        checkmarkCircle, // a finished restore
        exclamationTriangle, // a finished restore that left windows alone
        raisedHand,      // a notice that something is needed
        twoDisplays,     // the monitors changed
        xmarkCircle,     // dismiss
    };

    // `symbolSize` is the drawn symbol's size inside the widget's square.
    OverlayGlyph(Symbol symbol, double symbolSize, QColor tint, int boxSize, QWidget* parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    QColor tint() const { return m_tint; }

    // Draws the symbol centred in `box`.
    static void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& tint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
    double m_symbolSize;
    QColor m_tint;
};

} // namespace zen
