// The sidebar's pieces on their own: the layout row, the action button, the relative dates,
// and the window-removal sheet.
#include "Dashboard/DashboardElidedLabel.h"
#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Dashboard/DashboardSnapshotRow.h"
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

struct Row {
    SnapshotSummary summary;
    std::vector<std::pair<QUuid, QString>> renames;
    bool acceptRename = true;
    int assigned = 0, cleared = 0, deleted = 0;
    std::unique_ptr<DashboardSnapshotRow> row;

    explicit Row(bool withHotkey = false, bool disabled = false)
    {
        summary.id = QUuid::createUuid();
        summary.name = "Work";
        summary.windowCount = 1;
        summary.displayCount = 1;
        summary.updatedAt = fixedDate(0, -61);
        if (withHotkey)
            summary.hotkey = HotkeyBinding{40, 0x100, "Command-K"};
        row = std::make_unique<DashboardSnapshotRow>(summary, actions(), disabled, [] { return fixedDate(); });
        row->show();
        QApplication::processEvents();
    }
    DashboardSnapshotRow::Actions actions()
    {
        return {[this](const QUuid& id, const QString& name) {
                    renames.emplace_back(id, name);
                    return acceptRename;
                },
                [this] { ++assigned; }, [this] { ++cleared; }, [this] { ++deleted; }};
    }
    QStringList menuItems(bool enabledOnly = false)
    {
        QMenu menu;
        row->fillActionsMenu(menu);
        QStringList items;
        for (QAction* action : menu.actions())
            if (!enabledOnly || (action->isEnabled() && !action->isSeparator()))
                items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return items;
    }
    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(row->nameField(), &event);
    }
};

TEST(DashboardSnapshotRowTest, TheMenuOffersTheHotkeyItemsTheLayoutNeedsAndNothingWhileLocked)
{
    Row plain;
    EXPECT_EQ(plain.menuItems(), QStringList({"Rename", "Set Hotkey", "-", "Delete"}));
    EXPECT_EQ(plain.row->summaryLabel()->text(), "1 windows • 1 displays • 1 minute ago");

    Row withHotkey(true);
    EXPECT_EQ(withHotkey.menuItems(), QStringList({"Rename", "Change Hotkey", "Clear Hotkey", "-", "Delete"}));
    QMenu menu;
    withHotkey.row->fillActionsMenu(menu);
    for (QAction* action : menu.actions())
        action->trigger();
    EXPECT_EQ(withHotkey.assigned, 1);
    EXPECT_EQ(withHotkey.cleared, 1);
    EXPECT_EQ(withHotkey.deleted, 1);
    EXPECT_TRUE(withHotkey.row->isRenaming());

    Row locked(true, true);
    EXPECT_TRUE(locked.menuItems(true).isEmpty());
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(locked.row->nameLabel(), &doubleClick);
    EXPECT_FALSE(locked.row->isRenaming());
}

TEST(DashboardSnapshotRowTest, InlineRenameSubmitsAsTypedStaysOpenWhenRefusedAndEscapeDiscards)
{
    Row f;
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(f.row->nameLabel(), &doubleClick);
    ASSERT_TRUE(f.row->isRenaming());
    EXPECT_EQ(f.row->nameField()->text(), "Work");
    EXPECT_EQ(f.row->nameField()->placeholderText(), "Layout name");

    f.acceptRename = false;
    f.row->nameField()->setText("  ");
    f.press(Qt::Key_Return);
    ASSERT_EQ(f.renames.size(), 1u);
    EXPECT_EQ(f.renames[0].second, "  ");
    EXPECT_TRUE(f.row->isRenaming());
    EXPECT_EQ(f.row->nameField()->text(), "  ");

    f.row->nameField()->setText("Typed");
    f.press(Qt::Key_Escape);
    EXPECT_FALSE(f.row->isRenaming());
    EXPECT_EQ(f.renames.size(), 1u);
    f.row->beginInlineRename();
    EXPECT_EQ(f.row->nameField()->text(), "Work");

    f.acceptRename = true;
    f.row->nameField()->setText("Evening");
    f.press(Qt::Key_Return);
    EXPECT_FALSE(f.row->isRenaming());
    EXPECT_EQ(f.renames.back(), std::make_pair(f.summary.id, QString("Evening")));
}

TEST(DashboardSnapshotRowTest, ShowingAnotherLayoutEndsTheRenameAndHoverRevealsTheActionsButton)
{
    Row f;
    f.row->beginInlineRename();
    f.row->nameField()->setText("Half typed");
    SnapshotSummary same = f.summary;
    same.windowCount = 4;
    f.row->setSnapshot(same, f.actions());
    EXPECT_TRUE(f.row->isRenaming()) << "the same layout keeps its rename";

    SnapshotSummary other = f.summary;
    other.id = QUuid::createUuid();
    other.name = "Other";
    f.row->setSnapshot(other, f.actions());
    EXPECT_FALSE(f.row->isRenaming());
    EXPECT_EQ(f.row->nameLabel()->text(), "Other");
    EXPECT_TRUE(f.renames.empty());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f.row.get(), &leave);
    EXPECT_FALSE(f.row->actionsButton()->isVisible());
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(f.row.get(), &enter);
    EXPECT_TRUE(f.row->actionsButton()->isVisible());
    EXPECT_EQ(f.row->actionsButton()->toolTip(), "Layout actions");
    EXPECT_EQ(f.row->actionsButton()->size(), QSize(22, 22));
    QApplication::sendEvent(f.row.get(), &leave);
    EXPECT_FALSE(f.row->actionsButton()->isVisible());
}

TEST(DashboardSnapshotRowTest, ANameTooLongForTheSidebarEndsInAnEllipsisInsteadOfBeingCut)
{
    Row f;
    f.row->resize(200, f.row->sizeHint().height());
    QApplication::processEvents();
    auto* name = qobject_cast<DashboardElidedLabel*>(f.row->nameLabel());
    ASSERT_NE(name, nullptr);
    auto* summary = qobject_cast<DashboardElidedLabel*>(f.row->summaryLabel());
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(name->shownText(), "Work") << "a short name is shown whole";

    SnapshotSummary longer = f.summary;
    longer.name = "A layout for the whole team's <b>quarterly</b> review &\nplanning";
    longer.windowCount = 123456;
    longer.displayCount = 654321;
    f.row->setSnapshot(longer, f.actions());
    QApplication::processEvents();
    EXPECT_EQ(name->text(), longer.name) << "the label keeps the whole name";
    for (DashboardElidedLabel* label : {name, summary}) {
        const QString shown = label->shownText();
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
        EXPECT_FALSE(shown.contains('\n'));

        // What is painted is that shortened line, not the whole text cut at the edge.
        QImage expected(label->size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            painter.setPen(label->palette().color(label->foregroundRole()));
            painter.setFont(label->font());
            painter.drawText(label->contentsRect(), int(label->alignment()) | Qt::TextSingleLine, shown);
        }
        QImage painted(label->size(), QImage::Format_ARGB32_Premultiplied);
        painted.fill(Qt::transparent);
        label->render(&painted, QPoint(), QRegion(), QWidget::DrawChildren);
        EXPECT_EQ(painted, expected) << label->text().toStdString();
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
