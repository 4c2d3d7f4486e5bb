#pragma once

#include <QWidget>

#include <functional>

namespace zen {

// Shows its text on one line, cut in the middle when it does not fit; the whole text stays
// in the tooltip. Plain text. A label whose text is only of use whole (a shortcut) takes a
// smaller type first, down to a floor, and is cut only below that.
class MiddleElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString& text);
    QString shownText() const;
    // How far the text may shrink, as a share of the label's font size, before it is cut;
    // 1 (the default): it keeps its size.
    void setSmallestScale(qreal scale);
    // The font the text is drawn in at the label's width.
    QFont shownFont() const;
    // `base` or, when `text` is wider than `width` in it, the largest size down to
    // `smallestScale` of base's in which it fits (that floor when none does).
    static QFont fontFitting(const QFont& base, const QString& text, int width, qreal smallestScale);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString m_text;
    qreal m_smallestScale = 1;
};

} // namespace zen
