#include "Dashboard/DashboardInactiveAppsView.h"
#include "Dashboard/DashboardIssueBanner.h"
#include "Dashboard/DashboardSymbols.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Support/SnapshotFixtures.h"

#include <QDir>
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
    image.save(QDir::temp().filePath(QStringLiteral("zentharion-dashboard-cards.png")));
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
