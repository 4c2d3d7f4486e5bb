#include "Onboarding/OnboardingStepViews.h"

#include "MenuBar/MenuText.h"
#include "Onboarding/OnboardingStrings.h"
#include "Onboarding/SymbolImage.h"
#include "Onboarding/TextStyle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zen {

namespace {

constexpr int itemSpacing = 18;
constexpr int welcomeMaxWidth = 420;
constexpr int readyMaxWidth = 430;
constexpr int iconSize = 82;

QLabel* centredLabel(const QString& text, TextStyle::Role role, QFont::Weight weight, QWidget* parent)
{
    auto* label = TextStyle::plainLabel(text, parent, true);
    label->setAlignment(Qt::AlignHCenter);
    TextStyle::apply(label, role, weight);
    return label;
}

QLabel* titleLabel(const QString& text, QWidget* parent)
{
    return centredLabel(text, TextStyle::Role::largeTitle, QFont::DemiBold, parent);
}

QLabel* bodyLabel(const QString& text, QWidget* parent)
{
    auto* label = centredLabel(text, TextStyle::Role::title3, QFont::Normal, parent);
    TextStyle::applyColor(label, TextStyle::Emphasis::secondary);
    return label;
}

QPushButton* largeButton(const QString& title, bool prominent, std::function<void()> action, QWidget* parent)
{
    auto* button = new QPushButton(menuText(title), parent);
    button->setMinimumHeight(32);
    if (prominent) {
        button->setDefault(true);
        TextStyle::applyProminent(button);
    }
    QObject::connect(button, &QPushButton::clicked, button, [action = std::move(action)] {
        if (action)
            action();
    });
    return button;
}

// A centred column no wider than `maxWidth`, centred in whatever space the window gives.
QVBoxLayout* pageColumn(QWidget* page, int maxWidth)
{
    auto* column = new QWidget(page);
    column->setMaximumWidth(maxWidth);
    auto* inner = new QVBoxLayout(column);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(itemSpacing);

    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(column, 100);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
    return inner;
}

// Both ready pages: a symbol, a title, a body and the finishing buttons.
OnboardingCompletionButtons* fillReadyPage(QWidget* page, const QString& symbol, int symbolSize, const QColor& tint,
                                           const QString& symbolName, const QString& title, const QString& body,
                                           std::function<void()> onOpenDashboard, std::function<void()> onDone)
{
    auto* column = pageColumn(page, readyMaxWidth);
    auto* image = new SymbolLabel(symbol, symbolSize, tint, page);
    image->setAccessibleName(symbolName);
    column->addWidget(image, 0, Qt::AlignHCenter);
    column->addWidget(titleLabel(title, page));
    column->addWidget(bodyLabel(body, page));
    auto* buttons = new OnboardingCompletionButtons(QStringLiteral("Open Dashboard"), std::move(onOpenDashboard),
                                                    QStringLiteral("Done"), std::move(onDone), page);
    column->addWidget(buttons, 0, Qt::AlignHCenter);
    return buttons;
}

} // namespace

OnboardingCompletionButtons::OnboardingCompletionButtons(const QString& primaryTitle, std::function<void()> onPrimary,
                                                         const QString& secondaryTitle,
                                                         std::function<void()> onSecondary, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(10);
    m_secondary = largeButton(secondaryTitle, false, std::move(onSecondary), this);
    m_primary = largeButton(primaryTitle, true, std::move(onPrimary), this);
    layout->addWidget(m_secondary);
    layout->addWidget(m_primary);
}

OnboardingWelcomeStep::OnboardingWelcomeStep(std::function<void()> onGetStarted, const QString& programMenu,
                                             QWidget* parent)
    : QWidget(parent)
{
    auto* column = pageColumn(this, welcomeMaxWidth);

    // The program's icon, or an empty square of the same size where there is none.
    auto* icon = new QLabel(this);
    icon->setFixedSize(iconSize, iconSize);
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        icon->setPixmap(appIcon.pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    column->addWidget(icon, 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(centredLabel(OnboardingStrings::welcomeTitle(), TextStyle::Role::largeTitle, QFont::DemiBold, this));
    texts->addWidget(bodyLabel(OnboardingStrings::welcomeBody(programMenu), this));
    column->addLayout(texts);

    m_getStarted = largeButton(QStringLiteral("Get Started"), true, std::move(onGetStarted), this);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 4, 0, 0);
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_getStarted);
    buttonRow->addStretch(1);
    column->addLayout(buttonRow);
}

OnboardingAuthorizedReadyStep::OnboardingAuthorizedReadyStep(std::function<void()> onOpenDashboard,
                                                             std::function<void()> onDone,
                                                             const QString& programMenu, QWidget* parent)
    : QWidget(parent)
{
    m_buttons = fillReadyPage(this, QStringLiteral("checkmark.circle.fill"), 48, QColor(52, 168, 83),
                              QStringLiteral("Zentharion is ready"), QStringLiteral("Zentharion is ready."),
                              OnboardingStrings::authorizedReadyBody(programMenu), std::move(onOpenDashboard), std::move(onDone));
}

OnboardingReadyStep::OnboardingReadyStep(std::function<void()> onOpenDashboard, std::function<void()> onDone,
                                         QWidget* parent)
    : QWidget(parent)
{
    m_buttons = fillReadyPage(this, QStringLiteral("rectangle.3.group.bubble.left.fill"), 46, QColor(0, 122, 255),
                              QString(), OnboardingStrings::readyTitle(), OnboardingStrings::readyBody(),
                              std::move(onOpenDashboard), std::move(onDone));
}

} // namespace zen
