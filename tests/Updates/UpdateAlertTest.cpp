#include "Updates/UpdateAlert.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

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
        EXPECT_EQ(alert->windowTitle(), "Zentharion <b>2.0</b>");
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

} // namespace
} // namespace zen
