#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace zen {

// One problem reported above the layout detail: a tinted symbol, a bold title, a wrapping
// secondary message and, when both a title and an action are given, one link-style button.
class DashboardIssueBanner : public QWidget {
    Q_OBJECT
public:
    DashboardIssueBanner(const QString& title, const QString& message, const QString& systemImage, const QColor& tint,
                         std::optional<QString> actionTitle = std::nullopt, std::function<void()> action = {},
                         QWidget* parent = nullptr);

    QString title() const;
    // The whole message; the banner cuts a very long unbroken name in it and lets such a name
    // break anywhere, so that the banner fits the pane.
    QString message() const;
    // The action button, absent unless both its title and its action were given.
    QPushButton* actionButton() const { return m_actionButton; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title = nullptr;
    QString m_fullMessage;
    QLabel* m_message = nullptr;
    QPushButton* m_actionButton = nullptr;
};

} // namespace zen
