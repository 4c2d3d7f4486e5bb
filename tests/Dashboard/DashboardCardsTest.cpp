#include "Dashboard/DashboardInactiveAppsView.h"
#include "Dashboard/DashboardIssueBanner.h"
#include "Dashboard/DashboardSymbols.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Support/LiveDesktop.h"
#include "Support/SnapshotFixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace zen {
namespace {

using test::makeSnapshot;
using test::makeWindow;

QStringList texts(const QWidget& widget, const QString& objectName = QString())
{
    QStringList out;
    for (const QLabel* label : widget.findChildren<QLabel*>(objectName)) {
        if (!label->text().isEmpty() && !label->isHidden())
            out << label->text();
    }
    return out;
}

TEST(DashboardInactiveAppsViewTest, ListsWhatARestoreWillOpen)
{
    DashboardAppIdentityResolver resolver = test::makeTableResolver({{"org.example.Mail", "Mail"}, {"org.example.Notes", "Notes"}});
    const Snapshot layout = makeSnapshot("L", {makeWindow("org.example.Mail", 1), makeWindow("org.example.Notes", 1),
                                               makeWindow("org.example.Notes", 1), makeWindow("org.example.Notes", 1),
                                               makeWindow("org.example.Gone", 1)});
    struct Case {
        const char* name;
        Snapshot snapshot;
        QSet<QString> running;
        QStringList names;
        QStringList counts;
        QStringList messages; // texts that must be shown
    };
    const QString opens =
        "Zentharion will try to open these apps before restoring. If an app does not open, its saved windows may be skipped.";
    const QString goneCannot = "org.example.Gone has no desktop entry, so Zentharion cannot open it: open it yourself "
                               "before restoring, or its saved windows are skipped.";
    const std::vector<Case> cases {
        {"nothing running", layout, {}, {"Notes", "Mail", "org.example.Gone"}, {"3 windows", "1 window", "1 window"},
         {opens, goneCannot}},
        {"one launched", layout, {"org.example.Notes"}, {"Mail", "org.example.Gone"}, {"1 window", "1 window"},
         {"Not Running", opens, goneCannot}},
        // Nothing to open it from: no promise to try.
        {"only one without an entry", layout, {"org.example.Notes", "org.example.Mail"}, {"org.example.Gone"}, {"1 window"},
         {goneCannot}},
        {"only apps with entries", layout, {"org.example.Gone"}, {"Notes", "Mail"}, {"3 windows", "1 window"}, {opens}},
        {"all running", layout, {"org.example.Mail", "org.example.Notes", "org.example.Gone"}, {}, {},
         {"All saved apps are running."}},
        {"no windows", makeSnapshot("Empty", {}), {}, {}, {}, {"No windows were saved in this layout."}},
        {"no windows, whatever runs", makeSnapshot("Empty", {}), {"org.example.Mail"}, {}, {},
         {"No windows were saved in this layout."}},
    };
    DashboardInactiveAppsView view(layout, resolver, {});
    for (const Case& c : cases) {
        view.update(c.snapshot, c.running);
        EXPECT_EQ(texts(view, "appName"), c.names) << c.name;
        EXPECT_EQ(texts(view, "windowCount"), c.counts) << c.name;
        for (const QString& message : c.messages)
            EXPECT_TRUE(texts(view).contains(message)) << c.name << ": " << message.toStdString();
        EXPECT_EQ(texts(view).contains(opens), c.messages.contains(opens)) << c.name;
        EXPECT_EQ(texts(view).first(), "Inactive Apps") << c.name;
        for (const QLabel* label : view.findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText);
            }
        }
    }
}

TEST(DashboardIssueBannerTest, ButtonOnlyWithTitleAndAction)
{
    int calls = 0;
    const auto action = [&calls] { ++calls; };
    DashboardIssueBanner noAction("Accessibility Required", "Grant permission.", "hand.raised.fill", Qt::darkYellow,
                                  QStringLiteral("Open Access Help"));
    EXPECT_EQ(noAction.actionButton(), nullptr);
    DashboardIssueBanner noTitle("Layout Action Failed", "Message", "exclamationmark.triangle.fill", Qt::red, std::nullopt,
                                 action);
    EXPECT_EQ(noTitle.actionButton(), nullptr);
    DashboardIssueBanner both("Accessibility Required", "Grant permission.", "hand.raised.fill", Qt::darkYellow,
                              QStringLiteral("Open & Allow"), action);
    ASSERT_NE(both.actionButton(), nullptr);
    EXPECT_EQ(both.actionButton()->text(), "Open && Allow");
    both.actionButton()->click();
    EXPECT_EQ(calls, 1);
}

TEST(DashboardIssueBannerTest, LongMessagesWrapAndStayPlain)
{
    const QString message = QStringLiteral("<b>The layout file</b> could not be written because the disk is full; "
                                           "free some space and try again. ")
                                .repeated(4);
    DashboardIssueBanner banner("Storage Setup Failed", message, "externaldrive.badge.exclamationmark", Qt::red);
    EXPECT_EQ(banner.message(), message);
    banner.resize(360, banner.heightForWidth(360) > 0 ? banner.heightForWidth(360) : banner.sizeHint().height());
    const QLabel* shown = nullptr;
    for (const QLabel* label : banner.findChildren<QLabel*>()) {
        if (label->text() == message)
            shown = label;
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->textFormat(), Qt::PlainText);
    EXPECT_TRUE(shown->wordWrap());
    // Every line fits: the banner is as tall as the wrapped text needs, several lines.
    EXPECT_GT(banner.heightForWidth(360), 4 * shown->fontMetrics().height());
    EXPECT_GE(banner.heightForWidth(360), banner.heightForWidth(720));
}

// The message as the banner draws it, with the places where a line may break.
QString drawnMessage(const DashboardIssueBanner& banner)
{
    for (const QLabel* label : banner.findChildren<QLabel*>())
        if (label->wordWrap())
            return label->text();
    return {};
}

// Whether every half of a character drawn has its other half beside it.
bool wholeCharacters(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate()))
            return false;
        if (text.at(i).isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate()))
            return false;
    }
    return true;
}

// An unbroken run of up to 120 characters (a file name, an id) is shown whole; a longer one
// keeps its start and its end around an ellipsis, cut between characters, never inside one.
TEST(DashboardIssueBannerTest, LongRunsAreCutInTheMiddleBetweenWholeCharacters)
{
    const QString exact = QString(120, u'x');
    const QString longer = QString(60, u'a') + QString(61, u'b');
    const QString emoji = QString::fromUtf8("\U0001F600").repeated(200);
    struct Case {
        const char* story;
        QString run;
        bool whole;
    };
    for (const Case& c : {Case{"exactly 120", exact, true}, Case{"121", longer, false}, Case{"emoji", emoji, false},
                          Case{"emoji after a letter", QStringLiteral("a") + emoji, false},
                          Case{"emoji before a letter", emoji + QStringLiteral("a"), false}}) {
        SCOPED_TRACE(c.story);
        const QString message = QStringLiteral("The file %1 could not be read.").arg(c.run);
        DashboardIssueBanner banner("Layout Action Failed", message, "exclamationmark.triangle.fill", Qt::red);
        const QString drawn = drawnMessage(banner);
        EXPECT_TRUE(wholeCharacters(drawn));
        const QString shown = QString(drawn).remove(QChar(0x200B));
        if (c.whole) {
            EXPECT_EQ(shown, message);
            continue;
        }
        const qsizetype start = QStringLiteral("The file ").size();
        const qsizetype cut = shown.indexOf(QChar(0x2026));
        ASSERT_GT(cut, start);
        const QString head = shown.mid(start, cut - start);
        const QString tail = shown.mid(cut + 1).chopped(QStringLiteral(" could not be read.").size());
        EXPECT_TRUE(c.run.startsWith(head));
        EXPECT_TRUE(c.run.endsWith(tail));
        EXPECT_LE(head.size() + 1 + tail.size(), 120);
        EXPECT_GE(head.size() + 1 + tail.size(), 118) << "the run keeps what fits";
    }
}

// An application with no desktop entry is named in the note by its id: an id of 49 characters
// whole, a longer one by its first and last 24 around an ellipsis.
TEST(DashboardInactiveAppsViewTest, TheNoteNamesAnIdOfFortyNineCharactersWhole)
{
    DashboardAppIdentityResolver resolver = test::makeTableResolver({});
    for (const int length : {49, 50, 200}) {
        SCOPED_TRACE(length);
        QString named = QStringLiteral("org.example.") + QString(length - 13, u'x') + QStringLiteral("z");
        DashboardInactiveAppsView view(makeSnapshot("L", {makeWindow(named, 1)}), resolver, {});
        const QStringList shown = texts(view).filter(QStringLiteral("has no desktop entry"));
        ASSERT_EQ(shown.size(), 1);
        const QString name = shown.front().section(QStringLiteral(" has no desktop entry"), 0, 0);
        if (length == 49)
            EXPECT_EQ(name, named);
        else
            EXPECT_EQ(name, named.left(24) + QChar(0x2026) + named.right(24));
    }
}

TEST(DashboardCardsScreenshotTest, BannerAndInactiveApps)
{
    DashboardAppIdentityResolver resolver = test::makeTableResolver({{"org.example.Mail", "Mail"}}, QColor(70, 130, 200));
    QWidget page;
    auto* layout = new QVBoxLayout(&page);
    layout->addWidget(new DashboardIssueBanner("Accessibility Required", "Grant permission before saving or restoring layouts.",
                                               "hand.raised.fill", QColor(255, 149, 0), QStringLiteral("Open Access Help"),
                                               [] {}));
    layout->addWidget(new DashboardIssueBanner("Layout Action Failed", "The layout could not be found.",
                                               "exclamationmark.triangle.fill", QColor(255, 59, 48)));
    layout->addWidget(new DashboardInactiveAppsView(
        makeSnapshot("L", {makeWindow("org.example.Mail", 1), makeWindow("org.example.Mail", 1), makeWindow("org.example.Gone", 1)}),
        resolver, {}));
    layout->addWidget(new DashboardInactiveAppsView(makeSnapshot("L", {makeWindow("org.example.Mail", 1)}), resolver,
                                                    {"org.example.Mail"}));
    page.resize(520, page.sizeHint().height());
    const QImage image = page.grab().toImage();
    EXPECT_FALSE(image.isNull());
    // To $ZEN_SCREENSHOT_DIR when set; nothing is left in the temporary folder.
    testsupport::ScreenshotFolder().save(image, QStringLiteral("dashboard-cards"));
}

TEST(DashboardSymbolsTest, EverySymbolDrawsSomethingInItsTint)
{
    for (const QString& name : {QStringLiteral("minus.circle"), QStringLiteral("checkmark.circle.fill"),
                                QStringLiteral("line.3.horizontal"), QStringLiteral("exclamationmark.triangle.fill"),
                                QStringLiteral("hand.raised.fill"), QStringLiteral("no.such.symbol")}) {
        EXPECT_FALSE(DashboardSymbols::icon(name).isNull()) << name.toStdString();
        EXPECT_FALSE(DashboardSymbols::paintedIcon(name).isNull()) << name.toStdString();
        const QImage image = DashboardSymbols::tintedPixmap(name, QSize(16, 16), QColor(0, 160, 0)).toImage();
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 128) {
                    // Unpremultiplying edge pixels may be off by one.
                    EXPECT_LE(std::abs(c.red()) + std::abs(c.green() - 160) + std::abs(c.blue()), 3) << name.toStdString();
                    ++tinted;
                }
            }
        }
        EXPECT_GT(tinted, 8) << name.toStdString();
    }
}

} // namespace
} // namespace zen
