#pragma once

#include <QWidget>

namespace zen {

// An indeterminate progress indicator: twelve spokes, the bright one going round.
class OverlaySpinner final : public QWidget {
    Q_OBJECT
public:
    explicit OverlaySpinner(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_step = 0;
};

} // namespace zen
