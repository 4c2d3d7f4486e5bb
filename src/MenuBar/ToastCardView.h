#pragma once

#include <QColor>
#include <QWidget>

namespace zen {

// The dark rounded card that every toast is drawn on; its children are the toast's content.
// Translucent when a compositing manager blends it with what lies below, solid otherwise.
class ToastCardView : public QWidget {
    Q_OBJECT
public:
    static constexpr double toastCornerRadius = 14;

    explicit ToastCardView(bool translucent, double cornerRadius = toastCornerRadius, QWidget* parent = nullptr);

    bool isTranslucent() const { return m_translucent; }

    // The card's colours.
    static QColor fill(bool translucent);
    static QColor primaryText();
    static QColor secondaryText();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_translucent;
    double m_cornerRadius;
};

} // namespace zen
