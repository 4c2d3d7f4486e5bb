#pragma once

#include <QWidget>

class QTimer;

namespace zen {

// An indeterminate progress indicator: twelve spokes, the bright one going round.
class OverlaySpinner final : public QWidget {
    Q_OBJECT
public:
    explicit OverlaySpinner(QWidget* parent = nullptr);
    bool isAnimating() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer;
    int m_step = 0;
};

} // namespace zen
