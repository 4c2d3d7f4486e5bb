#include "Onboarding/OnboardingPermissionEducationView.h"

#include "Onboarding/OnboardingStrings.h"
#include "Onboarding/TextStyle.h"
#include "Permissions/PermissionCoordinator.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace zen {
namespace {

struct Calls {
    int open = 0;
    int check = 0;
    int dismiss = 0;
};

std::unique_ptr<OnboardingPermissionEducationView> makeView(Calls& calls, bool success, bool opened, bool dismissable)
{
    std::function<void()> dismiss;
    if (dismissable)
        dismiss = [&calls] { ++calls.dismiss; };
    return std::make_unique<OnboardingPermissionEducationView>(
        success, opened, [&calls] { ++calls.open; }, [&calls] { ++calls.check; }, dismiss);
}

// What a person sees of a face: only widgets that would be drawn.
bool shown(const QWidget* widget, const QWidget* top)
{
    return widget && widget->isVisibleTo(top);
}

TEST(OnboardingPermissionEducationViewTest, FacesShowWhatTheirFlagsSay)
{
    struct Case {
        bool success, opened, dismissable;
        bool request, waiting, dismissButton;
    };
    const Case cases[] = {
        {false, false, false, true, false, false},
        {false, true, false, true, true, false},
        {false, false, true, true, false, true},
        // The success face hides the path, the note and every button whatever else is set.
        {true, true, true, false, false, false},
        {true, false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.success << c.opened << c.dismissable);
        Calls calls;
        auto view = makeView(calls, c.success, c.opened, c.dismissable);
        EXPECT_EQ(shown(view->successFace(), view.get()), c.success);
        EXPECT_EQ(shown(view->requestFace(), view.get()), c.request);
        EXPECT_EQ(shown(view->permissionPath(), view.get()), c.request);
        EXPECT_EQ(shown(view->openSystemSettingsButton(), view.get()), c.request);
        EXPECT_EQ(shown(view->checkAgainButton(), view.get()), c.request);
        EXPECT_EQ(shown(view->waitingNote(), view.get()), c.waiting);
        EXPECT_EQ(shown(view->dismissButton(), view.get()), c.dismissButton);
        EXPECT_EQ(view->dismissButton() != nullptr, c.dismissable);
    }
}

TEST(OnboardingPermissionEducationViewTest, ButtonsCallTheirOwnActionsAndDismissSitsAtTheTrailingEnd)
{
    Calls calls;
    auto view = makeView(calls, false, false, true);
    view->resize(560, 300);
    view->show();
    EXPECT_EQ(view->openSystemSettingsButton()->text(), "Open Access Help");
    // The prominent button's painted fill carries its text legibly.
    const QImage painted = view->openSystemSettingsButton()->grab().toImage();
    EXPECT_GE(TextStyle::contrastRatio(painted.pixelColor(4, painted.height() / 2),
                                       QApplication::palette().color(QPalette::HighlightedText)),
              4.5);
    EXPECT_EQ(view->checkAgainButton()->text(), "Check Again");
    EXPECT_EQ(view->dismissButton()->text(), "Dismiss");
    view->openSystemSettingsButton()->click();
    view->checkAgainButton()->click();
    view->checkAgainButton()->click();
    view->dismissButton()->click();
    EXPECT_EQ(calls.open, 1);
    EXPECT_EQ(calls.check, 2);
    EXPECT_EQ(calls.dismiss, 1);

    const int right = view->requestFace()->width();
    EXPECT_LT(view->checkAgainButton()->geometry().right(), right / 2);
    EXPECT_EQ(view->dismissButton()->geometry().right(), right - 1);
}

TEST(OnboardingPermissionEducationViewTest, SwitchingFlagsLaterChangesTheFace)
{
    Calls calls;
    auto view = makeView(calls, false, false, false);
    view->setHasOpenedSystemSettings(true);
    EXPECT_TRUE(shown(view->waitingNote(), view.get()));
    view->setShowsSuccess(true);
    EXPECT_FALSE(shown(view->requestFace(), view.get()));
    EXPECT_TRUE(shown(view->successFace(), view.get()));
    view->setShowsSuccess(false);
    view->setHasOpenedSystemSettings(false);
    EXPECT_FALSE(shown(view->waitingNote(), view.get()));
}

TEST(OnboardingPermissionEducationViewTest, PathIsARowWhenItFitsElseAColumnWithTheSameLabel)
{
    Calls calls;
    auto view = makeView(calls, false, false, false);
    auto* path = view->permissionPath();
    const QStringList steps{"X11 Session", "EWMH Window Manager", "Check Again"};

    view->resize(path->rowWidth() + 40, 400);
    view->show();
    EXPECT_TRUE(path->showsRow());
    EXPECT_EQ(path->stepTitles(), steps);

    view->resize(path->rowWidth() / 2, 600);
    EXPECT_FALSE(path->showsRow());
    EXPECT_EQ(path->stepTitles(), steps);
    EXPECT_GT(path->heightForWidth(path->rowWidth() / 2), path->heightForWidth(path->rowWidth()));
    EXPECT_EQ(path->accessibleName(), "X11 Session, EWMH Window Manager, Check Again");
}

// The button opens the help page: it must walk through the very steps the path shows, in order.
TEST(OnboardingPermissionEducationViewTest, TheHelpPageNamesThePathsSteps)
{
    QFile page(PermissionCoordinator::accessHelpPagePath(QCoreApplication::applicationDirPath()));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << page.fileName().toStdString();
    const QString html = QString::fromUtf8(page.readAll());
    const QString steps = html.section(QStringLiteral("<ol>"), 1).section(QStringLiteral("</ol>"), 0, 0);
    QStringList headed;
    const QRegularExpression step(QStringLiteral("<li><strong>([^<]*)\\.</strong>"));
    for (auto it = step.globalMatch(steps); it.hasNext();)
        headed << it.next().captured(1);
    EXPECT_EQ(headed, OnboardingStrings::permissionPathTitles());
    for (const char* foreign : {"Privacy", "System Settings", "Enable Zentharion"})
        EXPECT_FALSE(html.contains(QLatin1String(foreign))) << foreign;
}

} // namespace
} // namespace zen
