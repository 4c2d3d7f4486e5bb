#include "Dashboard/DashboardDetailView.h"

#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DetailTestSupport.h"
#include "Support/LiveDesktop.h"
#include "Support/TestClientProcess.h"
#include "Onboarding/OnboardingPermissionEducationView.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace zen {
namespace {

using test::DetailHarness;

// What the X server shows of the widget's window, as a person would see it.
QImage screenshot(QWidget* window)
{
    static const testsupport::ScreenshotFolder folder;
    QImage image = window->screen()->grabWindow(window->winId()).toImage();
    folder.save(image, window->objectName());
    return image;
}

// Whether some pixel in the rectangle has the hue of the colour, strongly (symbols, tinted
// buttons); the style's shading changes lightness, not hue.
bool containsColour(const QImage& image, const QRect& area, const QColor& colour)
{
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QColor c = image.pixelColor(x, y).toHsv();
            const int hueDistance = std::abs(c.hue() - colour.toHsv().hue());
            if (c.saturation() > 90 && c.value() > 90 && std::min(hueDistance, 360 - hueDistance) < 15)
                return true;
        }
    return false;
}

QStringList visibleTexts(QWidget* face, QWidget* top)
{
    QStringList texts;
    for (auto* label : face->findChildren<QLabel*>())
        if (label->isVisibleTo(top) && !label->text().isEmpty())
            texts << label->text();
    for (auto* button : face->findChildren<QPushButton*>())
        if (button->isVisibleTo(top))
            texts << button->text();
    return texts;
}

QRect rectIn(QWidget* widget, QWidget* top)
{
    return QRect(widget->mapTo(top, QPoint(0, 0)), widget->size());
}

struct FacesHarness : DetailHarness {
    std::unique_ptr<DashboardDetailView> view;
    FacesHarness()
    {
        view = std::make_unique<DashboardDetailView>(presenter.get());
        view->setRelativeDateText([](const QDateTime&, const QDateTime&) { return QStringLiteral("just now"); });
        view->resize(720, 640);
    }
    ~FacesHarness()
    {
        view.reset();
        presenter.release();
    }
};

TEST(DashboardDetailFacesLiveTest, TheThreeFacesOnScreen)
{
    FacesHarness h;
    h.trusted = false;
    h.coordinator->refreshTrust(PermissionCoordinator::RefreshTrigger::launch);
    h.view->setObjectName("detail-empty");
    h.view->show();
    testsupport::pumpEventsFor(300);

    // Empty face, with the access banner.
    auto image = screenshot(h.view.get());
    ASSERT_EQ(image.size(), h.view->size() * h.view->devicePixelRatio());
    auto texts = visibleTexts(h.view->emptyFace(), h.view.get());
    for (const char* text : {"Window Access Required", "Saving or restoring layouts needs an X11 session with an EWMH window manager.",
                             "No Saved Layouts", "Arrange your windows the way you want, then save the layout.",
                             "Saved layouts appear in the sidebar and tray menu.", "Save Current Layout"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_TRUE(containsColour(image, rectIn(h.view->saveButton(), h.view.get()),
                               h.view->palette().color(QPalette::Highlight)));

    // The layout, with a hotkey.
    h.select(h.second);
    h.view->setObjectName("detail-layout");
    testsupport::pumpEventsFor(300);
    image = screenshot(h.view.get());
    texts = visibleTexts(h.view->layoutFace(), h.view.get());
    for (const char* text : {"Updated just now", "Restore Layout", "Update Layout", "Rename", "Windows", "Apps",
                             "Displays", "Hotkey"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_EQ(h.view->hotkeyCard()->hotkeyText(), "Super+Shift+K");
    EXPECT_TRUE(containsColour(image, rectIn(h.view->restoreButton(), h.view.get()), QColor(0, 122, 255)));

    // The education, asking and then succeeding.
    h.router->requestAuthorization(PrivilegedActionKind::restoreLayout, PrivilegedActionSource::dashboard);
    h.view->education()->openSystemSettingsButton()->click();
    h.view->setObjectName("detail-education");
    testsupport::pumpEventsFor(300);
    image = screenshot(h.view.get());
    texts = visibleTexts(h.view->educationFace(), h.view.get());
    for (const char* text : {"Window Access Required", "Allow access to save and restore window positions.",
                             "X11 Session", "EWMH Window Manager",
                             "When you return, access will be checked automatically.", "Open Access Help",
                             "Check Again", "Dismiss"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_TRUE(h.view->education()->permissionPath()->showsRow());
    EXPECT_TRUE(containsColour(image, rectIn(h.view->education(), h.view.get()), QColor(242, 140, 40)));

    h.trusted = true;
    h.view->education()->checkAgainButton()->click();
    h.view->setObjectName("detail-education-success");
    testsupport::pumpEventsFor(300);
    image = screenshot(h.view.get());
    texts = visibleTexts(h.view->educationFace(), h.view.get());
    EXPECT_TRUE(texts.contains("Window Access Enabled"));
    EXPECT_TRUE(texts.contains("You can now save and restore layouts."));
    EXPECT_FALSE(texts.contains("Check Again"));
    EXPECT_TRUE(containsColour(image, rectIn(h.view->education(), h.view.get()), QColor(52, 168, 83)));
}

} // namespace
} // namespace zen
