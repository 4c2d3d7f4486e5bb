// The sidebar's pieces on their own: the layout row, the action button, the relative dates,
// and the window-removal sheet.
#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Dashboard/DashboardRowColors.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardSnapshotRowDelegate.h"
#include "Dashboard/DashboardWindowRemovalConfirmationView.h"
#include "Dashboard/SidebarActionButton.h"
#include "Support/SnapshotFixtures.h"

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>

namespace zen {
namespace {

using test::fixedDate;

TEST(DashboardRelativeDateFormatterTest, WithinAMinuteEitherWayIsJustNowThenTheLargestWholeUnit)
{
    const QDateTime now = fixedDate();
    struct Case {
        qint64 offsetSeconds;
        const char* expected;
    };
    const Case cases[] = {
        {0, "just now"},          {-30, "just now"},         {-60, "just now"},        {60, "just now"},
        {-61, "1 minute ago"},    {-125, "2 minutes ago"},   {-3600, "1 hour ago"},    {7200 + 59, "in 2 hours"},
        {-86400, "1 day ago"},    {-6 * 86400, "6 days ago"}, {-14 * 86400, "2 weeks ago"},
        {-45 * 86400, "1 month ago"}, {-400 * 86400, "1 year ago"}, {3 * 365 * 86400, "in 3 years"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DashboardRelativeDateFormatter::string(now.addSecs(c.offsetSeconds), now), c.expected)
            << c.offsetSeconds;
    // Calendar months: twelve of them are a year the moment they are full.
    EXPECT_EQ(DashboardRelativeDateFormatter::string(now.addMonths(-12), now), "1 year ago");
    EXPECT_EQ(DashboardRelativeDateFormatter::string(now.addMonths(-12).addSecs(1), now), "11 months ago");
}

// The moment a phrase turns, against the phrases themselves: it reads the same a millisecond
// before and differently at that moment, for ages from seconds to years either way.
TEST(DashboardRelativeDateFormatterTest, NextChangeIsTheFirstMomentThePhraseReadsDifferently)
{
    const QDateTime now = fixedDate();
    std::mt19937_64 random(33);
    for (int round = 0; round < 3000; ++round) {
        const qint64 scale = std::array<qint64, 5>{90'000, 7'200'000, 40LL * 86'400'000, 400LL * 86'400'000,
                                                   3LL * 365 * 86'400'000}[round % 5];
        const qint64 offset = std::uniform_int_distribution<qint64>(-scale, scale / 4)(random);
        const QDateTime date = now.addMSecs(offset);
        const QString shown = DashboardRelativeDateFormatter::string(date, now);
        const QDateTime next = DashboardRelativeDateFormatter::nextChange(date, now);
        ASSERT_GT(next, now) << offset;
        ASSERT_EQ(DashboardRelativeDateFormatter::string(date, next.addMSecs(-1)), shown) << offset;
        ASSERT_NE(DashboardRelativeDateFormatter::string(date, next), shown) << offset;
    }
}

TEST(DashboardRelativeDateFormatterTest, TheExactIntervalDecidesNotItsWholeSeconds)
{
    const QDateTime now = fixedDate();
    for (const auto& [milliseconds, expected] : std::vector<std::pair<qint64, QString>> {
             {-60'000, "just now"}, {-60'001, "1 minute ago"}, {-60'900, "1 minute ago"}, {60'900, "in 1 minute"},
             {-119'999, "1 minute ago"}, {-120'000, "2 minutes ago"}}) {
        EXPECT_EQ(DashboardRelativeDateFormatter::string(now.addMSecs(milliseconds), now), expected) << milliseconds;
    }
}

// Any warning Qt prints while a sidebar test runs (an editor the view no longer knows, a
// model index of another model) is a fault of the sidebar.
struct NoQtWarnings {
    static inline std::vector<QString> warnings;
    static void record(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            warnings.push_back(message);
    }
    QtMessageHandler previous = qInstallMessageHandler(record);
    ~NoQtWarnings()
    {
        qInstallMessageHandler(previous);
        for (const QString& warning : std::exchange(warnings, {}))
            ADD_FAILURE() << "Qt warned: " << warning.toStdString();
    }
};

// The sidebar's list on its own: the model, the row delegate and the list view, with the
// rename going to a callback the test answers.
struct Rows {
    NoQtWarnings quiet;
    SnapshotSummary summary;
    std::vector<std::pair<QUuid, QString>> renames;
    bool acceptRename = true;
    // Set, a taken name publishes the layouts again in name order, as the store's listing does.
    std::vector<SnapshotSummary>* published = nullptr;
    DashboardSnapshotListModel* model = nullptr;
    std::unique_ptr<DashboardSnapshotListView> list;

    Rows()
    {
        summary.id = QUuid::createUuid();
        summary.name = "Work";
        summary.windowCount = 1;
        summary.displayCount = 1;
        summary.updatedAt = fixedDate(0, -61);
        list = std::make_unique<DashboardSnapshotListView>();
        model = new DashboardSnapshotListModel(
            [this](const QUuid& id, const QString& name) {
                renames.emplace_back(id, name);
                if (acceptRename && published) {
                    for (auto& entry : *published)
                        if (entry.id == id)
                            entry.name = name;
                    std::ranges::sort(*published, {}, &SnapshotSummary::name);
                    model->setSummaries(*published);
                }
                return acceptRename;
            },
            [] { return fixedDate(); }, list.get());
        list->setModel(model);
        model->setSummaries({summary});
        list->resize(280, 300);
        list->show();
        QApplication::setActiveWindow(list.get());
        QApplication::processEvents();
    }
    QLineEdit* field() const { return qobject_cast<QLineEdit*>(list->renameEditor()); }
    // A left click at `at` in the list's viewport.
    void click(QPoint at)
    {
        QMouseEvent down(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QMouseEvent up(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &down);
        QApplication::sendEvent(list->viewport(), &up);
    }
    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(field(), &event);
        QApplication::processEvents();
    }
    // As a person asks for it (F2): a locked row then opens nothing, without a word from Qt.
    void rename()
    {
        list->setCurrentRow(0);
        QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
        QApplication::sendEvent(list.get(), &f2);
        QApplication::processEvents();
    }
};

TEST(DashboardSnapshotRowTest, InlineRenameSubmitsAsTypedStaysOpenWhenRefusedAndEscapeDiscards)
{
    Rows f;
    EXPECT_EQ(f.model->index(0).data(DashboardSnapshotListModel::SummaryRole).toString(),
              "1 windows • 1 displays • 1 minute ago");
    f.rename();
    ASSERT_NE(f.field(), nullptr);
    EXPECT_EQ(f.field()->text(), "Work");
    EXPECT_EQ(f.field()->placeholderText(), "Layout name");
    // A visible field: its own base colour over the row, never text on the selection.
    EXPECT_TRUE(f.field()->autoFillBackground());
    EXPECT_TRUE(f.field()->hasFrame());
    EXPECT_GT(f.field()->width(), 150);

    f.acceptRename = false;
    f.field()->setText("  ");
    f.press(Qt::Key_Return);
    ASSERT_EQ(f.renames.size(), 1u);
    EXPECT_EQ(f.renames[0].second, "  ");
    ASSERT_NE(f.field(), nullptr) << "a refused name stays for correcting";
    EXPECT_EQ(f.field()->text(), "  ");

    // The dates move on while typing: what was typed stays.
    f.field()->setText("Typed");
    f.model->refreshDates();
    EXPECT_EQ(f.field()->text(), "Typed");
    f.press(Qt::Key_Escape);
    EXPECT_EQ(f.field(), nullptr);
    EXPECT_EQ(f.renames.size(), 1u);
    f.rename();
    EXPECT_EQ(f.field()->text(), "Work");

    f.acceptRename = true;
    f.field()->setText("Evening");
    f.press(Qt::Key_Return);
    EXPECT_EQ(f.field(), nullptr);
    EXPECT_EQ(f.renames.back(), std::make_pair(f.summary.id, QString("Evening")));

    // Locked: nothing opens.
    f.model->setActionDisabled(true);
    f.rename();
    EXPECT_EQ(f.field(), nullptr);
}

TEST(DashboardSnapshotRowTest, ShowingAnotherLayoutEndsTheRenameAndTheActionsButtonAsksForTheMenu)
{
    Rows f;
    f.rename();
    f.field()->setText("Half typed");
    SnapshotSummary same = f.summary;
    same.windowCount = 4;
    f.model->setSummaries({same});
    ASSERT_NE(f.field(), nullptr) << "the same layout keeps its rename";
    EXPECT_EQ(f.field()->text(), "Half typed");

    SnapshotSummary other = f.summary;
    other.id = QUuid::createUuid();
    other.name = "Other";
    f.model->setSummaries({other});
    QApplication::processEvents();
    EXPECT_EQ(f.field(), nullptr);
    EXPECT_EQ(f.model->index(0).data().toString(), "Other");
    EXPECT_TRUE(f.renames.empty());

    std::vector<int> asked;
    QObject::connect(f.list->rowDelegate(), &DashboardSnapshotRowDelegate::actionsButtonClicked,
                     [&](const QModelIndex& index, const QPoint&) { asked.push_back(index.row()); });
    const QRect row = f.list->visualRect(f.model->index(0));
    const auto layout = DashboardSnapshotRowDelegate::layout(row, f.list->font(), "Other", {}, {});
    EXPECT_EQ(layout.actionsButton.size(), QSize(22, 22));
    EXPECT_TRUE(row.contains(layout.actionsButton));
    for (const QPoint at : {layout.actionsButton.center(), row.topLeft() + QPoint(20, 8)})
        f.click(at);
    EXPECT_EQ(asked, std::vector<int>({0}));
}

// Moving to another row with the field open drops the draft as Escape would: a half-typed name
// is not stored and a blank one raises no refusal. A name taken by Return that reorders the
// rows closes the field without a word from Qt.
TEST(DashboardSnapshotRowTest, SelectingAnotherRowCancelsTheRenameAndAReorderingNameClosesQuietly)
{
    Rows f;
    SnapshotSummary beta = f.summary;
    beta.id = QUuid::createUuid();
    beta.name = "Beta";
    std::vector<SnapshotSummary> layouts{f.summary, beta};
    f.published = &layouts;
    f.model->setSummaries(layouts);
    const auto click = [&](int row) {
        f.click(f.list->visualRect(f.model->index(row)).center() - QPoint(40, 0));
        QApplication::processEvents();
    };
    for (const QString& draft : {QStringLiteral("Half typed"), QString()}) {
        f.rename();
        ASSERT_NE(f.field(), nullptr);
        f.field()->setText(draft);
        click(1);
        EXPECT_EQ(f.list->currentRow(), 1);
        EXPECT_EQ(f.field(), nullptr) << draft.toStdString();
        EXPECT_TRUE(f.renames.empty()) << draft.toStdString();
        EXPECT_EQ(f.model->index(0).data().toString(), "Work");
    }

    f.rename();
    f.field()->setText("Zulu");
    f.press(Qt::Key_Return);
    EXPECT_EQ(f.renames, (std::vector<std::pair<QUuid, QString>>{{f.summary.id, "Zulu"}}));
    EXPECT_EQ(f.model->index(1).data().toString(), "Zulu");
    EXPECT_EQ(f.list->renameEditor(), nullptr);
}

TEST(DashboardSnapshotRowTest, TextsOfAnyLengthAreElidedToTheirOwnSpace)
{
    const QFont font;
    const QRect row(0, 0, 280, DashboardSnapshotRowDelegate::rowHeight(font));
    const QString huge = QString("W").repeated(100000);
    const QString rtl = QStringLiteral("evil\u202Eexe.txt\u2028second line");
    struct Case {
        QString name, hotkey;
    };
    for (const Case& c : {Case {"Work", ""}, Case {"Work", "Ctrl+Alt+W"}, Case {huge, ""}, Case {"Work", huge},
                          Case {huge, huge}, Case {rtl, rtl},
                          Case {"A layout for the whole team's <b>quarterly</b> review &\nplanning", ""}}) {
        const auto l =
            DashboardSnapshotRowDelegate::layout(row, font, c.name, c.hotkey, "123456 windows • 654321 displays");
        const QFontMetrics metrics(font);
        const QFontMetrics caption(DashboardSnapshotRowDelegate::captionFont(font));
        // Each text inside its own rectangle, each rectangle inside the row, left of the button.
        EXPECT_LE(metrics.horizontalAdvance(l.shownName), l.name.width() + 1) << c.name.left(20).toStdString();
        EXPECT_LE(caption.horizontalAdvance(l.shownHotkey), l.hotkey.width() + 1);
        EXPECT_LE(caption.horizontalAdvance(l.shownSummary), l.summary.width() + 1);
        for (const QRect& r : {l.name, l.hotkey, l.summary}) {
            EXPECT_TRUE(r.isEmpty() || row.contains(r));
            EXPECT_LE(r.right(), l.actionsButton.left());
        }
        EXPECT_TRUE(row.contains(l.actionsButton));
        // A hotkey of any length leaves the name most of the line.
        EXPECT_GE(l.name.width(), (l.actionsButton.left() - row.left()) / 2);
        for (const QString& shown : {l.shownName, l.shownHotkey}) {
            EXPECT_FALSE(shown.contains('\n'));
            EXPECT_FALSE(shown.contains(QChar(0x2028)));
        }
        if (c.name == rtl) {
            // Isolated: the override cannot reach the text after it.
            EXPECT_TRUE(l.shownName.startsWith(QChar(0x2068)));
        }
    }
    const auto longName = DashboardSnapshotRowDelegate::layout(row, font, huge, {}, {});
    EXPECT_TRUE(longName.shownName.endsWith(QChar(0x2026)));
    EXPECT_LT(longName.shownName.size(), 100);
}

TEST(DashboardRowColorsTest, SecondaryTextKeepsItsContrastOnEveryBackground)
{
    struct Case {
        QColor text, background;
    };
    // Light and dark windows, selected rows of the usual highlight blues, a card's grey.
    const Case cases[] = {{Qt::black, QColor(239, 239, 239)}, {Qt::white, QColor(49, 54, 59)},
                          {Qt::white, QColor(48, 140, 198)}, {Qt::white, QColor(61, 174, 233)},
                          {QColor(35, 38, 41), QColor(224, 224, 224)}, {Qt::black, Qt::white}};
    for (Case c : cases) {
        c.background = DashboardRowColors::readableBackground(c.text, c.background);
        const QColor secondary = DashboardRowColors::secondary(c.text, c.background);
        EXPECT_GE(DashboardRowColors::contrast(c.text, c.background), 4.5) << c.background.name().toStdString();
        EXPECT_GE(DashboardRowColors::contrast(secondary, c.background), 4.5) << c.background.name().toStdString();
        // Still fainter than the primary text where the primary has room to spare.
        if (DashboardRowColors::contrast(c.text, c.background) > 7)
            EXPECT_LT(DashboardRowColors::contrast(secondary, c.background),
                      DashboardRowColors::contrast(c.text, c.background));
    }
    EXPECT_NEAR(DashboardRowColors::contrast(Qt::black, Qt::white), 21.0, 0.01);
}

TEST(DashboardSnapshotRowTest, TheSummaryOnTheSelectedRowReadsAtFourAndAHalfToOne)
{
    Rows f;
    // A theme whose selection is too light for its white selected text.
    QPalette palette = f.list->palette();
    palette.setColor(QPalette::Highlight, QColor(61, 174, 233));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    f.list->setPalette(palette);
    f.list->setCurrentRow(0);
    QApplication::processEvents();
    const QRect row = f.list->visualRect(f.model->index(0));
    const auto layout = DashboardSnapshotRowDelegate::layout(row, f.list->font(), "Work", {}, "");
    const QImage image = f.list->viewport()->grab().toImage();
    const QColor background = image.pixelColor(row.right() - 2, row.bottom() - 2);
    for (const QRect& text : {layout.name, layout.summary}) {
        double best = 1;
        for (int y = text.top(); y <= text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x)
                best = std::max(best, DashboardRowColors::contrast(image.pixelColor(x, y), background));
        EXPECT_GE(best, 4.5) << text.y();
    }
}

TEST(SidebarActionButtonTest, ToneFollowsHoverPrimaryAndEnabledAndOnlyThePaddedLabelClicks)
{
    using Tone = SidebarActionButton::Tone;
    SidebarActionButton button("Settings", "gearshape", false, 8, 12);
    button.resize(280, button.sizeHint().height());
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    EXPECT_EQ(button.tone(), Tone::secondary);

    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.tone(), Tone::primary);
    EXPECT_TRUE(button.showsHoverBackground());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.tone(), Tone::secondary);

    const auto clickAt = [&](QPoint at) {
        QMouseEvent down(QEvent::MouseButtonPress, at, button.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QMouseEvent up(QEvent::MouseButtonRelease, at, button.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(&button, &down);
        QApplication::sendEvent(&button, &up);
    };
    clickAt(QPoint(140, 3)); // in the top padding
    clickAt(QPoint(5, 20));  // in the side padding
    EXPECT_EQ(clicks, 0);
    clickAt(button.labelRect().center());
    EXPECT_EQ(clicks, 1);

    button.setEnabled(false);
    QApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.tone(), Tone::tertiary);
    EXPECT_FALSE(button.showsHoverBackground());
    clickAt(button.labelRect().center());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button.toolTip(), "Settings");

    SidebarActionButton primary("New Layout", "plus", true, 0, 8);
    EXPECT_EQ(primary.tone(), Tone::primary);
}

TEST(DashboardWindowRemovalConfirmationViewTest, ShowsTheWindowAsPlainTextAndEscapeCancels)
{
    struct Case {
        std::optional<QString> title;
        const char* shown;
    };
    for (const auto& c : {Case{std::nullopt, "Untitled window"}, Case{QString("   "), "Untitled window"},
                          Case{QString("<b>Inbox</b>"), "<b>Inbox</b>"}}) {
        DashboardAppIdentity mail;
        mail.bundleIdentifier = "org.example.Mail";
        mail.name = "Mail";
        const DashboardWindowRemovalConfirmation confirmation{QUuid::createUuid(), "Work", mail, QUuid::createUuid(),
                                                              c.title, true};
        int cancelled = 0, removed = 0;
        DashboardWindowRemovalConfirmationView sheet(confirmation, [&] { ++cancelled; }, [&] { ++removed; });
        sheet.show();
        QApplication::processEvents();

        EXPECT_EQ(sheet.width(), 430);
        EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
        EXPECT_EQ(sheet.appNameLabel()->text(), "Mail");
        EXPECT_EQ(sheet.windowTitleLabel()->text(), c.shown);
        EXPECT_EQ(sheet.windowTitleLabel()->textFormat(), Qt::PlainText);
        EXPECT_EQ(sheet.appNameLabel()->accessibleName(), QString("Mail, ") + c.shown);
        EXPECT_EQ(sheet.messageLabel()->text(), confirmation.message());
        EXPECT_TRUE(sheet.messageLabel()->wordWrap());

        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&sheet, &escape);
        EXPECT_EQ(cancelled, 1);
        EXPECT_TRUE(sheet.isVisible()) << "the owner closes the sheet";
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&sheet, &enter);
        EXPECT_EQ(removed, 0) << "Return never removes";
        sheet.removeButton()->click();
        EXPECT_EQ(removed, 1);
    }
}

TEST(DashboardWindowRemovalConfirmationViewTest, ALongTitleStaysOnOneLineWithAnEllipsis)
{
    DashboardAppIdentity editor;
    editor.name = "Editor";
    const QString longTitle = QString("chapter ").repeated(40);
    DashboardWindowRemovalConfirmationView sheet({QUuid::createUuid(), "Work", editor, QUuid::createUuid(), longTitle,
                                                  false},
                                                 [] {}, [] {});
    sheet.show();
    QApplication::processEvents();
    const QString shown = sheet.windowTitleLabel()->text();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LT(shown.size(), longTitle.size());
    EXPECT_FALSE(shown.contains('\n'));
}

} // namespace
} // namespace zen
