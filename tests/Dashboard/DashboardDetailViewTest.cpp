#include "Dashboard/DashboardDetailView.h"

#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardMetricCard.h"
#include "Dashboard/DashboardSnapshotPreviewView.h"
#include "Dashboard/DetailTestSupport.h"
#include "Dashboard/HotkeyCaptureErrorPopover.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/TextStyle.h"
#include "Shared/AnimationPolicy.h"
#include "Support/AnimationSwitch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QGraphicsEffect>
#include <QPropertyAnimation>
#include <QToolButton>

#include <gtest/gtest.h>

namespace zen {
namespace {

using test::DetailHarness;

struct ViewHarness : DetailHarness {
    int saves = 0, restores = 0, updates = 0, deletes = 0, clears = 0;
    std::unique_ptr<DashboardDetailView> view;

    explicit ViewHarness(bool withStorage = true, std::optional<QString> bootstrapError = std::nullopt)
        : DetailHarness(withStorage, std::move(bootstrapError))
    {
        auto actions = presenter->actions();
        actions.saveSnapshot = [this] { ++saves; };
        actions.restoreSnapshot = [this] { ++restores; };
        actions.updateSnapshot = [this] { ++updates; };
        actions.deleteSnapshot = [this] { ++deletes; };
        actions.clearHotkey = [this] { ++clears; };
        presenter->setActions(actions);
        view = std::make_unique<DashboardDetailView>(presenter.get());
        view->setRelativeDateText([](const QDateTime&, const QDateTime&) { return QStringLiteral("just now"); });
        view->resize(700, 640);
        view->show();
    }
    ~ViewHarness()
    {
        view.reset();
        presenter.release(); // the view owned it
    }
    bool visible(const QWidget* widget) const { return widget && widget->isVisibleTo(view.get()); }
};

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers, std::uint32_t scanCode)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
    QApplication::sendEvent(target, &event);
}

void doubleClick(QWidget* target)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void click(QWidget* target)
{
    const QPointF at(5, 5);
    QMouseEvent event(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void type(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &event);
    }
}

void key(QWidget* target, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(DashboardDetailViewTest, LayoutFaceShowsTheLayoutAndItsEnabledActions)
{
    ViewHarness h;
    h.select(h.second);
    ASSERT_EQ(h.view->currentFace(), h.view->layoutFace());
    EXPECT_EQ(h.view->titleLabel()->text(), "Home");
    EXPECT_FALSE(h.visible(h.view->titleField()));
    EXPECT_EQ(h.view->updatedLabel()->text(), "Updated just now");
    EXPECT_EQ(h.view->restoreButton()->text(), "Restore Layout");
    EXPECT_EQ(h.view->updateButton()->text(), "Update Layout");
    EXPECT_EQ(h.view->renameButton()->text(), "Rename");
    EXPECT_EQ(h.view->renameButton()->toolTip(), "Rename Layout");
    EXPECT_EQ(h.view->deleteButton()->accessibleName(), "Delete Layout");

    QStringList cards;
    for (auto* card : h.view->metricCards())
        cards << card->title() + "=" + card->value();
    EXPECT_EQ(cards, (QStringList{"Windows=1", "Apps=1", "Displays=1"}));
    EXPECT_EQ(h.view->hotkeyCard()->hotkeyText(), "Super+Shift+K");
    EXPECT_TRUE(h.visible(h.view->hotkeyCard()->clearButton()));

    h.view->restoreButton()->click();
    h.view->updateButton()->click();
    h.view->deleteButton()->click();
    h.view->hotkeyCard()->clearButton()->click();
    EXPECT_EQ(std::tuple(h.restores, h.updates, h.deletes, h.clears), std::tuple(1, 1, 1, 1));

    h.select(h.first);
    EXPECT_EQ(h.view->hotkeyCard()->hotkeyText(), "None");
    EXPECT_TRUE(h.visible(h.view->hotkeyCard()->editButton()));
    EXPECT_FALSE(h.visible(h.view->hotkeyCard()->clearButton()));
}

TEST(DashboardDetailViewTest, AnOperationDisablesEveryActionButLeavesCaptureCancellable)
{
    ViewHarness h;
    h.select(h.second);
    h.view->hotkeyCard()->editButton()->click();
    ASSERT_TRUE(h.visible(h.view->hotkeyCard()->captureField()));
    h.holdOperation();
    for (QWidget* button : {static_cast<QWidget*>(h.view->restoreButton()), static_cast<QWidget*>(h.view->updateButton()),
                            static_cast<QWidget*>(h.view->renameButton()), static_cast<QWidget*>(h.view->deleteButton()),
                            static_cast<QWidget*>(h.view->hotkeyCard()->editButton()),
                            static_cast<QWidget*>(h.view->hotkeyCard()->clearButton())})
        EXPECT_FALSE(button->isEnabled()) << button->toolTip().toStdString();
    EXPECT_TRUE(h.view->hotkeyCard()->cancelButton()->isEnabled());

    doubleClick(h.view->titleLabel());
    EXPECT_FALSE(h.visible(h.view->titleField())) << "no rename while an operation runs";

    h.view->hotkeyCard()->cancelButton()->click();
    EXPECT_FALSE(h.visible(h.view->hotkeyCard()->captureField()));
    h.finishOperation();
    EXPECT_TRUE(h.view->restoreButton()->isEnabled());
}

// Starting an operation from the action strip disables the focused button; the pane keeps
// its place instead of jumping to whatever control takes the focus, and another layout starts
// at the top.
TEST(DashboardDetailViewTest, AnOperationStartedFromTheStripKeepsThePaneInPlace)
{
    ViewHarness h;
    h.select(h.second);
    h.view->resize(700, 150);
    QCoreApplication::processEvents();
    auto* scroll = qobject_cast<QScrollArea*>(h.view->layoutFace());
    ASSERT_NE(scroll, nullptr);
    QScrollBar* bar = scroll->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 20) << "the pane must be taller than the window for this test";
    bar->setValue(20);
    QApplication::setActiveWindow(h.view.get());
    h.view->restoreButton()->setFocus();
    ASSERT_TRUE(h.view->restoreButton()->hasFocus());

    h.holdOperation();
    EXPECT_EQ(bar->value(), 20);
    EXPECT_FALSE(h.view->restoreButton()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), scroll) << "the page takes the focus, and shows it";
    h.finishOperation();
    EXPECT_EQ(bar->value(), 20);

    h.select(h.first);
    EXPECT_EQ(bar->value(), 0);
}

TEST(DashboardDetailViewTest, RenameInPlaceThroughTheTitleField)
{
    ViewHarness h;
    h.select(h.first);
    doubleClick(h.view->titleLabel());
    ASSERT_TRUE(h.visible(h.view->titleField()));
    EXPECT_EQ(h.view->titleField()->text(), "Work");
    EXPECT_EQ(h.view->titleField()->placeholderText(), "Layout name");

    h.view->titleField()->clear();
    type(h.view->titleField(), "<i>Desk</i>");
    key(h.view->titleField(), Qt::Key_Return);
    EXPECT_FALSE(h.visible(h.view->titleField()));
    EXPECT_EQ(h.store.loadSnapshot(h.first.id)->name, "<i>Desk</i>");

    h.select(*h.store.loadSnapshot(h.first.id));
    EXPECT_EQ(h.view->titleLabel()->shownText(), "<i>Desk</i>") << "names are shown as typed";
    h.view->renameButton()->click();
    key(h.view->titleField(), Qt::Key_Escape);
    EXPECT_FALSE(h.visible(h.view->titleField()));
}

TEST(DashboardDetailViewTest, CaptureFieldRecordsAShortcutAndShowsRefusalsAsPlainText)
{
    ViewHarness h;
    h.second.name = "<b>Home</b>";
    ASSERT_TRUE(h.store.save(h.second));
    (void)h.controller->refreshSummaries();
    h.select(h.first);
    auto* card = h.view->hotkeyCard();
    card->editButton()->click();
    auto* field = card->captureField();
    ASSERT_TRUE(h.visible(field));
    EXPECT_EQ(InlineHotkeyCaptureField::placeholderText(), "Press shortcut");
    EXPECT_FALSE(field->hasError());

    press(field, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier, 45);
    EXPECT_TRUE(field->hasError());
    EXPECT_TRUE(card->errorPopover()->isVisible());
    EXPECT_EQ(card->errorPopover()->message(), "\"<b>Home</b>\" already uses that hotkey.");
    EXPECT_EQ(card->errorPopover()->width(), HotkeyCaptureErrorPopover::fixedWidth);
    for (auto* label : card->errorPopover()->findChildren<QLabel*>())
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
        }

    click(card->errorPopover());
    EXPECT_FALSE(field->hasError());
    EXPECT_FALSE(card->errorPopover()->isVisible());
    EXPECT_TRUE(h.visible(field)) << "closing the popover keeps capturing";

    press(field, Qt::Key_K, Qt::MetaModifier | Qt::AltModifier, 45);
    EXPECT_FALSE(h.visible(field));
    h.select(*h.store.loadSnapshot(h.first.id)); // the dashboard passes the refreshed entry
    EXPECT_EQ(card->hotkeyText(), "Super+Alt+K");
    EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"}));
}

TEST(DashboardDetailViewTest, LeavingTheCaptureFieldEndsCaptureAndGivesTheShortcutsBack)
{
    for (const auto reason : {Qt::ActiveWindowFocusReason, Qt::MouseFocusReason, Qt::TabFocusReason}) {
        ViewHarness h;
        h.select(h.first);
        h.view->hotkeyCard()->editButton()->click();
        auto* field = h.view->hotkeyCard()->captureField();
        ASSERT_TRUE(h.visible(field));
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(field, &out);
        EXPECT_FALSE(h.presenter->editingHotkeySnapshotID()) << reason;
        EXPECT_EQ(h.captureActivity, (std::vector<std::string>{"suspend", "resume"})) << reason;
    }
    // A menu opening over the window only borrows the keyboard.
    ViewHarness h;
    h.select(h.first);
    h.view->hotkeyCard()->editButton()->click();
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(h.view->hotkeyCard()->captureField(), &popup);
    EXPECT_EQ(h.presenter->editingHotkeySnapshotID(), h.first.id);
}

TEST(DashboardHotkeyMetricCardTest, ChangesOfEditingFadeInTheIncomingRowUnlessAnimationIsOff)
{
    if (!animationsEnabled())
        GTEST_SKIP() << "the desktop running the tests asks for no animation";
    DashboardHotkeyMetricCard card({});
    card.show();
    // The shortcut's own row: its edit buttons sit on the caption's line.
    QWidget* displayRow = card.findChild<MiddleElidedLabel*>()->parentWidget();
    QWidget* captureRow = card.captureField()->parentWidget();
    DashboardHotkeyMetricCard::State state;
    state.summary.hotkey = test::commandShiftK;
    card.setState(state);
    EXPECT_EQ(card.editingTransition(), nullptr) << "nothing changed";

    for (const bool editing : {true, false}) {
        SCOPED_TRACE(editing);
        state.isEditing = editing;
        card.setState(state);
        auto* fade = qobject_cast<QPropertyAnimation*>(card.editingTransition());
        ASSERT_NE(fade, nullptr);
        QWidget* incoming = editing ? captureRow : displayRow;
        EXPECT_EQ(fade->targetObject(), static_cast<QObject*>(incoming->graphicsEffect()));
        EXPECT_EQ(fade->propertyName(), "opacity");
        EXPECT_EQ(fade->duration(), 150);
        EXPECT_EQ(fade->easingCurve().type(), QEasingCurve::InOutQuad);
        EXPECT_EQ(fade->state(), QAbstractAnimation::Running);
        // Other changes while it runs leave it alone.
        state.isActionDisabled = !state.isActionDisabled;
        card.setState(state);
        EXPECT_EQ(card.editingTransition(), fade);

        fade->setCurrentTime(fade->duration());
        EXPECT_EQ(card.editingTransition(), nullptr);
        EXPECT_EQ(incoming->graphicsEffect(), nullptr) << "painted directly once faded in";
    }

    test::AnimationsOff off;
    state.isEditing = true;
    card.setState(state);
    EXPECT_EQ(card.editingTransition(), nullptr);
    EXPECT_EQ(captureRow->graphicsEffect(), nullptr);
    EXPECT_TRUE(captureRow->isVisibleTo(&card));
}

TEST(DashboardDetailViewTest, EmptyFaceInvitesAFirstSaveUnlessLocked)
{
    {
        ViewHarness h;
        ASSERT_EQ(h.view->currentFace(), h.view->emptyFace());
        QStringList texts;
        for (auto* label : h.view->emptyFace()->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                texts << label->text();
        EXPECT_EQ(texts, (QStringList{"No Saved Layouts", "Arrange your windows the way you want, then save the layout.",
                                      "Saved layouts appear in the sidebar and tray menu."}));
        EXPECT_TRUE(h.view->saveButton()->isEnabled());
        h.view->saveButton()->click();
        EXPECT_EQ(h.saves, 1);
        EXPECT_TRUE(h.view->issueTitles().isEmpty());

        // A selected layout that failed to load: the empty face with the controller's error.
        h.controller->reportLayoutRequiresWindow();
        h.presenter->setSelection(h.first.id, std::nullopt, SnapshotSummary::fromSnapshot(h.first));
        EXPECT_EQ(h.view->currentFace(), h.view->emptyFace());
        EXPECT_EQ(h.view->issueTitles(), QStringList{"Layout Action Failed"});
    }
    ViewHarness h(false, QStringLiteral("No folder."));
    EXPECT_FALSE(h.view->saveButton()->isEnabled());
    EXPECT_EQ(h.view->issueTitles(), QStringList{"Storage Setup Failed"});
}

// The preview and the inactive applications show the layout selected last, and a face made
// only when first needed carries the banners of the moment.
TEST(DashboardDetailViewTest, PartsMadeAfterOpeningShowWhatIsCurrentWhenTheyAppear)
{
    ViewHarness h;
    h.select(h.first);
    (void)h.view->grab();
    h.select(h.second);
    QCoreApplication::processEvents();
    ASSERT_NE(h.view->preview(), nullptr);
    EXPECT_EQ(h.view->preview()->snapshot().id, h.second.id);
    EXPECT_NE(h.view->inactiveApps(), nullptr);

    h.controller->reportLayoutRequiresWindow();
    h.presenter->setSelection(h.first.id, std::nullopt, SnapshotSummary::fromSnapshot(h.first));
    EXPECT_EQ(h.view->currentFace(), h.view->emptyFace());
    EXPECT_EQ(h.view->issueTitles(), QStringList{"Layout Action Failed"});
}

TEST(DashboardDetailViewTest, EducationFaceFollowsAccessAndItsButtons)
{
    ViewHarness h;
    h.trusted = false;
    h.coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
    h.select(h.first);
    EXPECT_EQ(h.view->issueTitles(), QStringList{"Window Access Required"});
    h.router->requestAuthorization(PrivilegedActionKind::saveLayout, PrivilegedActionSource::dashboard);
    ASSERT_EQ(h.view->currentFace(), h.view->educationFace());
    EXPECT_TRUE(h.view->issueTitles().isEmpty()) << "the education replaces the access banner";
    auto* education = h.view->education();
    EXPECT_TRUE(h.visible(education->dismissButton()));
    EXPECT_FALSE(h.visible(education->waitingNote()));

    education->openSystemSettingsButton()->click();
    EXPECT_EQ(h.settingsOpened, 1);
    EXPECT_TRUE(h.visible(education->waitingNote()));
    education->checkAgainButton()->click();
    EXPECT_FALSE(h.visible(education->waitingNote()));

    h.trusted = true;
    education->checkAgainButton()->click();
    EXPECT_TRUE(h.visible(education->successFace()));
    h.scheduler->advance(std::chrono::milliseconds(800));
    EXPECT_EQ(h.view->currentFace(), h.view->layoutFace());
}


// The pane's accent button is painted by hand: it must take the room, fill and edge of the
// accent button the other windows style, enabled and disabled.
TEST(DashboardDetailViewTest, RestoreButtonLooksLikeTheAccentButtonElsewhere)
{
    ViewHarness h;
    h.select(h.second);
    QPushButton* painted = h.view->restoreButton();
    // Beside it, so both are drawn over the same background.
    QPushButton styled(painted->icon(), painted->text(), painted->parentWidget());
    TextStyle::applyProminent(&styled);
    ASSERT_EQ(painted->sizeHint(), styled.sizeHint());
    styled.resize(painted->size());
    styled.show();
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        painted->setEnabled(enabled);
        styled.setEnabled(enabled);
        // As seen on the pane: over its background.
        const auto onPane = [&](QWidget* button) {
            QImage seen(button->size() * button->devicePixelRatio(), QImage::Format_RGB32);
            seen.fill(button->palette().color(QPalette::Window));
            QPainter(&seen).drawImage(0, 0, button->grab().toImage());
            return seen;
        };
        const QImage ours = onPane(painted);
        const QImage theirs = onPane(&styled);
        // Enabled, pixel by pixel but for the antialiasing of the rounded corners.
        ASSERT_EQ(ours.size(), theirs.size());
        int differing = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x) {
                const QColor a = ours.pixelColor(x, y);
                const QColor b = theirs.pixelColor(x, y);
                differing += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 12;
            }
        // Disabled, the style sheet drew square corners: the fill is what has to match there.
        const QColor a = ours.pixelColor(4, ours.height() / 2);
        const QColor b = theirs.pixelColor(4, ours.height() / 2);
        EXPECT_LE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()), 6);
        if (enabled)
            EXPECT_LE(differing, 72);
    }
}

// With the keyboard on it, the button shows a ring that reads against its fill (3:1 at least),
// all the way round; the tab chain reaches the hotkey card's edit button too.
TEST(DashboardDetailViewTest, FocusRingOnRestoreLayoutStandsOutAndTabReachesTheHotkeyCard)
{
    ViewHarness h;
    h.select(h.second);
    QPushButton* restore = h.view->restoreButton();
    restore->clearFocus();
    const QImage plain = restore->grab().toImage();
    QApplication::setActiveWindow(restore->window());
    // As after a press of Tab: the rings show once the keyboard has moved the focus.
    restore->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    restore->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(restore->hasFocus());
    const QImage focused = restore->grab().toImage();
    ASSERT_EQ(plain.size(), focused.size());
    const QColor fill = plain.pixelColor(plain.width() / 2, 3 * plain.devicePixelRatio());
    double strongest = 1;
    int ringRows = 0, ringColumns = 0;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            if (focused.pixel(x, y) != plain.pixel(x, y)) {
                const double contrast = TextStyle::contrastRatio(focused.pixelColor(x, y), fill);
                strongest = std::max(strongest, contrast);
                // Near the middle of each side, where the ring runs straight.
                ringRows += x == focused.width() / 2 && contrast >= 3;
                ringColumns += y == focused.height() / 2 && contrast >= 3;
            }
    EXPECT_GE(strongest, 3.0);
    EXPECT_GE(ringRows, 2) << "top and bottom";
    EXPECT_GE(ringColumns, 2) << "left and right";

    auto* card = h.view->hotkeyCard();
    QWidget* next = restore;
    bool reached = false;
    for (int i = 0; i < 40 && !reached; ++i) {
        next = next->nextInFocusChain();
        reached = next == card->editButton() && (next->focusPolicy() & Qt::TabFocus);
    }
    EXPECT_TRUE(reached) << "the edit button is not in the tab chain";
}

} // namespace
} // namespace zen
