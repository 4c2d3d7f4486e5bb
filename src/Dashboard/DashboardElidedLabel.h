#pragma once

#include <QLabel>

namespace zen {

// A one-line plain-text label that ends in an ellipsis when its text is wider than the label,
// instead of cutting a letter in half at the edge. `text()` keeps the whole text.
class DashboardElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit DashboardElidedLabel(QWidget* parent = nullptr);

    // The text as drawn at the label's current width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zen
