#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"

#include "MenuBar/OperationToastCloseButton.h"
#include "MenuBar/OverlayButtonStyle.h"
#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/ToastTextLabel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

const QString DisplayRestoreSuggestionToastContentView::title = QStringLiteral("Display changed");

QString DisplayRestoreSuggestionToastContentView::question(const QString& snapshotName)
{
    return QStringLiteral("Restore \"%1\"?").arg(snapshotName);
}

DisplayRestoreSuggestionToastContentView::DisplayRestoreSuggestionToastContentView(
    QString snapshotName, std::function<void()> onRestore, std::function<void()> onDismiss, bool translucent,
    QWidget* parent)
    : ToastCardView(translucent, toastCornerRadius, parent)
    , m_snapshotName(std::move(snapshotName))
    , m_onRestore(std::move(onRestore))
    , m_onDismiss(std::move(onDismiss))
{
}

void DisplayRestoreSuggestionToastContentView::buildView()
{
    auto* icon = new OverlayGlyph(OverlayGlyph::Symbol::twoDisplays, 22, QColor(10, 132, 255), 24, this);
    QFont titleFont = font();
    titleFont.setPixelSize(14);
    titleFont.setWeight(QFont::DemiBold);
    m_titleLabel = new ToastTextLabel(title, titleFont, primaryText(), 1, this);
    QFont small = font();
    small.setPixelSize(12);
    m_questionLabel = new ToastTextLabel(question(m_snapshotName), small, secondaryText(), 1, this);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(m_titleLabel);
    text->addWidget(m_questionLabel);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 10 + 20 + 10, 14);
    column->addLayout(row);
    column->addStretch(1);

    m_restoreButton = new QPushButton(QStringLiteral("Restore"), this);
    m_restoreButton->setDefault(true);
    m_restoreButton->setFocusPolicy(Qt::NoFocus);
    m_restoreButton->setStyleSheet(OverlayButtonStyle::pushButton(true));
    m_restoreButton->setMinimumWidth(84);
    m_restoreButton->resize(std::max(84, m_restoreButton->sizeHint().width()), m_restoreButton->sizeHint().height());
    connect(m_restoreButton, &QPushButton::clicked, this, &DisplayRestoreSuggestionToastContentView::restoreLayout);

    m_closeButton = new OperationToastCloseButton(this);
    connect(m_closeButton, &QAbstractButton::clicked, this, &DisplayRestoreSuggestionToastContentView::dismiss);
}

void DisplayRestoreSuggestionToastContentView::restoreLayout()
{
    if (m_onRestore)
        m_onRestore();
}

void DisplayRestoreSuggestionToastContentView::dismiss()
{
    if (m_onDismiss)
        m_onDismiss();
}

void DisplayRestoreSuggestionToastContentView::resizeEvent(QResizeEvent* event)
{
    ToastCardView::resizeEvent(event);
    if (m_closeButton)
        m_closeButton->move(width() - 10 - m_closeButton->width(), 10);
    if (m_restoreButton)
        m_restoreButton->move(width() - 16 - m_restoreButton->width(), height() - 14 - m_restoreButton->height());
}

} // namespace zen
