#include "Onboarding/OnboardingContainerView.h"

#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/OnboardingStepViews.h"
#include "Permissions/PermissionCoordinator.h"
#include "Shared/AnimationPolicy.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace zen {

namespace {
constexpr int pagePadding = 32;
constexpr int permissionPageMaxWidth = 460;
} // namespace

OnboardingContainerView::OnboardingContainerView(OnboardingController* controller,
                                                 PermissionCoordinator* permissionCoordinator,
                                                 std::function<void()> openOrFocusDashboard,
                                                 const QString& programMenu, QWidget* parent)
    // A dialog, so that the window manager keeps it over the window it is shown for (the
    // dashboard, else the program's other windows) rather than under the first click there.
    : QWidget(parent, Qt::Dialog)
    , m_controller(controller)
    , m_permissionCoordinator(permissionCoordinator)
    , m_openOrFocusDashboard(std::move(openOrFocusDashboard))
    , m_programMenu(programMenu)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("onboarding"));
    resize(defaultSize);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setMinimumSize(minimumContentSize);
    // The keys are for the page's buttons: a scroll area first in the focus chain took them all
    // until Tab moved on.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    setWindowTitle(controller->windowTitle());
    connect(controller, &OnboardingController::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(controller, &OnboardingController::stepChanged, this, &OnboardingContainerView::showPage);
    connect(controller, &OnboardingController::showsPermissionSuccessChanged, this, [this](bool shows) {
        if (auto* education = qobject_cast<OnboardingPermissionEducationView*>(m_page))
            education->setShowsSuccess(shows);
        // Access lost again: the request's buttons are back, the default one ready for Return.
        if (QPushButton* button = defaultButton(); button && !button->hasFocus())
            button->setFocus(Qt::OtherFocusReason);
    });
    connect(controller, &OnboardingController::hasOpenedSystemSettingsChanged, this, [this](bool opened) {
        if (auto* education = qobject_cast<OnboardingPermissionEducationView*>(m_page))
            education->setHasOpenedSystemSettings(opened);
    });
    connect(controller, &OnboardingController::shouldCloseWindowChanged, this, [this](bool requested) {
        if (requested)
            carryOutCloseRequest();
    });
    connect(controller, &OnboardingController::shouldOpenDashboardChanged, this, [this](bool requested) {
        if (requested)
            carryOutOpenDashboardRequest();
    });
    if (permissionCoordinator)
        connect(permissionCoordinator, &PermissionCoordinator::authorizationStateChanged, this,
                [this](AccessibilityAuthorizationState state) {
                    if (m_controller && m_onScreen)
                        m_controller->handleAuthorizationState(state);
                });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && m_controller && m_onScreen)
            m_controller->applicationDidBecomeActive();
    });
    showPage();
}

void OnboardingContainerView::showPage()
{
    if (!m_controller)
        return;
    OnboardingController* controller = m_controller;
    // The controller republishes its step unchanged at times; the page on show stays.
    if (m_shownStep == controller->step())
        return;
    m_shownStep = controller->step();
    QWidget* page = nullptr;
    switch (controller->step()) {
    case OnboardingController::Step::welcome:
        page = new OnboardingWelcomeStep([controller] { controller->getStarted(); }, m_programMenu);
        break;
    case OnboardingController::Step::permission: {
        auto* education = new OnboardingPermissionEducationView(
            controller->showsPermissionSuccess(), controller->hasOpenedSystemSettings(),
            [controller] { controller->openAccessibilitySettings(); }, [controller] { controller->checkAgain(); });
        education->setMaximumWidth(permissionPageMaxWidth);
        page = education;
        break;
    }
    case OnboardingController::Step::authorizedReady:
        page = new OnboardingAuthorizedReadyStep([controller] { controller->openDashboardAndComplete(); },
                                                 [controller] { controller->finishWithoutDashboard(); }, m_programMenu);
        break;
    case OnboardingController::Step::ready:
        page = new OnboardingReadyStep([controller] { controller->openDashboardAndComplete(); },
                                       [controller] { controller->finishWithoutDashboard(); });
        break;
    }

    // The page, padded, at least as tall as the window's content area; taller pages scroll.
    auto* holder = new QWidget;
    holder->setMinimumHeight(minimumContentSize.height());
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    if (controller->step() == OnboardingController::Step::permission) {
        auto* column = new QVBoxLayout;
        column->addStretch(1);
        column->addWidget(page);
        column->addStretch(1);
        layout->addLayout(column, 1);
        layout->addStretch(0);
    } else {
        layout->addWidget(page);
    }
    m_page = page;
    stopStepTransition();
    QWidget* previous = m_scroll->takeWidget();
    delete previous;
    m_scroll->setWidget(holder);
    // As in a dialog: Return presses the button that has the focus, the default one when each
    // page opens.
    for (QPushButton* button : page->findChildren<QPushButton*>())
        button->setAutoDefault(true);
    if (QPushButton* button = defaultButton())
        button->setFocus(Qt::OtherFocusReason);
    // The first page simply appears with the window; later ones fade in.
    if (previous)
        animateStepChange(holder);
}

QPushButton* OnboardingContainerView::defaultButton() const
{
    if (!m_page)
        return nullptr;
    for (QPushButton* button : m_page->findChildren<QPushButton*>())
        if (button->isDefault() && button->isVisibleTo(m_page) && button->isEnabled())
            return button;
    return nullptr;
}

void OnboardingContainerView::keyPressEvent(QKeyEvent* event)
{
    // Keys a focused button did not take, as a dialog answers them.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (QPushButton* button = defaultButton()) {
                button->click();
                return;
            }
            break;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

QAbstractAnimation* OnboardingContainerView::stepTransition() const
{
    return m_stepTransition;
}

void OnboardingContainerView::animateStepChange(QWidget* holder)
{
    if (!isVisible() || !animationsEnabled())
        return;
    QPropertyAnimation* animation = makeFadeIn(holder, stepTransitionMs, this);
    // Drawn through the effect only while it fades: afterwards the page paints directly again.
    connect(animation, &QAbstractAnimation::finished, this, [this] { stopStepTransition(); });
    m_stepTransition = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void OnboardingContainerView::stopStepTransition()
{
    if (QPropertyAnimation* running = m_stepTransition.data()) {
        m_stepTransition.clear();
        running->stop();
    }
    if (QWidget* holder = m_scroll->widget())
        holder->setGraphicsEffect(nullptr);
}

void OnboardingContainerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || m_onScreen)
        return;
    m_onScreen = true;
    const quint64 appearance = ++m_appearance;
    // After one turn of the event loop, and only if the window is still the one that appeared.
    QTimer::singleShot(0, this, [this, appearance] {
        if (m_onScreen && appearance == m_appearance && m_controller)
            m_controller->reconcileCurrentAuthorizationState();
    });
}

void OnboardingContainerView::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (!event->isAccepted() || !m_onScreen)
        return;
    m_onScreen = false;
    ++m_appearance;
    if (m_controller)
        m_controller->windowWillClose();
}

void OnboardingContainerView::carryOutCloseRequest()
{
    // A window that closes as it asks for the dashboard must not lose that request.
    if (m_controller && m_controller->shouldOpenDashboard())
        carryOutOpenDashboardRequest();
    close();
    if (m_controller)
        m_controller->consumeWindowCloseRequest();
}

void OnboardingContainerView::carryOutOpenDashboardRequest()
{
    if (!m_controller || !m_controller->shouldOpenDashboard())
        return;
    if (m_openOrFocusDashboard)
        m_openOrFocusDashboard();
    m_controller->consumeOpenDashboardRequest();
}

} // namespace zen
