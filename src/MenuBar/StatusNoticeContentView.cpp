#include "MenuBar/StatusNoticeContentView.h"

#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/ToastTextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace zen {

StatusNoticeContentView::StatusNoticeContentView(QString message, bool translucent, QWidget* parent)
    : ToastCardView(translucent, toastCornerRadius, parent), m_message(std::move(message))
{
}

void StatusNoticeContentView::buildView()
{
    m_icon = new OverlayGlyph(OverlayGlyph::Symbol::raisedHand, 20, QColor(255, 159, 10), 24, this);
    QFont medium = font();
    medium.setPixelSize(13);
    medium.setWeight(QFont::Medium);
    m_label = new ToastTextLabel(m_message, medium, primaryText(), 3, this);

    auto* text = new QVBoxLayout;
    text->addStretch(1);
    text->addWidget(m_label);
    text->addStretch(1);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 14, 16, 14);
    row->setSpacing(12);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
}

} // namespace zen
