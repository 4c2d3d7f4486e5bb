#pragma once

#include "Displays/DisplayRestoreSuggestionPresenting.h"
#include "MenuBar/FloatingFeedbackPanel.h"
#include "MenuBar/OperationOverlayPresenting.h"
#include "MenuBar/OperationScheduler.h"
#include "Permissions/StatusNoticePresenting.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zen {

// Every piece of floating feedback outside our own windows: the progress overlay on every
// monitor while a layout is saved or restored, the completion toast on every monitor after a
// restore, the status notice and the display-change suggestion on the monitor under the
// pointer. Panels are made anew for each showing. Delayed closings check generation counters
// instead of being cancelled, so whatever a newer showing put up is never taken down by an
// older timer. Main thread only.
class OperationOverlayController final : public QObject,
                                         public OperationOverlayPresenting,
                                         public StatusNoticePresenting,
                                         public DisplayRestoreSuggestionPresenting {
    Q_OBJECT
public:
    // A monitor in Qt's global coordinates (device-independent pixels, y downwards).
    struct Screen {
        QRect frame;
        QRect visibleFrame; // less panels and docks
        friend bool operator==(const Screen&, const Screen&) = default;
    };

    // Waits until freshly shown panels are on screen, then calls its argument (on the main
    // thread, never from within the call itself).
    using PresentationBarrier = std::function<void(std::function<void()> done)>;

    // Where the controller finds the monitors, the pointer, the time and its timers; an
    // empty member takes the live default.
    struct Environment {
        std::function<std::vector<Screen>()> screens;             // QGuiApplication::screens()
        std::function<std::optional<Screen>()> mainScreen;        // the primary screen
        std::function<QPoint()> pointerLocation;                  // QCursor::pos()
        // Whether a compositing manager runs (fades and see-through panels need one). Asked
        // at every showing; none given means none runs.
        std::function<bool()> isCompositing;
        std::shared_ptr<OperationScheduler> scheduler;             // QTimer
        std::function<std::chrono::nanoseconds()> monotonicClock;  // steady_clock
    };

    struct Durations {
        double minimumVisibleDuration = 0.4;
        double completionVisibleDuration = 15;
        double fadeInDuration = 0.12;
        double fadeOutDuration = 0.18;
    };

    enum class PanelKind { progressOverlay, completionToast, statusNotice, suggestionToast, suggestionChooser };

    // Everything live, with the default durations.
    explicit OperationOverlayController(QObject* parent = nullptr);
    // An empty barrier: one turn of the event loop, then 50 ms.
    OperationOverlayController(Durations durations, PresentationBarrier presentationBarrier, Environment environment,
                               QObject* parent = nullptr);
    ~OperationOverlayController() override;

    // Progress and completion.
    void showOverlay(OperationOverlayKind kind, std::function<void()> onShown) override;
    void showRestoreCompletion(const QString& summary, const std::optional<QString>& detail) override;
    void hideOverlay() override;

    // Status notices.
    void showStatusNotice(const QString& message, double duration) override;
    void hideStatusNotice() override;

    // Display-change suggestions.
    bool isDisplayRestoreSuggestionVisible() const override { return m_displayRestoreSuggestionWindow != nullptr; }
    void showDisplayRestoreSuggestion(const QString& snapshotName, std::function<void()> restore) override;
    // What the chooser's "More Layouts…" opens; none: the chooser lists every layout.
    void setOpenDashboard(std::function<void()> openDashboard) { m_openDashboard = std::move(openDashboard); }
    void showDisplayRestoreSuggestionChooser(const std::vector<DisplayRestoreSuggestionOption>& options,
                                             std::function<void(const QUuid&)> restore) override;
    void hideDisplayRestoreSuggestion() override;

    // Where a toast-like panel of the kind stands on a monitor's visible frame: centred, its
    // top 28 below the frame's top. `detailLineCount` counts for the completion toast only
    // (none: no detail). The progress overlay is no toast: its kind gives the frame back.
    static QRect toastGeometry(PanelKind kind, const QRect& visibleFrame, std::optional<int> detailLineCount = {});
    // The lines a completion detail takes: its pieces between newline characters.
    static int detailLineCount(const QString& detail);

    // What is up now, for tests and screenshots.
    const std::vector<QPointer<FloatingFeedbackPanel>>& overlayWindows() const { return m_overlayWindows; }
    FloatingFeedbackPanel* statusNoticeWindow() const { return m_statusNoticeWindow; }
    FloatingFeedbackPanel* displayRestoreSuggestionWindow() const { return m_displayRestoreSuggestionWindow; }
    bool hasShownAt() const { return m_shownAt.has_value(); }

private:
    FloatingFeedbackPanel* makePanel(PanelKind kind, bool translucent) const;
    void fadeIn(const std::vector<QPointer<FloatingFeedbackPanel>>& panels);
    // Fades the panels out and runs `done` when the fade has ended.
    void fadeOut(const std::vector<QPointer<FloatingFeedbackPanel>>& panels, std::function<void()> done);
    void closeOverlayWindows();
    void dropSuggestionAtOnce();
    void fadeOutAndCloseOverlayWindows();
    void fadeOutAndCloseStatusNoticeWindow();
    void fadeOutAndCloseDisplayRestoreSuggestionWindow();
    std::optional<Screen> screenContainingMousePointer() const;
    // Closes the suggestion panel, if the controller is still there.
    // Makes a suggestion's content, given what closes it and whether it may be translucent.
    using SuggestionFactory = std::function<QWidget*(const std::function<void()>& close, bool compositing)>;
    // Shows the suggestion over the monitor under the pointer, in place of any other.
    void presentSuggestion(PanelKind kind, const SuggestionFactory& makeContent);
    void fadeOutAndCloseSingle(QPointer<FloatingFeedbackPanel> OperationOverlayController::*slot);
    bool isCompositing() const;
    std::chrono::nanoseconds now() const;
    static std::chrono::nanoseconds seconds(double value);

    Durations m_durations;
    PresentationBarrier m_presentationBarrier;
    Environment m_environment;
    std::vector<QPointer<FloatingFeedbackPanel>> m_overlayWindows;
    QPointer<FloatingFeedbackPanel> m_statusNoticeWindow;
    QPointer<FloatingFeedbackPanel> m_displayRestoreSuggestionWindow;
    std::function<void()> m_openDashboard;
    long m_statusNoticeGeneration = 0;
    std::optional<std::chrono::nanoseconds> m_shownAt;
    long m_generation = 0;
};

} // namespace zen
