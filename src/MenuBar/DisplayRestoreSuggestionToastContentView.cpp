#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"

#include "MenuBar/OverlayButtonStyle.h"
#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/ToastTextLabel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

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

std::pair<ToastTextLabel*, ToastTextLabel*> DisplayRestoreSuggestionToastContentView::buildFace(ToastCardView* card,
                                                                                                const QString& line)
{
    auto* icon = new OverlayGlyph(OverlayGlyph::Symbol::twoDisplays, 22, QColor(10, 132, 255), 24, card);
    QFont titleFont = card->font();
    titleFont.setPixelSize(14);
    titleFont.setWeight(QFont::DemiBold);
    auto* titleLabel = new ToastTextLabel(title, titleFont, primaryText(), 1, card);
    QFont small = card->font();
    small.setPixelSize(12);
    auto* lineLabel = new ToastTextLabel(line, small, secondaryText(), 1, card);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(titleLabel);
    text->addWidget(lineLabel);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
    // Room on the right for the close button.
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(16, 16, 10 + 20 + 10, 14);
    column->addLayout(row);
    column->addStretch(1);
    return {titleLabel, lineLabel};
}

void DisplayRestoreSuggestionToastContentView::buildView()
{
    std::tie(m_titleLabel, m_questionLabel) = buildFace(this, question(m_snapshotName));

    m_restoreButton = new QPushButton(QStringLiteral("Restore"), this);
    m_restoreButton->setDefault(true);
    m_restoreButton->setFocusPolicy(Qt::NoFocus);
    m_restoreButton->setStyleSheet(OverlayButtonStyle::pushButton(true));
    m_restoreButton->setMinimumWidth(84);
    m_restoreButton->resize(std::max(84, m_restoreButton->sizeHint().width()), m_restoreButton->sizeHint().height());
    connect(m_restoreButton, &QPushButton::clicked, this, &DisplayRestoreSuggestionToastContentView::restoreLayout);
    setCornerButtons(m_onDismiss, m_restoreButton);
}

void DisplayRestoreSuggestionToastContentView::restoreLayout()
{
    if (m_onRestore)
        m_onRestore();
}

} // namespace zen
