#include "Dashboard/DashboardDisplayPreviewCard.h"

#include "Dashboard/DashboardDisplayCanvas.h"
#include "Dashboard/DashboardElidedLabel.h"
#include "Dashboard/DashboardPreviewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

// The display's name on one line, ending in an ellipsis where the card has no room for it: any
// X client can name a monitor, at any length. It asks for its whole width and takes what is left
// beside the badge and the count, down to none.
class DisplayTitle final : public DashboardElidedLabel {
public:
    using DashboardElidedLabel::DashboardElidedLabel;

    QSize sizeHint() const override
    {
        // Measuring a start well past any card's width is enough, and quick for a name of any length.
        // The width the name is drawn in, in fractions of a pixel rounded up, and as far as its
        // last letter's ink reaches: a name given its advance rounded down was shown cut short
        // ("l…" for "left"), and a letter reaching past its advance lost its edge.
        const QString start = text().left(512);
        const QFontMetricsF metrics(font());
        const qreal ink = std::max({metrics.horizontalAdvance(start), metrics.boundingRect(start).right(),
                                    metrics.tightBoundingRect(start).right()});
        const QMargins margins = contentsMargins();
        return {int(std::ceil(ink)) + margins.left() + margins.right(),
                fontMetrics().height() + margins.top() + margins.bottom()};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }
};

} // namespace

QString DashboardDisplayPreviewCard::displayTitle(const DisplayRecord& display)
{
    // A saved name is used as it is, even an empty one.
    return display.localizedName.value_or(QStringLiteral("Display %1").arg(display.id));
}

QString DashboardDisplayPreviewCard::windowCountText(int count)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QStringLiteral("window") : QStringLiteral("windows"));
}

DashboardDisplayPreviewCard::DashboardDisplayPreviewCard(DashboardDisplayPreviewModel previewModel,
                                                         DashboardAppIdentityResolver& appIdentityResolver,
                                                         DashboardDisplayWindowList::RemoveWindow removeWindow,
                                                         DashboardDisplayWindowList::ReorderWindows reorderWindows,
                                                         QWidget* parent)
    : QWidget(parent), m_model(std::move(previewModel))
{
    const DashboardDisplayPreviewModel& model = m_model;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    auto* title = new DisplayTitle(this);
    title->setText(Style::singleLine(displayTitle(model.display)));
    title->setFont(Style::font(Style::TextStyle::subheadline, QFont::DemiBold));
    title->setObjectName(QStringLiteral("displayTitle"));
    // A long name gives way to the badge and the count rather than widening the card.
    title->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    titleLine->addWidget(title);
    if (model.display.isPrimary) {
        QLabel* badge = Style::badge(QStringLiteral("Primary"), Style::TextStyle::caption2, 6, 2, this);
        badge->setObjectName(QStringLiteral("primaryBadge"));
        titleLine->addWidget(badge);
    }
    titleLine->addSpacing(8);
    titleLine->addStretch(1);
    m_count = Style::label(windowCountText(static_cast<int>(model.windows.size())), Style::TextStyle::caption,
                           QFont::Normal, true);
    m_count->setObjectName(QStringLiteral("windowCount"));
    titleLine->addWidget(m_count);
    layout->addLayout(titleLine);

    m_canvas = new DashboardDisplayCanvas(model.display, model.windows, appIdentityResolver, this);
    layout->addWidget(m_canvas);

    m_list = new DashboardDisplayWindowList(model.id(), model.windows, appIdentityResolver, std::move(removeWindow),
                                            std::move(reorderWindows), this);
    m_list->setVisible(!model.windows.empty());
    layout->addWidget(m_list);
    layout->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void DashboardDisplayPreviewCard::setModel(const DashboardDisplayPreviewModel& model)
{
    m_model = model;
    m_count->setText(windowCountText(static_cast<int>(model.windows.size())));
    m_canvas->setWindows(model.display, model.windows);
    m_list->setWindows(model.windows);
    m_list->setVisible(!model.windows.empty());
}

void DashboardDisplayPreviewCard::setEditingEnabled(bool enabled)
{
    m_list->setEditingEnabled(enabled);
}

void DashboardDisplayPreviewCard::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 10, Style::underPageBackground(palette()));
}

} // namespace zen
