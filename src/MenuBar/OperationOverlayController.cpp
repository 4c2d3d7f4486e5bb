#include "MenuBar/OperationOverlayController.h"

#include "MenuBar/DisplayRestoreSuggestionChooserToastContentView.h"
#include "MenuBar/DisplayRestoreSuggestionChooserToastWindow.h"
#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/DisplayRestoreSuggestionToastWindow.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/OperationCompletionToastWindow.h"
#include "MenuBar/OperationOverlayContentView.h"
#include "MenuBar/OperationOverlayWindow.h"
#include "MenuBar/StatusNoticeContentView.h"
#include "MenuBar/StatusNoticeWindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace zen {

namespace {

using namespace std::chrono_literals;

constexpr int toastMaximumWidth = 460;
constexpr int toastTopInset = 28;
constexpr int toastSideMargin = 48;
constexpr int completionHeightWithoutDetail = 76;

std::vector<OperationOverlayController::Screen> liveScreens()
{
    std::vector<OperationOverlayController::Screen> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens.push_back({screen->geometry(), screen->availableGeometry()});
    return screens;
}

std::optional<OperationOverlayController::Screen> livePrimaryScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return OperationOverlayController::Screen{screen->geometry(), screen->availableGeometry()};
}

} // namespace

OperationOverlayController::OperationOverlayController(QObject* parent)
    : OperationOverlayController(Durations{}, PresentationBarrier{}, Environment{}, parent)
{
}

OperationOverlayController::OperationOverlayController(Durations durations, PresentationBarrier presentationBarrier,
                                                       Environment environment, QObject* parent)
    : QObject(parent)
    , m_durations(durations)
    , m_presentationBarrier(std::move(presentationBarrier))
    , m_environment(std::move(environment))
{
    auto& e = m_environment;
    if (!e.screens)
        e.screens = liveScreens;
    if (!e.mainScreen)
        e.mainScreen = livePrimaryScreen;
    if (!e.pointerLocation)
        e.pointerLocation = [] { return QCursor::pos(); };
    if (!e.scheduler)
        e.scheduler = std::make_shared<QtOperationScheduler>();
    if (!e.monotonicClock)
        e.monotonicClock = [] { return std::chrono::steady_clock::now().time_since_epoch(); };
    if (!m_presentationBarrier) {
        m_presentationBarrier = [scheduler = e.scheduler](std::function<void()> done) {
            auto wait = [scheduler, done = std::move(done)] { scheduler->runAfter(50ms, done); };
            if (auto* application = QCoreApplication::instance())
                QMetaObject::invokeMethod(application, std::move(wait), Qt::QueuedConnection);
            else
                wait();
        };
    }
}

OperationOverlayController::~OperationOverlayController()
{
    // Nothing of ours may stay on screen without someone to take it down.
    for (const auto& panel : m_overlayWindows)
        if (panel)
            panel->orderOut();
    if (m_statusNoticeWindow)
        m_statusNoticeWindow->orderOut();
    if (m_displayRestoreSuggestionWindow)
        m_displayRestoreSuggestionWindow->orderOut();
}

std::chrono::nanoseconds OperationOverlayController::now() const
{
    return m_environment.monotonicClock();
}

std::chrono::nanoseconds OperationOverlayController::seconds(double value)
{
    if (!std::isfinite(value) || value <= 0)
        return 0ns;
    // A day is far beyond any delay here; larger values would overflow the timer's count.
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::min(value, 86400.0) * 1e9));
}

bool OperationOverlayController::isCompositing() const
{
    return m_environment.isCompositing && m_environment.isCompositing();
}

int OperationOverlayController::detailLineCount(const QString& detail)
{
    return static_cast<int>(detail.count(QLatin1Char('\n'))) + 1;
}

QRect OperationOverlayController::toastGeometry(PanelKind kind, const QRect& visibleFrame,
                                                std::optional<int> detailLineCount)
{
    int minimumWidth = 320;
    int height = 112;
    switch (kind) {
    case PanelKind::progressOverlay:
        // Not a toast: it covers its monitor, or centres its card there.
        return visibleFrame;
    case PanelKind::completionToast:
        minimumWidth = 280;
        height = detailLineCount ? 82 + 18 * *detailLineCount : completionHeightWithoutDetail;
        // Capped to the monitor, but never below the toast's own height without detail: a
        // very low usable area would otherwise leave no room for the summary at all.
        height = std::max(std::min(height, visibleFrame.height() - toastSideMargin), completionHeightWithoutDetail);
        break;
    case PanelKind::statusNotice:
        minimumWidth = 300;
        height = 78;
        break;
    case PanelKind::suggestionToast:
    case PanelKind::suggestionChooser:
        break;
    }
    const int width = std::min(std::max(visibleFrame.width() - toastSideMargin, minimumWidth), toastMaximumWidth);
    const int x = visibleFrame.x() + static_cast<int>(std::lround((visibleFrame.width() - width) / 2.0));
    return QRect(x, visibleFrame.y() + toastTopInset, width, height);
}

FloatingFeedbackPanel* OperationOverlayController::makePanel(PanelKind kind, bool translucent) const
{
    FloatingFeedbackPanel::Appearance appearance;
    appearance.translucent = translucent;
    appearance.animatesFades = translucent;
    appearance.cornerRadius = 14;
    switch (kind) {
    case PanelKind::progressOverlay:
        appearance.acceptsMouse = false;
        appearance.cornerRadius = 16;
        return new OperationOverlayWindow(appearance);
    case PanelKind::completionToast:
        return new OperationCompletionToastWindow(appearance);
    case PanelKind::statusNotice:
        appearance.acceptsMouse = false;
        return new StatusNoticeWindow(appearance);
    case PanelKind::suggestionToast:
        return new DisplayRestoreSuggestionToastWindow(appearance);
    case PanelKind::suggestionChooser:
        return new DisplayRestoreSuggestionChooserToastWindow(appearance);
    }
    return nullptr;
}

void OperationOverlayController::fadeIn(const std::vector<QPointer<FloatingFeedbackPanel>>& panels)
{
    for (const auto& panel : panels)
        if (panel)
            panel->orderFront(0);
    for (const auto& panel : panels)
        if (panel)
            panel->fadeTo(1, m_durations.fadeInDuration, true);
}

void OperationOverlayController::fadeOut(const std::vector<QPointer<FloatingFeedbackPanel>>& panels,
                                         std::function<void()> done)
{
    for (const auto& panel : panels)
        if (panel)
            panel->fadeTo(0, m_durations.fadeOutDuration, false);
    QPointer<OperationOverlayController> self(this);
    m_environment.scheduler->runAfter(seconds(m_durations.fadeOutDuration), [self, done = std::move(done)] {
        if (self && done)
            done();
    });
}

void OperationOverlayController::closeOverlayWindows()
{
    for (const auto& panel : m_overlayWindows)
        if (panel)
            panel->orderOut();
    m_overlayWindows.clear();
    m_shownAt.reset();
}

void OperationOverlayController::dropSuggestionAtOnce()
{
    if (m_displayRestoreSuggestionWindow)
        m_displayRestoreSuggestionWindow->orderOut();
    m_displayRestoreSuggestionWindow = nullptr;
}

void OperationOverlayController::showOverlay(OperationOverlayKind kind, std::function<void()> onShown)
{
    ++m_generation;
    closeOverlayWindows();
    dropSuggestionAtOnce();
    const long generation = m_generation;

    // Without a compositing manager a window cannot be seen through: a monitor-sized panel
    // would blank the whole monitor. Then each monitor gets the card alone.
    const bool compositing = isCompositing();
    for (const Screen& screen : m_environment.screens()) {
        FloatingFeedbackPanel* panel = makePanel(PanelKind::progressOverlay, compositing);
        auto* content = new OperationOverlayContentView(operationOverlayMessage(kind), compositing, compositing);
        content->buildView();
        panel->setContentView(content);
        QRect geometry = screen.frame;
        if (!compositing) {
            const QSize card = content->sizeHint().expandedTo(QSize(190, 112));
            geometry = QRect(QPoint(0, 0), card);
            geometry.moveCenter(screen.frame.center());
        }
        panel->setGeometry(geometry);
        m_overlayWindows.emplace_back(panel);
    }
    fadeIn(m_overlayWindows);

    QPointer<OperationOverlayController> self(this);
    m_presentationBarrier([self, generation, onShown = std::move(onShown)] {
        if (self && self->m_generation == generation && !self->m_overlayWindows.empty())
            self->m_shownAt = self->now();
        // The caller's work waits for this call, also when the overlay was overtaken.
        if (onShown)
            onShown();
    });
}

void OperationOverlayController::hideOverlay()
{
    if (m_overlayWindows.empty())
        return;
    const long generation = m_generation;
    const auto minimum = seconds(m_durations.minimumVisibleDuration);
    const auto elapsed = m_shownAt ? now() - *m_shownAt : minimum;
    const auto delay = std::max(minimum - elapsed, std::chrono::nanoseconds(0));
    QPointer<OperationOverlayController> self(this);
    m_environment.scheduler->runAfter(delay, [self, generation] {
        if (self && self->m_generation == generation)
            self->fadeOutAndCloseOverlayWindows();
    });
}

void OperationOverlayController::fadeOutAndCloseOverlayWindows()
{
    if (m_overlayWindows.empty())
        return;
    const auto captured = m_overlayWindows;
    fadeOut(captured, [this, captured] {
        for (const auto& panel : captured)
            if (panel)
                panel->orderOut();
        // Panels that a newer showing put up meanwhile stay.
        std::erase_if(m_overlayWindows, [&](const QPointer<FloatingFeedbackPanel>& panel) {
            return !panel || std::find(captured.begin(), captured.end(), panel) != captured.end();
        });
        if (m_overlayWindows.empty())
            m_shownAt.reset();
    });
}

void OperationOverlayController::showRestoreCompletion(const QString& summary, const std::optional<QString>& detail)
{
    ++m_generation;
    closeOverlayWindows();
    dropSuggestionAtOnce();

    const bool compositing = isCompositing();
    QPointer<OperationOverlayController> self(this);
    const auto lines = detail ? std::optional<int>(detailLineCount(*detail)) : std::nullopt;
    for (const Screen& screen : m_environment.screens()) {
        FloatingFeedbackPanel* panel = makePanel(PanelKind::completionToast, compositing);
        auto* content = new OperationCompletionToastContentView(
            summary, detail,
            [self] {
                // One close button closes the toasts of every monitor and voids the timeout.
                if (!self)
                    return;
                ++self->m_generation;
                self->fadeOutAndCloseOverlayWindows();
            },
            compositing);
        content->buildView();
        panel->setContentView(content);
        panel->setGeometry(toastGeometry(PanelKind::completionToast, screen.visibleFrame, lines));
        m_overlayWindows.emplace_back(panel);
    }
    m_shownAt = now();
    fadeIn(m_overlayWindows);

    const long generation = m_generation;
    m_environment.scheduler->runAfter(seconds(m_durations.completionVisibleDuration), [self, generation] {
        if (self && self->m_generation == generation)
            self->fadeOutAndCloseOverlayWindows();
    });
}

std::optional<OperationOverlayController::Screen> OperationOverlayController::screenContainingMousePointer() const
{
    const QPoint pointer = m_environment.pointerLocation();
    for (const Screen& screen : m_environment.screens())
        if (screen.frame.contains(pointer))
            return screen;
    return m_environment.mainScreen();
}

void OperationOverlayController::showStatusNotice(const QString& message, double duration)
{
    ++m_statusNoticeGeneration;
    if (m_statusNoticeWindow)
        m_statusNoticeWindow->orderOut();
    m_statusNoticeWindow = nullptr;

    const auto screen = screenContainingMousePointer();
    if (!screen)
        return;
    const bool compositing = isCompositing();
    FloatingFeedbackPanel* panel = makePanel(PanelKind::statusNotice, compositing);
    auto* content = new StatusNoticeContentView(message, compositing);
    content->buildView();
    panel->setContentView(content);
    panel->setGeometry(toastGeometry(PanelKind::statusNotice, screen->visibleFrame));
    m_statusNoticeWindow = panel;
    fadeIn({m_statusNoticeWindow});

    const long generation = m_statusNoticeGeneration;
    QPointer<OperationOverlayController> self(this);
    m_environment.scheduler->runAfter(seconds(duration), [self, generation] {
        if (self && self->m_statusNoticeGeneration == generation)
            self->fadeOutAndCloseStatusNoticeWindow();
    });
}

void OperationOverlayController::hideStatusNotice()
{
    ++m_statusNoticeGeneration;
    fadeOutAndCloseStatusNoticeWindow();
}

void OperationOverlayController::fadeOutAndCloseStatusNoticeWindow()
{
    fadeOutAndCloseSingle(&OperationOverlayController::m_statusNoticeWindow);
}

void OperationOverlayController::fadeOutAndCloseSingle(QPointer<FloatingFeedbackPanel> OperationOverlayController::*slot)
{
    if (!(this->*slot))
        return;
    QPointer<FloatingFeedbackPanel> panel = this->*slot;
    fadeOut({panel}, [this, panel, slot] {
        if (!panel)
            return;
        panel->orderOut();
        // A newer panel may have taken the place meanwhile; it stays.
        if (this->*slot == panel)
            this->*slot = nullptr;
    });
}

void OperationOverlayController::presentSuggestion(PanelKind kind, const SuggestionFactory& makeContent)
{
    dropSuggestionAtOnce();
    const auto screen = screenContainingMousePointer();
    if (!screen)
        return;
    const bool compositing = isCompositing();
    const auto close = [self = QPointer<OperationOverlayController>(this)] {
        if (self)
            self->fadeOutAndCloseDisplayRestoreSuggestionWindow();
    };
    QWidget* content = makeContent(close, compositing);
    FloatingFeedbackPanel* panel = makePanel(kind, compositing);
    panel->setContentView(content);
    panel->setGeometry(toastGeometry(kind, screen->visibleFrame));
    m_displayRestoreSuggestionWindow = panel;
    fadeIn({m_displayRestoreSuggestionWindow});
}

void OperationOverlayController::showDisplayRestoreSuggestion(const QString& snapshotName,
                                                              std::function<void()> restore)
{
    presentSuggestion(PanelKind::suggestionToast, [&](const std::function<void()>& close, bool compositing) {
        auto* content = new DisplayRestoreSuggestionToastContentView(
            snapshotName,
            [close, restore = std::move(restore)] {
                close();
                if (restore)
                    restore();
            },
            close, compositing);
        content->buildView();
        return content;
    });
}

void OperationOverlayController::showDisplayRestoreSuggestionChooser(
    const std::vector<DisplayRestoreSuggestionOption>& options, std::function<void(const QUuid&)> restore)
{
    presentSuggestion(PanelKind::suggestionChooser, [&](const std::function<void()>& close, bool compositing) {
        auto* content = new DisplayRestoreSuggestionChooserToastContentView(
            options,
            [close, restore = std::move(restore)](const QUuid& id) {
                close();
                if (restore)
                    restore(id);
            },
            close, compositing);
        content->setOpenDashboard(m_openDashboard);
        content->buildView();
        return content;
    });
}

void OperationOverlayController::hideDisplayRestoreSuggestion()
{
    fadeOutAndCloseDisplayRestoreSuggestionWindow();
}

void OperationOverlayController::fadeOutAndCloseDisplayRestoreSuggestionWindow()
{
    fadeOutAndCloseSingle(&OperationOverlayController::m_displayRestoreSuggestionWindow);
}

} // namespace zen
