#pragma once

#include <QAbstractButton>

namespace zen {

// The round "Dismiss" button in a toast's top-right corner. It never takes the focus, so a
// click acts at once without activating the program.
class OperationToastCloseButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit OperationToastCloseButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zen
