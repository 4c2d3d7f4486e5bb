#include "Updates/UpdateAlert.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QWindow>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace zen {
namespace {

TEST(UpdateAlertTest, FeedTextIsPlainAndEveryWayOutAnswersOnce)
{
    const UpdateFeedItem item{"2.0", "<b>2.0</b>", QUrl("https://example.org/2"), "<script>x</script> & more"};
    struct Case {
        const char* how;
        std::vector<UpdaterUserChoice> expected;
    };
    const Case cases[] = {
        {"Install", {UpdaterUserChoice::install}},
        {"Skip This Version", {UpdaterUserChoice::skip}},
        {"Remind Me Later", {UpdaterUserChoice::dismiss}},
        {"close", {UpdaterUserChoice::dismiss}},
    };
    for (const Case& c : cases) {
        UpdateAlert* alert = UpdateAlert::updateFound(item, "1.0");
        std::vector<UpdaterUserChoice> answers;
        QObject::connect(alert, &UpdateAlert::answered, [&](UpdaterUserChoice choice) { answers.push_back(choice); });
        alert->show();
        EXPECT_EQ(alert->windowTitle(), QStringLiteral("Zentharion <b>2.0</b>"));
        for (QLabel* label : alert->findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        ASSERT_NE(alert->findChild<QPlainTextEdit*>("notes"), nullptr);
        EXPECT_EQ(alert->findChild<QPlainTextEdit*>("notes")->toPlainText(), item.notes);
        if (QString(c.how) == "close") {
            alert->close();
        } else {
            alert->button(c.how)->click();
            alert->close(); // a second way out after the answer adds nothing
        }
        EXPECT_EQ(answers, c.expected) << c.how;
        delete alert;
    }
}

TEST(UpdateAlertTest, FeedTextReachesTheWidgetsBoundedAndIsolated)
{
    // One unbroken megabyte of notes and of version label: what the widgets are handed to lay
    // out is cut, so the dialog opens at once whatever the feed holds.
    const QString huge(1'000'000, QChar(u'x'));
    const UpdateFeedItem item{"2.0", huge, QUrl("https://example.org/2"), huge};
    std::unique_ptr<UpdateAlert> alert(UpdateAlert::updateFound(item, "1.0"));
    alert->show();
    const QString notes = alert->findChild<QPlainTextEdit*>("notes")->toPlainText();
    EXPECT_EQ(notes.size(), UpdateAlert::maximumNotesLength + 1);
    EXPECT_TRUE(notes.endsWith(QChar(0x2026)));
    qsizetype laidOut = alert->windowTitle().size();
    for (QLabel* label : alert->findChildren<QLabel*>())
        laidOut += label->text().size();
    EXPECT_LT(laidOut, 400);

    // A right-to-left override and a line separator in the label stay inside it.
    const UpdateFeedItem evil{"2.0", QString::fromUtf16(u"\u202E2.0\u2028x"), QUrl("https://example.org/2"), {}};
    std::unique_ptr<UpdateAlert> offer(UpdateAlert::updateFound(evil, "1.0"));
    const auto labels = offer->findChildren<QLabel*>();
    EXPECT_TRUE(std::ranges::any_of(labels, [](QLabel* l) {
        return l->text().startsWith(QString::fromUtf16(u"Zentharion \u2068\u202E2.0 x\u2069 is available; you have 1.0."));
    }));
    EXPECT_EQ(UpdateAlert::cutForDisplay(QString::fromUtf16(u"ab\U0001F600"), 3), QString::fromUtf16(u"ab\u2026"));

    // A label of exactly the limit is shown whole, in the sentence and in the title.
    const QString longest(UpdateAlert::maximumVersionLength, QChar(u'7'));
    std::unique_ptr<UpdateAlert> whole(UpdateAlert::updateFound({"7.0", longest, QUrl("https://example.org/7"), {}}, "1.0"));
    EXPECT_EQ(whole->windowTitle(), "Zentharion " + longest);
    EXPECT_TRUE(std::ranges::any_of(whole->findChildren<QLabel*>(), [&](QLabel* l) {
        return l->text().startsWith("Zentharion " + longest + " is available");
    }));
}

// While the dashboard is shown, the dialogs are its own: kept above it, centred on it, with the
// program's icon; a dashboard that goes takes the open question with it, answered as closed.
// With no dashboard shown they stand alone.
TEST(UpdateAlertTest, DialogsBelongToTheShownDashboard)
{
    const QIcon programIcon = QApplication::windowIcon();
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkCyan);
    QApplication::setWindowIcon(QIcon(pixmap));
    auto* dashboard = new QWidget;
    dashboard->setGeometry(120, 90, 900, 600);
    dashboard->show();
    QWidget* shown = dashboard;
    UpdateAlertUserDriver driver([&shown] { return shown; });
    std::vector<UpdaterUserChoice> answers;
    driver.showUpdateFound({"2.0", "2.0", QUrl("https://example.org/2"), "Notes"}, "1.0",
                           [&answers](UpdaterUserChoice choice) { answers.push_back(choice); });
    auto* offer = dashboard->findChild<UpdateAlert*>();
    ASSERT_NE(offer, nullptr);
    ASSERT_TRUE(offer->isVisible());
    EXPECT_TRUE(offer->isWindow());
    ASSERT_NE(offer->windowHandle(), nullptr);
    EXPECT_EQ(offer->windowHandle()->transientParent(), dashboard->windowHandle());
    const QPoint offCentre = offer->geometry().center() - dashboard->geometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 4) << offCentre.x() << "," << offCentre.y();
    EXPECT_EQ(offer->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());

    delete dashboard;
    EXPECT_EQ(answers, std::vector{UpdaterUserChoice::dismiss});

    shown = nullptr;
    int acknowledged = 0;
    driver.showUpToDate("1.0", [&acknowledged] { ++acknowledged; });
    UpdateAlert* alone = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* alert = qobject_cast<UpdateAlert*>(window); alert && alert->isVisible())
            alone = alert;
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->parentWidget(), nullptr);
    alone->button("OK")->click();
    EXPECT_EQ(acknowledged, 1);
    QApplication::setWindowIcon(programIcon);
}

} // namespace
} // namespace zen
