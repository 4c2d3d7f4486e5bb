#include "Dashboard/DashboardMetricCard.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/MiddleElidedLabel.h"

#include "Onboarding/SymbolImage.h"
#include "Onboarding/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace zen {

// MARK: DashboardMetricCard

QToolButton* makeCardSymbolButton(const QString& systemImage, const QString& label, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(SymbolImage::icon(systemImage, TextStyle::color(parent->palette(), TextStyle::Emphasis::secondary)));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(label.toHtmlEscaped());
    button->setAccessibleName(label);
    // Clicking a card button must not take the keyboard from a capture in progress.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

DashboardMetricCard::DashboardMetricCard(const QString& title, const QString& value,
                                         std::optional<QString> actionSystemImage,
                                         std::optional<QString> actionAccessibilityLabel, bool isActionDisabled,
                                         std::function<void()> action, QWidget* parent)
    : QWidget(parent)
{
    m_title = plainLabel(title, this);
    TextStyle::apply(m_title, TextStyle::Role::caption);
    TextStyle::applyColor(m_title, TextStyle::Emphasis::secondary);

    m_valueLabel = new MiddleElidedLabel(this);
    TextStyle::apply(m_valueLabel, TextStyle::Role::title3, QFont::DemiBold);
    m_valueLabel->setText(value);
    m_value = value;

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(m_valueLabel, 1);
    row->addSpacing(4);
    if (actionSystemImage && action) {
        m_actionButton = makeCardSymbolButton(*actionSystemImage, actionAccessibilityLabel.value_or(title), this);
        m_actionButton->setEnabled(!isActionDisabled);
        connect(m_actionButton, &QToolButton::clicked, this, [action = std::move(action)] { action(); });
        row->addWidget(m_actionButton);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addLayout(row);
}

QString DashboardMetricCard::title() const
{
    return m_title->text();
}

void DashboardMetricCard::setValue(const QString& value)
{
    m_value = value;
    m_valueLabel->setText(value);
}

void DashboardMetricCard::paintCardBackground(QWidget* card)
{
    // The cards of a row share one size and look, and look the same at every opening: the
    // antialiased outline is drawn once per size and colours, then copied.
    const qreal ratio = card->devicePixelRatioF();
    const QColor fill = card->palette().color(QPalette::Base);
    QColor edge = card->palette().color(QPalette::WindowText);
    edge.setAlphaF(0.08);
    const QString key = QStringLiteral("zen-card-%1x%2@%3-%4-%5")
                            .arg(card->width())
                            .arg(card->height())
                            .arg(ratio)
                            .arg(fill.rgba(), 0, 16)
                            .arg(edge.rgba(), 0, 16);
    QPixmap background;
    if (!QPixmapCache::find(key, &background)) {
        background = QPixmap(card->size() * ratio);
        background.setDevicePixelRatio(ratio);
        background.fill(Qt::transparent);
        QPainter painter(&background);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(card->rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
        painter.fillPath(shape, fill);
        painter.setPen(QPen(edge, 1));
        painter.drawPath(shape);
        painter.end();
        QPixmapCache::insert(key, background);
    }
    QPainter(card).drawPixmap(0, 0, background);
}

void DashboardMetricCard::paintEvent(QPaintEvent*)
{
    paintCardBackground(this);
}

} // namespace zen
