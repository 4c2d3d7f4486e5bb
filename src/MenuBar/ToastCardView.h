#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace zen {

// The dark rounded card that every toast is drawn on; its children are the toast's content.
// Translucent when a compositing manager blends it with what lies below, solid otherwise.
class ToastCardView : public QWidget {
    Q_OBJECT
public:
    static constexpr double toastCornerRadius = 14;

    explicit ToastCardView(bool translucent, double cornerRadius = toastCornerRadius, QWidget* parent = nullptr);

    // The card's colours.
    static QColor fill(bool translucent);
    static QColor primaryText();
    static QColor secondaryText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Keeps the close button in the top right corner and the action button, if any, in the
    // bottom right one, whatever size the card gets.
    void setCornerButtons(QWidget* close, QWidget* action = nullptr);

private:
    void placeCornerButtons();

    bool m_translucent;
    double m_cornerRadius;
    QPointer<QWidget> m_closeCorner;
    QPointer<QWidget> m_actionCorner;
};

} // namespace zen
