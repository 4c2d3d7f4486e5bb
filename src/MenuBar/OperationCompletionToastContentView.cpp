#include "MenuBar/OperationCompletionToastContentView.h"

#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/ToastTextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace zen {

OperationCompletionToastContentView::OperationCompletionToastContentView(QString summary,
                                                                         std::optional<QString> detail,
                                                                         std::function<void()> onDismiss,
                                                                         bool translucent, QWidget* parent)
    : ToastCardView(translucent, toastCornerRadius, parent)
    , m_summary(std::move(summary))
    , m_detail(std::move(detail))
    , m_onDismiss(std::move(onDismiss))
{
}

void OperationCompletionToastContentView::buildView()
{
    // The detail lists the windows the restore left alone: then it was not a plain success,
    // and a green check would say it was.
    m_icon = m_detail ? new OverlayGlyph(OverlayGlyph::Symbol::exclamationTriangle, 22, skippedTint, 24, this)
                      : new OverlayGlyph(OverlayGlyph::Symbol::checkmarkCircle, 22, restoredTint, 24, this);

    QFont title = font();
    title.setPixelSize(14);
    title.setWeight(QFont::DemiBold);
    m_summaryLabel = new ToastTextLabel(m_summary, title, primaryText(), 2, this);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addStretch(1);
    text->addWidget(m_summaryLabel);
    if (m_detail) {
        QFont small = font();
        small.setPixelSize(12);
        m_detailLabel = new ToastTextLabel(*m_detail, small, secondaryText(), 6, this);
        text->addWidget(m_detailLabel);
    }
    text->addStretch(1);

    auto* row = new QHBoxLayout(this);
    // The close button sits 10 inside the top-right corner; the text stops 10 before it.
    row->setContentsMargins(16, 14, 10 + 20 + 10, 14);
    row->setSpacing(12);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);

    setCornerButtons(m_onDismiss);
}

} // namespace zen
