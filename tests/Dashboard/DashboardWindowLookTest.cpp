#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardInactiveAppsView.h"
#include "Dashboard/DashboardIssueBanner.h"
#include "Dashboard/DashboardDisplayPreviewCard.h"
#include "Dashboard/DashboardElidedLabel.h"
#include "Dashboard/DashboardSnapshotPreviewView.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardMetricCard.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardSnapshotRowDelegate.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowFixture.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStoreError.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/ToastTextLabel.h"
#include "Support/AnimationSwitch.h"
#include "Support/ImageChecks.h"
#include "Support/LiveDesktop.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace zen {
namespace {

using test::makeWindow;

struct LookWindow : test::DashboardWindowFixture {
    UserDefaults defaults{root.filePath("prefs.conf")};
    std::unique_ptr<DashboardView> view;

    DashboardView& open(QSize size)
    {
        refresh();
        DashboardView::Dependencies d;
        d.permissionCoordinator = coordinator;
        d.permissionRouter = router;
        d.snapshotMenuController = controller;
        d.frameStore = &defaults;
        d.openSettings = [] {};
        d.now = [] { return test::fixedDate(0, 30); };
        view = std::make_unique<DashboardView>(std::move(d));
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->resize(size);
        view->show();
        QApplication::processEvents();
        return *view;
    }
    DashboardDetailView* detail() const { return qobject_cast<DashboardDetailView*>(view->detailPane()); }
    QImage shot(const QString& name) const
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        static const testsupport::ScreenshotFolder folder;
        QImage image = view->grab().toImage();
        folder.save(image, name);
        return image;
    }
};

QRect rectIn(const QWidget* widget, const QWidget* top)
{
    return QRect(widget->mapTo(top, QPoint(0, 0)), widget->size());
}

std::vector<QWidget*> headerButtons(const DashboardDetailView& detail)
{
    return {detail.restoreButton(), detail.updateButton(), detail.renameButton(), detail.deleteButton()};
}

// Every action of the header is whole inside the window, and its text is not cut.
void expectHeaderButtonsInReach(const LookWindow& f)
{
    const QRect window = f.view->rect();
    for (QWidget* button : headerButtons(*f.detail())) {
        ASSERT_TRUE(button->isVisibleTo(f.view.get()));
        EXPECT_TRUE(window.contains(rectIn(button, f.view.get()))) << button->toolTip().toStdString();
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->toolTip().toStdString();
    }
}

TEST(DashboardWindowLookTest, TheDefaultSizeShowsTheWholeDefaultNameAndFourCardsInOneRow)
{
    LookWindow f;
    const QString name = QStringLiteral("Layout - 2026-12-07 11:08");
    f.add(name, 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)}, test::commandK);
    f.open(QSize(940, 640));
    const QImage image = f.shot("dashboard-940x640");
    ASSERT_EQ(image.size(), QSize(940, 640) * f.view->devicePixelRatio());

    MiddleElidedLabel* title = f.detail()->titleLabel();
    EXPECT_EQ(title->shownText(), name);
    EXPECT_GE(title->width(), title->fontMetrics().horizontalAdvance(name));
    expectHeaderButtonsInReach(f);

    std::vector<QWidget*> cards(f.detail()->metricCards().begin(), f.detail()->metricCards().end());
    cards.push_back(f.detail()->hotkeyCard());
    for (QWidget* card : cards) {
        EXPECT_EQ(card->y(), cards.front()->y());
        EXPECT_EQ(card->height(), cards.front()->height());
    }
    // The grid asks for no more than its one row: the cards stacked in a column would make the
    // pane scroll into empty space at every width.
    EXPECT_EQ(cards.front()->parentWidget()->minimumSizeHint().height(), cards.front()->height());
    EXPECT_EQ(f.detail()->hotkeyCard()->hotkeyText(), "Super+K");

    // The sections below share the cards' edges: their headings and the display card.
    const int left = rectIn(cards.front(), f.view.get()).left();
    const int right = rectIn(cards.back(), f.view.get()).right();
    for (const char* heading : {"Layout Preview", "Inactive Apps"}) {
        const auto labels = f.detail()->findChildren<QLabel*>();
        const auto found = std::find_if(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == heading; });
        ASSERT_NE(found, labels.end()) << heading;
        EXPECT_EQ(rectIn(*found, f.view.get()).left(), left) << heading;
    }
    const auto displays = f.detail()->preview()->findChildren<DashboardDisplayPreviewCard*>();
    ASSERT_EQ(displays.size(), 1);
    EXPECT_EQ(rectIn(displays.front(), f.view.get()).left(), left);
    EXPECT_EQ(rectIn(displays.front(), f.view.get()).right(), right);
}

// At the smallest window the hotkey card shows a shortcut whole, a long one in smaller type;
// while capturing, its field's words stay on one line inside the pill.
TEST(DashboardWindowLookTest, TheHotkeyCardShowsTheWholeShortcutAtTheSmallestSize)
{
    LookWindow f;
    const struct {
        Snapshot layout;
        QString text;
    } cases[] = {{f.add("Short", 0, {makeWindow("org.example.Editor", 1, 1)}, HotkeyBinding{0x01, 0x300, "Command-Shift-S"}),
                  "Super+Shift+S"},
                 {f.add("Long", 1, {makeWindow("org.example.Editor", 1, 1)},
                        HotkeyBinding{0x6F, 0x1A00, "Option-Control-Shift-F12"}),
                  "Ctrl+Alt+Shift+F12"}};
    f.open(QSize(940, 640));
    DashboardHotkeyMetricCard* card = f.detail()->hotkeyCard();
    MiddleElidedLabel* label = card->hotkeyLabel();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        f.view->presenter().selectSnapshot(c.layout.id);
        f.shot("hotkey-card-" + c.text);
        EXPECT_EQ(card->hotkeyText(), c.text);
        EXPECT_EQ(label->shownText(), c.text) << "label " << label->width() << " wide, font " << label->font().pointSizeF()
                                              << " shown " << label->shownFont().pointSizeF();
        EXPECT_LE(QFontMetricsF(label->shownFont()).horizontalAdvance(c.text), label->width());
        EXPECT_LE(rectIn(label, f.view.get()).right(), rectIn(card, f.view.get()).right() - DashboardMetricCard::padding);
    }

    test::AnimationsOff still; // the picture shows the capture row, not its fade
    card->editButton()->click();
    ASSERT_TRUE(card->state().isEditing);
    f.shot("hotkey-card-capturing");
    const InlineHotkeyCaptureField* field = card->captureField();
    EXPECT_LE(QFontMetrics(field->shownFont()).horizontalAdvance(InlineHotkeyCaptureField::placeholderText()),
              field->width() - 8);
    EXPECT_GE(field->height(), QFontMetrics(field->shownFont()).height());
}

TEST(DashboardWindowLookTest, MaximizedTheContentSpansThePane)
{
    LookWindow f;
    f.add("Layout - 2026-12-07 11:08", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 1, 2)});
    f.open(QSize(1920, 1080));
    f.shot("dashboard-1920x1080");
    DashboardDetailView* detail = f.detail();
    const int right = rectIn(detail->header(), f.view.get()).right();
    EXPECT_GT(right, 1800);
    EXPECT_NEAR(rectIn(detail->hotkeyCard(), f.view.get()).right(), right, 2);
    EXPECT_NEAR(rectIn(detail->restoreButton(), f.view.get()).y(), rectIn(detail->titleLabel(), f.view.get()).y(), 4)
        << "side by side when there is room";
    // The preview's only display card takes the whole row.
    const auto cards = detail->preview()->findChildren<DashboardDisplayPreviewCard*>();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_GT(rectIn(cards.front(), f.view.get()).right(), right - 40);
}

TEST(DashboardWindowLookTest, LongNamesFromAFileKeepEveryHeaderActionInReach)
{
    LookWindow f;
    const QString longName = QString(148, u'W');
    f.add(longName, 0);
    f.add(QString(100000, u'n') + QChar(0x2028) + QStringLiteral("tail"), 10);
    f.open(QSize(940, 640));
    expectHeaderButtonsInReach(f);
    EXPECT_TRUE(f.detail()->titleLabel()->shownText().contains(QStringLiteral("…")));

    f.view->presenter().selectSnapshot(f.view->presenter().snapshotSummaries()[1].id);
    f.shot("dashboard-huge-name");
    expectHeaderButtonsInReach(f);
    const QString shown = f.detail()->titleLabel()->shownText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(" tail"))) << "the separator draws as a space";
    EXPECT_FALSE(shown.contains(QChar(0x2028)));

    // Wide enough, the title keeps at least a few words' room beside the buttons.
    f.view->resize(1920, 1080);
    f.shot("dashboard-huge-name-wide");
    expectHeaderButtonsInReach(f);
    EXPECT_GT(f.detail()->titleLabel()->width(), f.detail()->titleLabel()->fontMetrics().averageCharWidth() * 28);
}

// Any X client can name a monitor, at any length; a layout captured then keeps the name.
TEST(DashboardWindowLookTest, ALongMonitorNameKeepsEveryHeaderActionInReach)
{
    LookWindow f;
    Snapshot layout = f.add("Work", 0, {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 2, 2)});
    DisplayRecord named = test::makeDisplay(1, CGRect(0, 0, 1440, 900), true);
    named.localizedName = QString(1000, u'M');
    layout.sourceDisplayState =
        DisplayState::make({named, test::makeDisplay(2, CGRect(1440, 0, 1920, 1080))}, 1);
    ASSERT_TRUE(f.store.save(layout).has_value());
    f.open(QSize(940, 640));
    f.shot("dashboard-long-monitor-name");
    expectHeaderButtonsInReach(f);
    const auto cards = f.detail()->preview()->cards();
    ASSERT_EQ(cards.size(), 2u);
    auto* title = cards[0]->findChild<DashboardElidedLabel*>("displayTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), named.localizedName);
    EXPECT_TRUE(title->shownText().endsWith(QChar(0x2026))) << "the name is cut where the card ends";
    // The cards share the row equally: the name asks for no room of its own.
    EXPECT_EQ(cards[0]->width(), cards[1]->width());
    for (QWidget* card : {static_cast<QWidget*>(cards[0]), static_cast<QWidget*>(cards[1])})
        EXPECT_TRUE(f.view->rect().contains(rectIn(card, f.view.get())));
}

// The coverage a label paints, on a clear image wider than the label: a last letter reaching
// past its advance shows as cut. `whole` paints `text` at the label's place unclipped instead.
QImage paintedCoverage(DashboardElidedLabel* label, const QString& whole = {})
{
    QImage image(label->size() + QSize(32, 0), QImage::Format_Alpha8);
    image.fill(Qt::transparent);
    if (whole.isEmpty()) {
        label->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    } else {
        QPainter p(&image);
        p.setFont(label->font());
        p.drawText(label->contentsRect(), int(label->alignment()) | Qt::TextSingleLine | Qt::TextDontClip, whole);
    }
    return image;
}

// Monitor names of every shape show whole on the primary display's card at the default size:
// none cut to an ellipsis, no last letter clipped where it reaches past its advance; only a name
// wider than the card is cut, its end marked, with the header's actions still in reach.
TEST(DashboardWindowLookTest, MonitorNamesThatFitShowWholeOnTheirCard)
{
    LookWindow f;
    const struct {
        QString name;
        bool fits;
    } cases[] = {{"left", true},     {"Dell Left", true},          {"HDMI-1", true},
                 {"Wide", true},     {"DP-1 fff", true},           {QString(1000, u'M'), false}};
    std::vector<QUuid> layouts;
    int minute = 0;
    for (const auto& c : cases) {
        Snapshot layout = f.add(c.name.left(20), minute += 10,
                                {makeWindow("org.example.Editor", 1, 1), makeWindow("org.example.Mail", 2, 2)});
        DisplayRecord named = test::makeDisplay(1, CGRect(0, 0, 1440, 900), true);
        named.localizedName = c.name;
        layout.sourceDisplayState = DisplayState::make({named, test::makeDisplay(2, CGRect(1440, 0, 1920, 1080))}, 1);
        ASSERT_TRUE(f.store.save(layout).has_value());
        layouts.push_back(layout.id);
    }
    f.open(DashboardWindowSupport::defaultSize());
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name.left(20).toStdString());
        f.view->presenter().selectSnapshot(layouts[i]);
        f.shot("monitor-name-" + QString::number(i));
        const auto cards = f.detail()->preview()->cards();
        ASSERT_EQ(cards.size(), 2u);
        auto* title = cards[0]->findChild<DashboardElidedLabel*>("displayTitle");
        ASSERT_NE(title, nullptr);
        EXPECT_TRUE(rectIn(cards[0], f.view.get()).contains(rectIn(title, f.view.get())));
        if (c.fits) {
            EXPECT_EQ(title->shownText(), c.name) << "label " << title->width() << " wide";
            EXPECT_EQ(paintedCoverage(title), paintedCoverage(title, c.name)) << "painted cut or with an ellipsis";
        } else {
            EXPECT_TRUE(title->shownText().endsWith(QChar(0x2026)));
            EXPECT_NE(paintedCoverage(title), paintedCoverage(title, title->text()));
            expectHeaderButtonsInReach(f);
        }
    }
}

QLabel* labelWithText(QWidget* in, const QString& start)
{
    for (QLabel* label : in->findChildren<QLabel*>())
        if (label->isVisibleTo(in->window()) && label->text().startsWith(start))
            return label;
    return nullptr;
}

// An application known only by a long id (a window's WM_CLASS of hundreds of characters) and a
// failure naming a layout of any length: both are cut to the pane, whose actions stay in reach.
TEST(DashboardWindowLookTest, LongApplicationIdsAndFailuresKeepEveryHeaderActionInReach)
{
    LookWindow f;
    const QString longID = QStringLiteral("org.example.") + QString(188, u'x');
    const QString hugeName = QString(100000, u'N');
    const Snapshot work = f.add("Work", 0, {makeWindow(longID, 1, 1), makeWindow("org.example.Mail", 1, 2)});
    f.add(hugeName, 10);
    f.open(QSize(940, 640));
    const QRect window = f.view->rect();
    DashboardDetailView* detail = f.detail();
    ASSERT_NE(detail->inactiveApps(), nullptr);
    const auto names = detail->inactiveApps()->findChildren<QLabel*>("appName");
    const auto row = std::find_if(names.begin(), names.end(), [&](QLabel* l) { return l->text() == longID; });
    ASSERT_NE(row, names.end());
    // Below the fold, but not beyond the right edge.
    for (QWidget* part : {static_cast<QWidget*>((*row)->parentWidget()), static_cast<QWidget*>(labelWithText(detail->inactiveApps(), "Not Running"))})
        EXPECT_LE(rectIn(part, f.view.get()).right(), window.right());
    expectHeaderButtonsInReach(f);

    f.controller->setHotkeyCaptureActivityDidChange([&hugeName](bool) -> std::optional<OperationError> {
        return OperationError(SnapshotStoreError::duplicateHotkeyAssignment(hugeName));
    });
    f.controller->assignHotkey(work.id);
    f.shot("dashboard-long-app-id-and-failure");
    ASSERT_EQ(detail->issueTitles(), QStringList{"Layout Action Failed"});
    const auto* banner = detail->currentFace()->findChild<DashboardIssueBanner*>();
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->message(), QStringLiteral("\"%1\" already uses that hotkey.").arg(hugeName));
    EXPECT_TRUE(window.contains(rectIn(banner, f.view.get())));
    EXPECT_LT(banner->height(), 10 * banner->fontMetrics().height()) << "the name is cut, not laid out whole";
    expectHeaderButtonsInReach(f);
}

// Every kind of text the windows draw, measured from the pixels against what lies behind it.
TEST(DashboardWindowLookTest, EveryTextReadsAtLeastFourAndAHalfToOne)
{
    const auto expectReadable = [](const QImage& image, QWidget* top, QWidget* text, const char* role) {
        ASSERT_NE(text, nullptr) << role;
        const QRect area = rectIn(text, top);
        const QRect scaled(area.topLeft() * top->devicePixelRatio(), area.size() * top->devicePixelRatio());
        EXPECT_GE(testsupport::drawnTextContrast(image, scaled), 4.5) << role;
    };

    LookWindow f;
    f.add("Layout - 2026-12-07 11:08", 0, {makeWindow("org.example.Editor", 1, 1)}, test::commandK);
    f.add("Home", 300);
    f.open(QSize(1200, 1000));
    QImage image = f.shot("contrast-layout");
    DashboardView* top = f.view.get();
    DashboardDetailView* detail = f.detail();
    expectReadable(image, top, detail->titleLabel(), "title");
    expectReadable(image, top, detail->updatedLabel(), "updated, secondary");
    expectReadable(image, top, labelWithText(detail->metricCards()[0], "Windows"), "card caption");
    expectReadable(image, top, labelWithText(detail->preview(), "1 window"), "display card count");
    // The saved programs have no desktop entry here: the note says a restore cannot open them.
    const auto labels = detail->findChildren<QLabel*>();
    const auto note = std::find_if(labels.begin(), labels.end(),
                                   [](QLabel* l) { return l->isVisibleTo(l->window()) && l->text().contains("no desktop entry"); });
    expectReadable(image, top, note == labels.end() ? nullptr : *note, "inactive apps note");
    // The sidebar's rows are painted by their delegate: its layout says where each text lies.
    const auto rowPart = [top](int row) {
        DashboardSnapshotListView* list = top->layoutList();
        const QModelIndex index = list->model()->index(row, 0);
        const QRect rect = list->visualRect(index);
        auto parts = DashboardSnapshotRowDelegate::layout(
            rect, list->font(), index.data().toString(), index.data(DashboardSnapshotListModel::HotkeyRole).toString(),
            index.data(DashboardSnapshotListModel::SummaryRole).toString());
        const QPoint offset = list->viewport()->mapTo(top, QPoint(0, 0));
        for (QRect* r : {&parts.name, &parts.hotkey, &parts.summary})
            r->translate(offset);
        return parts;
    };
    const auto expectReadableArea = [](const QImage& image, QWidget* top, const QRect& area, const char* role) {
        const QRect scaled(area.topLeft() * top->devicePixelRatio(), area.size() * top->devicePixelRatio());
        EXPECT_GE(testsupport::drawnTextContrast(image, scaled), 4.5) << role;
    };
    expectReadableArea(image, top, rowPart(1).summary, "row summary");
    ASSERT_EQ(top->layoutList()->currentRow(), 0);
    expectReadableArea(image, top, rowPart(0).name, "selected row name");
    expectReadableArea(image, top, rowPart(0).summary, "selected row summary");
    expectReadableArea(image, top, rowPart(0).hotkey, "selected row hotkey");

    LookWindow empty;
    empty.open(QSize(940, 640));
    image = empty.shot("contrast-empty");
    expectReadable(image, empty.view.get(), empty.view->emptyListLabel(), "empty list hint");
    expectReadable(image, empty.view.get(), labelWithText(empty.detail(), "Saved layouts appear"), "tertiary note");
    expectReadable(image, empty.view.get(), labelWithText(empty.detail(), "Arrange your windows"), "empty body");

    OperationCompletionToastContentView toast(QStringLiteral("Restored \"Work\": 2 windows restored."),
                                              QStringLiteral("Skipped: Mail"), {}, false);
    toast.buildView();
    toast.resize(360, 110);
    image = toast.grab().toImage();
    expectReadable(image, &toast, toast.summaryLabel(), "toast summary");
    expectReadable(image, &toast, toast.detailLabel(), "toast detail");
}

} // namespace
} // namespace zen
