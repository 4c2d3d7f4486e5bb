#include "MenuBar/SnapshotNamePrompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <functional>

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

// A window manager that prevents focus stealing may leave a prompt from the tray without the
// keyboard; the prompt asks for it directly once it is on screen, and once only.
TEST(SnapshotNamePromptTest, TheModalPromptAsksForTheKeyboardOnceItIsOnScreen)
{
    std::vector<WId> brought;
    WId prompt = 0;
    QTimer answer;
    answer.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<SnapshotNameDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        prompt = dialog->winId();
        if (!brought.empty())
            dialog->confirmButton()->click();
        else if (clock.hasExpired(10000)) // never on screen: end rather than hang
            dialog->cancelButton()->click();
    });
    answer.start();
    EXPECT_EQ(SnapshotNamePrompt::promptRename("Old", nullptr, [&](WId window) { brought.push_back(window); }),
              QString("Old"));
    EXPECT_EQ(brought, std::vector<WId>{prompt});
}

// Types into a window as the window system delivers keys: to the window, which hands each to
// whatever it routes keys to.
void typeInto(QWindow* window, const QString& text)
{
    for (const QChar c : text) {
        const bool enter = c == '\r';
        const int key = enter ? Qt::Key_Return : Qt::Key_A + (c.toUpper().unicode() - 'A');
        const Qt::KeyboardModifiers modifiers = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(c));
        QCoreApplication::sendEvent(window, &press);
        QCoreApplication::sendEvent(window, &release);
    }
}

// The prompt asks for the keyboard once, as it is first on screen, and never takes it back by
// itself: a window the person turns to keeps it, however long the prompt waits. Once the person
// gives it the keyboard, what they type lands in its name field: no grab takes the keys for the
// dialog itself.
TEST(SnapshotNamePromptTest, APromptAsksForTheKeyboardOnceAndLeavesItWhereThePersonPutsIt)
{
    const auto waitUntil = [](const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && !clock.hasExpired(ms))
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    };
    for (const bool keyboardElsewhere : {false, true}) {
        SCOPED_TRACE(keyboardElsewhere ? "keyboard elsewhere" : "keyboard in the prompt");
        QWidget elsewhere;
        std::vector<WId> brought;
        SnapshotNameDialog dialog(Purpose::save, "Layout 1");
        dialog.setBringForward([&](WId window) { brought.push_back(window); });
        dialog.show();
        ASSERT_TRUE(waitUntil([&] { return brought.size() == 1; }));
        if (keyboardElsewhere) {
            elsewhere.show();
            elsewhere.activateWindow();
            ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &elsewhere; }));
        }
        waitUntil([] { return false; }, 1500);
        // Uncovered again and again (a window over it moved away), it still leaves the keyboard
        // where it is.
        for (int expose = 0; expose < 3; ++expose) {
            QExposeEvent uncovered(QRegion(QRect(QPoint(), dialog.size())));
            QCoreApplication::sendEvent(dialog.windowHandle(), &uncovered);
        }
        EXPECT_EQ(brought, std::vector<WId>{dialog.winId()});
        EXPECT_EQ(QApplication::activeWindow(), keyboardElsewhere ? &elsewhere : static_cast<QWidget*>(&dialog));
        EXPECT_EQ(dialog.nameField()->text(), "Layout 1");

        // The person clicks the prompt.
        dialog.activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &dialog; }));
        EXPECT_EQ(QWidget::keyboardGrabber(), nullptr) << "the dialog takes the keys from its name field";
        typeInto(dialog.windowHandle(), "Evening");
        EXPECT_EQ(dialog.nameField()->text(), "Evening");
        typeInto(dialog.windowHandle(), "\r");
        EXPECT_EQ(dialog.answer(), QString("Evening"));
    }
}

} // namespace
} // namespace zen
