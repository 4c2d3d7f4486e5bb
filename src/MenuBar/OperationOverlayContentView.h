#pragma once

#include <QString>
#include <QWidget>

namespace zen {

class OverlaySpinner;
class ToastCardView;
class ToastTextLabel;

// The progress overlay's content: a centred card with a spinner and the operation's message
// over a dimmed monitor, or, where nothing can be seen through a window, the card alone.
class OperationOverlayContentView final : public QWidget {
    Q_OBJECT
public:
    // `coversScreen`: the view fills a whole monitor and dims it (needs translucency).
    OperationOverlayContentView(QString message, bool coversScreen, bool translucent, QWidget* parent = nullptr);
    void buildView();

    const QString& message() const { return m_message; }
    ToastCardView* card() const { return m_card; }
    ToastTextLabel* messageLabel() const { return m_label; }
    OverlaySpinner* spinner() const { return m_spinner; }

    static constexpr double dimmingAlpha = 0.22;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_message;
    bool m_coversScreen;
    bool m_translucent;
    ToastCardView* m_card = nullptr;
    ToastTextLabel* m_label = nullptr;
    OverlaySpinner* m_spinner = nullptr;
};

} // namespace zen
