// The program's dashboard and access page under Xvfb, photographed and read back: shortcuts,
// refusals and the steps to window access in this desktop's words, as a person sees them.
#include "App/ZentharionApp.h"
#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardView.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/HotkeyCaptureErrorPopover.h"
#include "Dashboard/InlineHotkeyCaptureField.h"
#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/TextStyle.h"
#include "Platform/X11/X11Platform.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/LiveDesktop.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestClientProcess.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace zen {
namespace {

using namespace testsupport;

constexpr xcb_keycode_t keyK = 45;

// The part of the screen a widget covers, as a person sees it.
QImage photograph(const QList<const QWidget*>& widgets)
{
    QRect area;
    for (const QWidget* widget : widgets)
        area |= QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(area.adjusted(-4, -4, 4, 4));
}

// OCR drops and adds spaces around "+" and ",", loses a full stop at the end of a line, and
// mistakes l for i or 1 in small type; what counts is the characters in order.
QString squeezed(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("[\\s.]")));
    text = text.toLower();
    text.replace(QRegularExpression(QStringLiteral("[i1|]")), QStringLiteral("l"));
    return text;
}

struct Photo {
    const char* name;
    QImage image;
    QStringList texts;
};

void expectReadable(const Photo& photo, const ScreenshotFolder& shots, bool& ocrMissing)
{
    SCOPED_TRACE(photo.name);
    ASSERT_FALSE(photo.image.isNull());
    shots.save(photo.image, photo.name);
    EXPECT_GT(distinctColors(photo.image), 4) << "looks blank";
    const QString read = recognisedText(photo.image, shots.path());
    if (read.isEmpty()) {
        ocrMissing = true;
        return;
    }
    for (const QString& text : photo.texts)
        EXPECT_TRUE(squeezed(read).contains(squeezed(text))) << text.toStdString() << " in: " << read.toStdString();
    for (const char* foreign : {"Command", "Option", "Control", "Privacy", "System Settings", "Accessibility"})
        EXPECT_FALSE(read.contains(QLatin1String(foreign), Qt::CaseInsensitive)) << foreign << " in: "
                                                                                  << read.toStdString();
}

TEST(ShortcutWordsLiveTest, CardRowRefusalAndAccessPageReadInThisDesktopsWords)
{
    auto platform = X11Platform::connect();
    if (!platform)
        GTEST_SKIP() << "no X server";
    XSession x;
    QTemporaryDir home;
    ScopedXdgFolders folders(home.filePath("data"), home.filePath("config"));

    const SnapshotStore store(home.filePath("data/Zentharion/Snapshots"));
    // Long shortcuts, which the card at the window's smallest size shows whole.
    Snapshot work = test::makeSnapshot("Work");
    work.hotkey = HotkeyBinding{0x01, 0x300, "Command-Shift-S"};
    ASSERT_TRUE(store.save(work));
    Snapshot other = test::makeSnapshot("Home");
    other.hotkey = HotkeyBinding{0x6F, 0x1A00, "Option-Control-Shift-F12"};
    ASSERT_TRUE(store.save(other));

    // A returning user: the first-launch guide would cover the dashboard.
    UserDefaults preferences(home.filePath("config/Zentharion/Zentharion.conf"));
    preferences.setString("Zentharion.Onboarding.status", "completedAuthorized");
    ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
    dependencies.userDefaults = &preferences;
    ZentharionApp app(std::move(dependencies));
    app.openOrFocusDashboard();
    DashboardView* dashboard = app.dashboardWindow();
    ASSERT_NE(dashboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return dashboard->isActiveWindow(); })) << "the dashboard never became active";
    // The layouts are read off the main thread: a busy machine lists them well after the
    // window is active.
    ASSERT_TRUE(waitFor([&] {
        const auto* model = dashboard->layoutList()->model();
        return model && model->rowCount() == 2;
    })) << "the two layouts were never listed";
    // The row with the shortcut unselected: the highlight's white on blue defeats the OCR.
    dashboard->presenter().selectSnapshot(other.id);
    pumpEventsFor(300);
    std::vector<Photo> photos;
    photos.push_back({"shortcut-sidebar", photograph({dashboard->sidebar()}), {"Work", "Super+Shift+S"}});
    auto* pane = qobject_cast<DashboardDetailView*>(dashboard->detailPane());
    ASSERT_NE(pane, nullptr);
    auto* card = pane->hotkeyCard();
    ASSERT_TRUE(waitFor([&] { return card->isVisible(); }));
    pumpEventsFor(300);
    EXPECT_EQ(dashboard->size(), QSize(940, 640)) << "the card is checked at the window's smallest size";
    photos.push_back({"shortcut-card-long", photograph({card}), {"Hotkey", "Ctrl+Alt+Shift+F12"}});

    // The keyboard's place on Restore Layout: a ring that reads against the button's fill.
    QPushButton* restore = pane->restoreButton();
    const QImage unfocused = photograph({restore});
    // As after a press of Tab: the rings show once the keyboard has moved the focus.
    restore->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    restore->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return restore->hasFocus(); }));
    pumpEventsFor(300);
    const QImage focused = photograph({restore});
    ASSERT_EQ(focused.size(), unfocused.size());
    const QColor fill = unfocused.pixelColor(unfocused.width() / 2, 4 + 3);
    double ring = 1;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            if (focused.pixel(x, y) != unfocused.pixel(x, y))
                ring = std::max(ring, TextStyle::contrastRatio(focused.pixelColor(x, y), fill));
    EXPECT_GE(ring, 3.0) << "the focus ring on Restore Layout";
    photos.push_back({"restore-focus-ring", focused, {}});

    dashboard->presenter().selectSnapshot(work.id);
    ASSERT_TRUE(waitFor([&] { return card->hotkeyText() == "Super+Shift+S"; }));
    pumpEventsFor(300);
    photos.push_back({"shortcut-card", photograph({card}), {"Hotkey", "Super+Shift+S"}});

    card->editButton()->click();
    ASSERT_TRUE(waitFor([&] { return card->captureField()->hasFocus(); })) << "the field never got the keyboard";
    x.pressChord({keyK});
    ASSERT_TRUE(waitFor([&] { return card->errorPopover()->isVisible(); }));
    pumpEventsFor(300);
    photos.push_back({"shortcut-refused", photograph({card, card->errorPopover()}),
                      {"Press shortcut", "Use a key with Super, Alt, or Ctrl."}});
    card->cancelButton()->click();
    dashboard->close();

    OnboardingPermissionEducationView access(false, false, [] {}, [] {});
    access.resize(560, access.sizeHint().height());
    access.show();
    ASSERT_TRUE(waitFor([&] { return access.isVisible() && access.permissionPath()->showsRow(); }));
    pumpEventsFor(300);
    photos.push_back({"access-page", photograph({&access}),
                      {"Window Access Required", "X11 Session", "EWMH Window Manager", "Check Again", "Open Access Help"}});

    ScreenshotFolder shots;
    bool ocrMissing = false;
    for (const Photo& photo : photos)
        expectReadable(photo, shots, ocrMissing);
    if (ocrMissing)
        GTEST_SKIP() << "tesseract is not installed: the pictures' texts were not read";
}

} // namespace
} // namespace zen
