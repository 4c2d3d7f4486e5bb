#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace zen {

class OperationToastCloseButton;

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

    // Null until the content puts its corner buttons in.
    OperationToastCloseButton* closeButton() const { return m_closeButton; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Adds a close button that calls `onDismiss`, and keeps it in the top right corner and the
    // action button, if any, in the bottom right one, whatever size the card gets.
    void setCornerButtons(std::function<void()> onDismiss, QWidget* action = nullptr);

private:
    void placeCornerButtons();

    bool m_translucent;
    double m_cornerRadius;
    OperationToastCloseButton* m_closeButton = nullptr;
    QPointer<QWidget> m_actionCorner;
};

} // namespace zen
