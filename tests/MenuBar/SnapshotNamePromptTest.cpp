#include "MenuBar/SnapshotNamePrompt.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace zen {
namespace {

using Purpose = SnapshotNameDialog::Purpose;

std::optional<QString> answerAfter(Purpose purpose, const QString& given, const QString& typed, bool confirm)
{
    SnapshotNameDialog dialog(purpose, given);
    dialog.show();
    dialog.nameField()->setText(typed);
    (confirm ? dialog.confirmButton() : dialog.cancelButton())->click();
    return dialog.answer();
}

TEST(SnapshotNamePromptTest, AnswersTrimmedTextTheDefaultForABlankSaveAndNothingOnCancel)
{
    struct Case {
        Purpose purpose;
        QString given, typed;
        bool confirm;
        std::optional<QString> answer;
    };
    for (const Case& c : {Case{Purpose::save, "Layout 3", "", true, "Layout 3"},
                          Case{Purpose::save, "Layout 3", "   \n\t", true, "Layout 3"},
                          Case{Purpose::save, " Layout 3 ", "", true, " Layout 3 "}, // the default as passed, untrimmed
                          Case{Purpose::save, "Layout 3", "  Work  ", true, "Work"},
                          Case{Purpose::rename, "Old", "  Work  ", true, "Work"},
                          Case{Purpose::rename, "Old", "  ", true, ""}, // a blank rename is the caller's to refuse
                          Case{Purpose::save, "Layout 3", "Changed", false, std::nullopt},
                          Case{Purpose::rename, "Old", "Changed", false, std::nullopt}})
        EXPECT_EQ(answerAfter(c.purpose, c.given, c.typed, c.confirm), c.answer) << c.typed.toStdString();
    SnapshotNameDialog closed(Purpose::rename, "Old");
    closed.show();
    closed.close();
    EXPECT_EQ(closed.answer(), std::nullopt);
}

TEST(SnapshotNamePromptTest, ShowsTheTextsOfEachPurposeAsPlainTextWithTheNameSelected)
{
    const QString hostile = "<b>Work</b> & <img src=x>";
    SnapshotNameDialog dialog(Purpose::rename, hostile);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Rename Layout");
    EXPECT_EQ(dialog.confirmButton()->text(), "Rename");
    EXPECT_EQ(dialog.cancelButton()->text(), "Cancel");
    EXPECT_EQ(dialog.nameField()->text(), hostile);
    EXPECT_EQ(dialog.nameField()->selectedText(), hostile);
    QStringList texts;
    for (auto* label : dialog.findChildren<QLabel*>()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("Choose a new name for this layout."));

    SnapshotNameDialog save(Purpose::save, "Layout 1");
    EXPECT_EQ(save.windowTitle(), "Save Current Layout");
    EXPECT_EQ(save.confirmButton()->text(), "Save");
    EXPECT_TRUE(save.confirmButton()->isDefault());
}

TEST(SnapshotNamePromptTest, ModalPromptReturnsWhatWasConfirmed)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<SnapshotNameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->nameField()->setText("  Evening  ");
        dialog->confirmButton()->click();
    });
    EXPECT_EQ(SnapshotNamePrompt::prompt("Layout 1"), QString("Evening"));
}

} // namespace
} // namespace zen
