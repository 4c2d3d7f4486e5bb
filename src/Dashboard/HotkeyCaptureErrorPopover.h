#pragma once

#include <QFrame>

#include <functional>

class QLabel;

namespace zen {

// Why the last key combination was refused, in a small frame that opens below the capture
// field. It never takes the keyboard, so capture goes on while it shows; a click closes it.
class HotkeyCaptureErrorPopover : public QFrame {
    Q_OBJECT
public:
    explicit HotkeyCaptureErrorPopover(QWidget* parent = nullptr);

    static constexpr int fixedWidth = 280;

    QString message() const;
    void setMessage(const QString& message);
    // Opens with its top-left corner at `anchor` (global coordinates).
    void showAt(const QPoint& anchor);

    std::function<void()> onDismiss;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* m_message = nullptr;
};

} // namespace zen
