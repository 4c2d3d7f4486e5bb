#include "MenuBar/DisplayRestoreSuggestionToastContentView.h"
#include "MenuBar/OperationCompletionToastContentView.h"
#include "MenuBar/OperationToastCloseButton.h"
#include "MenuBar/OverlayGlyph.h"
#include "MenuBar/StatusNoticeContentView.h"
#include "MenuBar/ToastTextLabel.h"

#include <QFont>
#include <QImage>
#include <QPushButton>

#include <gtest/gtest.h>

namespace zen {
namespace {

const QChar ellipsis(0x2026);

TEST(OverlayPanelViewsTest, TextIsCutAtItsLineLimitWithAnEllipsis)
{
    QFont font;
    font.setPixelSize(12);
    const QString sevenLines = "one\ntwo\nthree\nfour\nfive\nsix\nseven";
    const QString longWords = QString("word ").repeated(80).trimmed();
    const struct {
        QString text;
        int maximumLines;
        QStringList expectedStart; // every shown line but a cut last one, which starts so
        int shownLines;
        bool truncated;
    } cases[] = {
        {sevenLines, 6, {"one", "two", "three", "four", "five", "six"}, 6, true},
        {"one\ntwo", 6, {"one", "two"}, 2, false},
        {"one\n\nthree\n", 6, {"one", "", "three", ""}, 4, false},
        {longWords, 3, {"word"}, 3, true},
        {"Restore \"" + QString("Very long layout name ").repeated(10) + "\"?", 1, {"Restore \"Very"}, 1, true},
        {"Short", 1, {"Short"}, 1, false},
    };
    for (const auto& c : cases) {
        ToastTextLabel label(c.text, font, Qt::white, c.maximumLines);
        const QStringList lines = label.visibleLines(300);
        ASSERT_EQ(lines.size(), c.shownLines) << c.text.toStdString();
        EXPECT_EQ(label.isTruncated(300), c.truncated) << c.text.toStdString();
        for (int i = 0; i < c.expectedStart.size() && i < lines.size(); ++i)
            EXPECT_EQ(lines[i].left(c.expectedStart[i].size()), c.expectedStart[i]) << i << ": " << lines.join("|").toStdString();
        if (c.truncated) {
            EXPECT_TRUE(lines.last().endsWith(ellipsis)) << lines.last().toStdString();
            EXPECT_FALSE(lines.last().endsWith("\"?"));
        }
        EXPECT_EQ(label.text(), c.text); // the whole text stays available (accessibility)
    }
}

TEST(OverlayPanelViewsTest, CardsDrawTheirContentAsPlainText)
{
    OperationCompletionToastContentView toast("Restored \"<b>Work</b>\": 1 window restored.", QString("a\nb"), {},
                                              false);
    toast.buildView();
    toast.resize(460, 118);
    const QImage image = toast.grab().toImage();
    EXPECT_EQ(toast.closeButton()->geometry(), QRect(430, 10, 20, 20));
    EXPECT_EQ(toast.closeButton()->toolTip(), "Dismiss");
    // The solid card fills the toast; the summary is drawn in white on it.
    EXPECT_EQ(image.pixelColor(200, 110).rgb(), ToastCardView::fill(false).rgb());
    bool whiteText = false;
    for (int x = 50; x < 300 && !whiteText; ++x)
        for (int y = 14; y < 60 && !whiteText; ++y)
            whiteText = image.pixelColor(x, y).lightness() > 230;
    EXPECT_TRUE(whiteText);

    // The glyph follows the outcome: a check only when nothing was left alone.
    for (const auto& [detail, tint, other] :
         {std::tuple{std::optional<QString>(), OperationCompletionToastContentView::restoredTint,
                     OperationCompletionToastContentView::skippedTint},
          std::tuple{std::optional<QString>("Mail: window not found"), OperationCompletionToastContentView::skippedTint,
                     OperationCompletionToastContentView::restoredTint}}) {
        OperationCompletionToastContentView done("Restored \"Work\".", detail, {}, false);
        done.buildView();
        done.resize(460, 118);
        const QImage shot = done.grab().toImage();
        const QRect glyph = done.icon()->geometry();
        int tinted = 0, otherTinted = 0;
        for (int x = glyph.left(); x <= glyph.right(); ++x)
            for (int y = glyph.top(); y <= glyph.bottom(); ++y) {
                tinted += shot.pixelColor(x, y).rgb() == tint.rgb();
                otherTinted += shot.pixelColor(x, y).rgb() == other.rgb();
            }
        EXPECT_GT(tinted, 40) << detail.value_or("no detail").toStdString();
        EXPECT_EQ(otherTinted, 0) << detail.value_or("no detail").toStdString();
    }

    int dismissed = 0;
    DisplayRestoreSuggestionToastContentView suggestion("Desk", {}, [&] { ++dismissed; }, false);
    suggestion.buildView();
    suggestion.resize(460, 112);
    suggestion.grab();
    const QRect button = suggestion.restoreButton()->geometry();
    EXPECT_EQ(button.right(), 460 - 16 - 1);
    EXPECT_EQ(button.bottom(), 112 - 14 - 1);
    EXPECT_GE(button.width(), 84);
    suggestion.closeButton()->click();
    EXPECT_EQ(dismissed, 1);
}

} // namespace
} // namespace zen
