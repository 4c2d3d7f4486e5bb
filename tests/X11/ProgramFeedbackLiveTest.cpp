// The real program under Xvfb with a tray: a restore chosen from the tray menu shows the
// progress overlay and then the completion toast on both monitors.
#include "Displays/DisplayResolver.h"
#include "Platform/X11/X11Platform.h"
#include "Shared/UserDefaults.h"
#include "Snapshots/SnapshotStore.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>

namespace zen {
namespace {

using testsupport::TestClientProcess;

bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000, int stepMs = 20)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        testsupport::pumpEventsFor(stepMs);
    }
    return true;
}

bool isProgramWindow(xcb_connection_t* c, xcb_window_t window)
{
    auto* wmClass = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
    const bool ours = wmClass
        && QByteArray(static_cast<const char*>(xcb_get_property_value(wmClass)), xcb_get_property_value_length(wmClass))
               .startsWith(QByteArray("zentharion\0Zentharion", 21));
    std::free(wmClass);
    return ours;
}

QRect rootGeometry(xcb_connection_t* c, xcb_window_t window, xcb_window_t root)
{
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    auto* translated = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
    QRect rect;
    if (geometry && translated)
        rect = QRect(translated->dst_x, translated->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(translated);
    return rect;
}

// The program's windows that the window manager does not manage (its floating panels and
// menus) and that are on screen now.
std::vector<QRect> programPanels(xcb_connection_t* c, xcb_window_t root)
{
    std::vector<QRect> panels;
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree)
        return panels;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        const bool shown = attributes && attributes->override_redirect
            && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (shown && isProgramWindow(c, children[i]))
            panels.push_back(rootGeometry(c, children[i], root));
    }
    std::free(tree);
    return panels;
}

// The program's icon inside the tray.
std::optional<xcb_window_t> trayIcon(xcb_connection_t* c, xcb_window_t window, xcb_window_t root)
{
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree)
        return std::nullopt;
    std::optional<xcb_window_t> found;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        if (window != root && isProgramWindow(c, children[i]))
            found = children[i];
        else
            found = trayIcon(c, children[i], root);
    }
    std::free(tree);
    return found;
}

struct ProgramFeedbackLiveTest : ::testing::Test {
    std::shared_ptr<X11Platform> platform;
    QTemporaryDir home;
    xcb_connection_t* probe = nullptr;
    xcb_window_t root = 0;

    void SetUp() override
    {
        platform = X11Platform::connect();
        if (!platform)
            GTEST_SKIP() << "no X server";
        for (const char* tool : {"trayer", "xdotool", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        probe = xcb_connect(nullptr, nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(probe)).data->root;
        for (const char* folder : {"data", "config", "runtime"})
            QDir().mkpath(home.filePath(folder));
        // A returning user: the program starts in the tray alone, without the first-launch guide.
        UserDefaults(home.filePath("config/Zentharion/Zentharion.conf"))
            .setString("Zentharion.Onboarding.status", "completedAuthorized");
        QFile::setPermissions(home.filePath("runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void TearDown() override
    {
        if (probe)
            xcb_disconnect(probe);
    }
};

TEST_F(ProgramFeedbackLiveTest, ARestoreFromTheTrayShowsTheOverlayThenTheToastOnBothMonitors)
{
    TestClientProcess client({"--class", "zen-feedback-live,ZenFeedbackLive", "--window",
                              "title=Feedback,geometry=300x200+200+200"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    std::optional<DiscoveredWindow> window;
    QString bundleIdentifier;
    std::int32_t pid = 0;
    ASSERT_TRUE(waitFor([&] {
        if (auto found = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows())
            for (const auto& app : *found)
                for (const auto& w : app.windows)
                    if (w.title == QStringLiteral("Feedback")) {
                        bundleIdentifier = app.bundleIdentifier;
                        pid = app.pid;
                        window = w;
                        return true;
                    }
        return false;
    }));

    // One layout, which moves the window a little.
    const DisplayState displays = DisplayResolver(platform->services().screens).captureDisplayState();
    ASSERT_EQ(displays.displays.size(), 2u);
    const CGRect target(window->frame.minX() + 200, window->frame.minY() + 100, window->frame.width(),
                        window->frame.height());
    const auto display = DisplayResolver::resolveDisplay(target, displays);
    ASSERT_TRUE(display);
    WindowRecord record;
    record.bundleIdentifier = bundleIdentifier;
    record.pidAtCapture = pid;
    record.windowTitle = QStringLiteral("Feedback");
    record.role = window->role;
    record.subrole = window->subrole;
    record.frame = CGRectCodable(target);
    record.displayID = display->id;
    record.normalizedFrame = DisplayResolver::normalizedFrame(target, *display);
    record.zOrderHint = 0;
    record.captureSignature = {bundleIdentifier, pid, QStringLiteral("Feedback"), window->role, window->subrole,
                               CGRectCodable(target), std::nullopt};
    Snapshot layout;
    layout.name = QStringLiteral("Feedback");
    layout.sourceDisplayState = displays;
    layout.windows = {record};
    ASSERT_TRUE(SnapshotStore(home.filePath("data/Zentharion/Snapshots")).save(layout));

    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(tray.waitForStarted());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationDirPath() + "/zentharion", QStringList{});
    ASSERT_TRUE(program.waitForStarted());
    struct End {
        QProcess& program;
        QProcess& tray;
        ~End()
        {
            program.terminate();
            program.waitForFinished(5000);
            tray.terminate();
            tray.waitForFinished(5000);
        }
    } end{program, tray};

    std::optional<xcb_window_t> icon;
    ASSERT_TRUE(waitFor([&] { return (icon = trayIcon(probe, root, root)).has_value(); }));
    testsupport::pumpEventsFor(500);
    const QRect iconArea = rootGeometry(probe, *icon, root);
    ASSERT_FALSE(iconArea.isEmpty());

    // Open the tray menu and choose the layout: the first item saves, the next one is the layout.
    QProcess::execute("xdotool", {"mousemove", QString::number(iconArea.center().x()),
                                  QString::number(iconArea.center().y()), "click", "1"});
    ASSERT_TRUE(waitFor([&] { return !programPanels(probe, root).empty(); })) << "the tray menu did not open";
    testsupport::pumpEventsFor(300);
    QProcess::execute("xdotool", {"key", "Down", "Down", "Return"});

    // Watch the program's panels: the overlay's card centred on each monitor, then a toast
    // 460 wide, centred near the top of each monitor.
    const std::vector<QRect> monitors = {QRect(0, 0, 1280, 800), QRect(1280, 0, 1024, 768)};
    std::set<int> overlaySeen, toastSeen;
    QImage toastShot;
    waitFor(
        [&] {
            for (const QRect& panel : programPanels(probe, root))
                for (int i = 0; i < 2; ++i) {
                    if (panel.center() == monitors[i].center() && panel.width() < monitors[i].width())
                        overlaySeen.insert(i);
                    if (panel.width() == 460 && panel.height() == 76 && panel.center().x() == monitors[i].center().x()
                        && panel.top() >= monitors[i].top() + 28 && panel.top() <= monitors[i].top() + 28 + 40)
                        toastSeen.insert(i);
                }
            return toastSeen.size() == 2;
        },
        15000, 5);
    EXPECT_EQ(overlaySeen, (std::set<int>{0, 1})) << "the progress overlay was not seen on both monitors";
    ASSERT_EQ(toastSeen, (std::set<int>{0, 1})) << "the completion toast was not seen on both monitors";

    testsupport::pumpEventsFor(300); // the fade-in, where there is one
    QProcess import;
    import.start("import", {"-silent", "-window", "root", "png:-"});
    ASSERT_TRUE(import.waitForFinished(15000));
    toastShot = QImage::fromData(import.readAllStandardOutput(), "PNG");
    ASSERT_FALSE(toastShot.isNull());
    if (!qEnvironmentVariableIsEmpty("ZEN_SCREENSHOT_DIR"))
        toastShot.save(qEnvironmentVariable("ZEN_SCREENSHOT_DIR") + "/program-completion-toasts.png");
    for (const QRect& panel : programPanels(probe, root)) {
        // The solid card's colour in the toast's lower part, where no text is drawn.
        const QColor card = toastShot.pixelColor(panel.center().x(), panel.bottom() - 5);
        EXPECT_EQ(card, QColor(44, 44, 46));
    }

    const auto moved = [&] {
        auto found = WindowDiscoveryEngine::forPlatform(platform->services()).discoverRunningWindows();
        if (found)
            for (const auto& app : *found)
                for (const auto& w : app.windows)
                    if (w.title == QStringLiteral("Feedback"))
                        return std::abs(w.frame.minX() - target.minX()) <= 4 && std::abs(w.frame.minY() - target.minY()) <= 4;
        return false;
    };
    EXPECT_TRUE(waitFor(moved)) << "the layout was not restored";
}

} // namespace
} // namespace zen
