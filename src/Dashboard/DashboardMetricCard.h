#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QToolButton;

namespace zen {

class MiddleElidedLabel;

// A small card of the layout detail: a caption over one value, with an optional trailing
// symbol button.
class DashboardMetricCard : public QWidget {
    Q_OBJECT
public:
    DashboardMetricCard(const QString& title, const QString& value,
                        std::optional<QString> actionSystemImage = std::nullopt,
                        std::optional<QString> actionAccessibilityLabel = std::nullopt, bool isActionDisabled = false,
                        std::function<void()> action = {}, QWidget* parent = nullptr);

    QString title() const;
    QString value() const { return m_value; }
    void setValue(const QString& value);
    // Null unless both a symbol and an action were given.
    QToolButton* actionButton() const { return m_actionButton; }

    // The cards' common look: a rounded, filled rectangle (shared with the hotkey card).
    static void paintCardBackground(QWidget* card);
    static constexpr int padding = 16;
    static constexpr int cornerRadius = 14;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title = nullptr;
    MiddleElidedLabel* m_valueLabel = nullptr;
    QString m_value;
    QToolButton* m_actionButton = nullptr;
};

// A symbol-only button of the cards: flat, tooltip and accessible name from `label`.
QToolButton* makeCardSymbolButton(const QString& systemImage, const QString& label, QWidget* parent);

} // namespace zen
