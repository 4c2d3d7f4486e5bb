#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"

#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/MenuText.h"
#include "MenuBar/OperationToastCloseButton.h"
#include "MenuBar/OverlayButtonStyle.h"
#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/ToastTextLabel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

const QString DisplayRestoreSuggestionChooserToastContentView::explanation =
    QStringLiteral("Multiple saved layouts match this display setup.");

DisplayRestoreSuggestionChooserToastContentView::DisplayRestoreSuggestionChooserToastContentView(
    std::vector<DisplayRestoreSuggestionOption> options, std::function<void(const QUuid&)> onRestore,
    std::function<void()> onDismiss, bool translucent, QWidget* parent)
    : ToastCardView(translucent, toastCornerRadius, parent)
    , m_options(std::move(options))
    , m_onRestore(std::move(onRestore))
    , m_onDismiss(std::move(onDismiss))
{
}

void DisplayRestoreSuggestionChooserToastContentView::buildView()
{
    auto* icon = new OverlayGlyph(OverlayGlyph::Symbol::twoDisplays, 22, QColor(10, 132, 255), 24, this);
    QFont titleFont = font();
    titleFont.setPixelSize(14);
    titleFont.setWeight(QFont::DemiBold);
    m_titleLabel =
        new ToastTextLabel(DisplayRestoreSuggestionToastContentView::title, titleFont, primaryText(), 1, this);
    QFont small = font();
    small.setPixelSize(12);
    m_explanationLabel = new ToastTextLabel(explanation, small, secondaryText(), 1, this);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(m_titleLabel);
    text->addWidget(m_explanationLabel);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 10 + 20 + 10, 14);
    column->addLayout(row);
    column->addStretch(1);

    m_chooseButton = new QPushButton(QStringLiteral("Choose Layout"), this);
    m_chooseButton->setFocusPolicy(Qt::NoFocus);
    m_chooseButton->setAutoDefault(false);
    m_chooseButton->setStyleSheet(OverlayButtonStyle::pushButton(false));
    m_chooseButton->resize(m_chooseButton->sizeHint());
    connect(m_chooseButton, &QPushButton::clicked, this, &DisplayRestoreSuggestionChooserToastContentView::chooseLayout);

    m_closeButton = new OperationToastCloseButton(this);
    connect(m_closeButton, &QAbstractButton::clicked, this,
            &DisplayRestoreSuggestionChooserToastContentView::dismiss);
}

QMenu* DisplayRestoreSuggestionChooserToastContentView::makeLayoutMenu()
{
    auto* menu = new QMenu;
    for (const auto& option : m_options) {
        QAction* item = menu->addAction(menuText(option.snapshotName));
        item->setData(QVariant::fromValue(option.snapshotID));
        connect(item, &QAction::triggered, this, [this, item] { restoreLayout(item); });
    }
    return menu;
}

void DisplayRestoreSuggestionChooserToastContentView::chooseLayout()
{
    QMenu* menu = makeLayoutMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Dropped with the chooser if it goes away while the menu is open.
    connect(this, &QObject::destroyed, menu, &QObject::deleteLater);
    menu->popup(m_chooseButton->mapToGlobal(QPoint(0, m_chooseButton->height() + 4)));
}

void DisplayRestoreSuggestionChooserToastContentView::restoreLayout(QAction* item)
{
    if (!item)
        return;
    const QVariant data = item->data();
    if (!data.canConvert<QUuid>() || data.metaType() != QMetaType::fromType<QUuid>())
        return;
    if (m_onRestore)
        m_onRestore(data.value<QUuid>());
}

void DisplayRestoreSuggestionChooserToastContentView::dismiss()
{
    if (m_onDismiss)
        m_onDismiss();
}

void DisplayRestoreSuggestionChooserToastContentView::resizeEvent(QResizeEvent* event)
{
    ToastCardView::resizeEvent(event);
    if (m_closeButton)
        m_closeButton->move(width() - 10 - m_closeButton->width(), 10);
    if (m_chooseButton)
        m_chooseButton->move(width() - 16 - m_chooseButton->width(), height() - 14 - m_chooseButton->height());
}

} // namespace zen
