#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"

#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/MenuText.h"
#include "MenuBar/OverlayButtonStyle.h"
#include "MenuBar/ToastTextLabel.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include <tuple>

namespace zen {

const QString DisplayRestoreSuggestionChooserToastContentView::explanation =
    QStringLiteral("Multiple saved layouts match this display setup.");
const QString DisplayRestoreSuggestionChooserToastContentView::moreLayoutsTitle = QStringLiteral("More Layouts…");

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
    std::tie(m_titleLabel, m_explanationLabel) = DisplayRestoreSuggestionToastContentView::buildFace(this, explanation);

    m_chooseButton = new QPushButton(QStringLiteral("Choose Layout"), this);
    m_chooseButton->setFocusPolicy(Qt::NoFocus);
    m_chooseButton->setAutoDefault(false);
    m_chooseButton->setStyleSheet(OverlayButtonStyle::pushButton(false));
    m_chooseButton->resize(m_chooseButton->sizeHint());
    connect(m_chooseButton, &QPushButton::clicked, this, &DisplayRestoreSuggestionChooserToastContentView::chooseLayout);
    setCornerButtons(m_onDismiss, m_chooseButton);
}

QMenu* DisplayRestoreSuggestionChooserToastContentView::makeLayoutMenu()
{
    auto* menu = new QMenu;
    const bool capped = m_openDashboard && m_options.size() > size_t(listedLayoutCount);
    const size_t listed = capped ? size_t(listedLayoutCount) : m_options.size();
    for (size_t i = 0; i < listed; ++i) {
        QAction* item = menu->addAction(menuText(m_options[i].snapshotName));
        item->setData(QVariant::fromValue(m_options[i].snapshotID));
        connect(item, &QAction::triggered, this, [this, item] { restoreLayout(item); });
    }
    if (capped) {
        menu->addSeparator();
        // The offer stays on screen while the user looks through the dashboard.
        connect(menu->addAction(moreLayoutsTitle), &QAction::triggered, this, [open = m_openDashboard] { open(); });
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

} // namespace zen
