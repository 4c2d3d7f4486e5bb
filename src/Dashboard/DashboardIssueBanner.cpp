#include "Dashboard/DashboardIssueBanner.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSymbols.h"
#include "MenuBar/MenuText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

using Style = DashboardPreviewStyle;

DashboardIssueBanner::DashboardIssueBanner(const QString& title, const QString& message, const QString& systemImage,
                                           const QColor& tint, std::optional<QString> actionTitle,
                                           std::function<void()> action, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(10);

    auto* symbol = new QLabel(this);
    symbol->setObjectName(QStringLiteral("symbol"));
    symbol->setPixmap(DashboardSymbols::tintedPixmap(systemImage, QSize(17, 17), tint, devicePixelRatioF()));
    symbol->setAlignment(Qt::AlignTop);
    symbol->setAccessibleName(QString());
    row->addWidget(symbol, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = Style::label(title, Style::TextStyle::subheadline, QFont::DemiBold, false, this);
    m_message = Style::label(message, Style::TextStyle::caption, QFont::Normal, true, this);
    // Grows vertically to show every line instead of cutting the message.
    m_message->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    m_message->setWordWrap(true);
    texts->addWidget(m_title);
    texts->addWidget(m_message);
    row->addLayout(texts, 1);

    if (actionTitle && action) {
        m_actionButton = new QPushButton(menuText(*actionTitle), this);
        m_actionButton->setFlat(true);
        m_actionButton->setCursor(Qt::PointingHandCursor);
        QPalette p = m_actionButton->palette();
        p.setColor(QPalette::ButtonText, p.color(QPalette::Link));
        m_actionButton->setPalette(p);
        m_actionButton->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; }"));
        connect(m_actionButton, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        row->addWidget(m_actionButton, 0, Qt::AlignTop);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QString DashboardIssueBanner::title() const
{
    return m_title->text();
}

QString DashboardIssueBanner::message() const
{
    return m_message->text();
}

void DashboardIssueBanner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 8, Style::windowBackground(palette()));
}

} // namespace zen
