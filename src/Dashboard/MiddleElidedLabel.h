#pragma once

#include <QWidget>

#include <functional>

namespace zen {

// Shows its text on one line, cut in the middle when it does not fit; the whole text stays
// in the tooltip. Plain text.
class MiddleElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString& text);
    QString shownText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString m_text;
};

} // namespace zen
