#include "Updates/UpdateAlert.h"

#include <QLabel>
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

} // namespace
} // namespace zen
