#include "Dashboard/DashboardWindowRemovalConfirmationView.h"

#include "Dashboard/DashboardPreviewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

namespace {

constexpr int sheetWidth = 430;
constexpr int iconSize = 32;

QPixmap roundedIcon(const QIcon& icon, qreal devicePixelRatio)
{
    QPixmap source = icon.pixmap(QSize(iconSize, iconSize), devicePixelRatio);
    QPixmap rounded(QSize(iconSize, iconSize) * devicePixelRatio);
    rounded.setDevicePixelRatio(devicePixelRatio);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, iconSize, iconSize), 6, 6);
    painter.setClipPath(clip);
    painter.drawPixmap(QRect(0, 0, iconSize, iconSize), source);
    return rounded;
}

} // namespace

DashboardWindowRemovalConfirmationView::DashboardWindowRemovalConfirmationView(
    const DashboardWindowRemovalConfirmation& confirmation, std::function<void()> cancel, std::function<void()> remove,
    QWidget* parent)
    : QDialog(parent)
    , m_onCancel(std::move(cancel))
    , m_onRemove(std::move(remove))
    , m_fullTitle(confirmation.windowDisplayTitle())
{
    setWindowTitle(QStringLiteral("Remove Window from Layout?"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(18);
    // The dialog takes its layout's size (no maximize for it): the strut keeps the width the
    // message and the window manager's title need.
    column->addStrut(sheetWidth - 2 * 22);

    auto* headline = plainLabel(QStringLiteral("Remove Window from Layout?"), this);
    QFont headlineFont = headline->font();
    headlineFont.setBold(true);
    headline->setFont(headlineFont);
    column->addWidget(headline);

    auto* windowLine = new QHBoxLayout;
    windowLine->setSpacing(12);
    auto* icon = new QLabel(this);
    icon->setFixedSize(iconSize, iconSize);
    icon->setPixmap(roundedIcon(confirmation.appIdentity.icon, devicePixelRatioF()));
    windowLine->addWidget(icon);
    auto* names = new QVBoxLayout;
    names->setSpacing(3);
    m_appName = plainLabel(confirmation.appName(), this);
    QFont appFont = m_appName->font();
    appFont.setWeight(QFont::DemiBold);
    m_appName->setFont(appFont);
    names->addWidget(m_appName);
    m_windowTitle = plainLabel(m_fullTitle, this);
    QFont caption = m_windowTitle->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_windowTitle->setFont(caption);
    m_windowTitle->setForegroundRole(QPalette::PlaceholderText);
    m_windowTitle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    names->addWidget(m_windowTitle);
    windowLine->addLayout(names, 1);
    column->addLayout(windowLine);
    // One accessible element: the application and the window together.
    const QString accessible = confirmation.appName() + QStringLiteral(", ") + m_fullTitle;
    icon->setAccessibleName(accessible);
    m_appName->setAccessibleName(accessible);

    m_message = plainLabel(confirmation.message(), this);
    m_message->setWordWrap(true);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(m_message);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_remove = new QPushButton(QStringLiteral("Remove"), this);
    // Destructive: Return must not remove the window by accident.
    m_remove->setAutoDefault(false);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_remove);
    column->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, &DashboardWindowRemovalConfirmationView::reject);
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (m_onRemove)
            m_onRemove();
    });
    elideTitle();
}

void DashboardWindowRemovalConfirmationView::reject()
{
    // Escape and the window's close button land here too.
    if (m_onCancel)
        m_onCancel();
}

void DashboardWindowRemovalConfirmationView::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    elideTitle();
}

void DashboardWindowRemovalConfirmationView::elideTitle()
{
    const int available = std::max(m_windowTitle->width(), sheetWidth - 2 * 22 - iconSize - 12);
    m_windowTitle->setText(m_windowTitle->fontMetrics().elidedText(m_fullTitle, Qt::ElideRight, available));
}

} // namespace zen
