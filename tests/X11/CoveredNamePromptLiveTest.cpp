// The real program's name prompt under Xvfb and openbox, hidden by a window the person clicked
// over it: the person's own ways to the program (its tray icon, a second launch, one of its
// shortcuts) bring it back in front, with the keyboard.
#include "Snapshots/SnapshotStore.h"
#include "Support/ProgramOnBusTest.h"
#include "Support/SnapshotFixtures.h"
#include "Support/TestClientProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QJsonDocument>
#include <QJsonObject>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace zen {
namespace {

using namespace testsupport;

const QString promptTitle = QStringLiteral("Save Current Layout");
// Xvfb's evdev keymap.
constexpr xcb_keycode_t shiftLeft = 50, keyE = 26, keyV = 55;

struct CoveredNamePromptLiveTest : ProgramOnBusTest {
    std::vector<xcb_window_t> stacking()
    {
        const QByteArray list = x->property(x->root(), x->atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
        std::vector<xcb_window_t> windows(std::size_t(list.size() / 4));
        std::memcpy(windows.data(), list.constData(), windows.size() * 4);
        return windows;
    }

    bool viewable(xcb_window_t window)
    {
        xcb_get_window_attributes_reply_t* reply =
            xcb_get_window_attributes_reply(x->connection(), xcb_get_window_attributes(x->connection(), window), nullptr);
        const bool shown = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return shown;
    }

    bool isDock(xcb_window_t window)
    {
        const QByteArray types = x->property(window, x->atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
        const xcb_atom_t dock = x->atom("_NET_WM_WINDOW_TYPE_DOCK");
        for (qsizetype i = 0; i + 4 <= types.size(); i += 4)
            if (std::memcmp(types.constData() + i, &dock, 4) == 0)
                return true;
        return false;
    }

    // Above every other window but the tray's panel, which the window manager keeps in a layer
    // of its own.
    bool topMost(xcb_window_t window)
    {
        const auto windows = stacking();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (!isDock(*it))
                return *it == window;
        return false;
    }

    bool above(xcb_window_t upper, xcb_window_t lower)
    {
        const auto windows = stacking();
        const auto up = std::find(windows.begin(), windows.end(), upper);
        const auto low = std::find(windows.begin(), windows.end(), lower);
        return up != windows.end() && low != windows.end() && up > low;
    }

    QStringList storedNames(const ProgramHome& programHome)
    {
        QStringList names;
        const QDir folder(programHome.snapshotsFolder());
        for (const QString& entry : folder.entryList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile file(folder.filePath(entry));
            if (file.open(QIODevice::ReadOnly))
                names << QJsonDocument::fromJson(file.readAll()).object().value("name").toString();
        }
        return names;
    }
};

// One story, told for each way: a save is asked for from the tray, the person clicks another
// window lying under the prompt, which comes in front of it and hides it; then one request of
// theirs brings the prompt back, active and in front, and the name they type at once is the
// layout's.
TEST_F(CoveredNamePromptLiveTest, ThePersonsOwnWayToTheProgramBringsTheCoveredPromptBack)
{
    if (!hasTool("trayer"))
        GTEST_SKIP() << "trayer is not installed";
    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    const HotkeyBinding controlOptionL{37, 0x1800, "Option-Control-L"};

    struct Way {
        const char* name;
        std::function<void(const ProgramHome&, xcb_window_t prompt)> ask;
        // False for what the window system does on its own: the keyboard stays where it is.
        bool bringsBack = true;
    };
    const auto pager = [](const char* change, xcb_window_t window) {
        QProcess::execute("wmctrl", {"-i", "-r", QString::number(window), "-b", QString::fromLatin1(change) + ",hidden"});
    };
    const auto clickTrayIcon = [&](std::uint8_t button) {
        std::optional<xcb_window_t> icon;
        const QRect at = waitUntilSettled([&] { return (icon = x->programTrayIcon()) ? x->rootGeometry(*icon) : QRect(); });
        ASSERT_FALSE(at.isEmpty()) << "the tray icon is gone";
        x->click(at.center(), button);
    };
    const Way ways[] = {
        {"a left click on the tray icon", [&](const ProgramHome&, xcb_window_t) { clickTrayIcon(1); }},
        {"a right click on the tray icon", [&](const ProgramHome&, xcb_window_t) { clickTrayIcon(3); }},
        {"a second launch",
         [&](const ProgramHome& programHome, xcb_window_t) {
             ProgramProcess again(programHome, bus->address(), {});
             ASSERT_TRUE(waitUntilEnded(again.process)) << "the second launch kept running";
         }},
        {"the layout's shortcut", [&](const ProgramHome&, xcb_window_t) {
             x->pressChord({keycode::controlLeft, keycode::altLeft, keycode::l});
         }},
        {"a pager hiding the prompt and showing it again",
         [&](const ProgramHome&, xcb_window_t prompt) {
             pager("add", prompt);
             ASSERT_TRUE(waitFor([&] { return !viewable(prompt); })) << "the pager did not hide the prompt";
             pager("remove", prompt);
             ASSERT_TRUE(waitFor([&] { return viewable(prompt); })) << "the pager did not show the prompt again";
             // Shown again: what it would ask for comes with its first paint, well within this.
             waitFor([] { return false; }, 1000);
         },
         false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        if (!way.bringsBack && !hasTool("wmctrl"))
            continue;
        const ProgramHome programHome;
        programHome.markOnboardingDone();
        Snapshot layout = test::makeSnapshot(QStringLiteral("Desk"));
        layout.hotkey = controlOptionL;
        ASSERT_TRUE(SnapshotStore(programHome.snapshotsFolder()).save(layout));
        QProcessEnvironment logging;
        logging.insert("QT_LOGGING_RULES", shortcutsLoggingRule);
        ProgramProcess program(programHome, bus->address(), {}, logging);
        QByteArray errors;
        ASSERT_TRUE(waitUntilShortcutsRegistered(program.process, errors, 1, 1)) << errors.toStdString();

        // The save, from the tray menu's first item; the prompt comes with the keyboard.
        const auto menu = openProgramTrayMenu(*x);
        ASSERT_TRUE(menu) << "the tray menu did not open";
        const QRect menuArea = waitUntilSettled([&] { return x->rootGeometry(*menu); }, 5000);
        ASSERT_FALSE(menuArea.isEmpty());
        x->click(menuArea.topLeft() + QPoint(40, 14));
        std::optional<xcb_window_t> prompt;
        ASSERT_TRUE(waitFor([&] { return (prompt = shownProgramWindow(*x, promptTitle)) && activeWindow(*x) == *prompt; }))
            << "the prompt did not come with the keyboard";
        const QRect promptArea = waitUntilSettled([&] { return x->rootGeometry(*prompt); });
        ASSERT_FALSE(promptArea.isEmpty());

        // Another program's window lies under the prompt, reaching past it on every side; the
        // person clicks it where the prompt leaves it bare, and it comes over the prompt.
        const QRect coverArea = promptArea.adjusted(-80, -80, 80, 80);
        TestClientProcess other({"--class", "zen-cover,ZenCover", "--window",
                                 QStringLiteral("title=Cover,geometry=%1x%2+%3+%4")
                                     .arg(coverArea.width()).arg(coverArea.height()).arg(coverArea.x()).arg(coverArea.y())});
        const auto shown = other.waitUntilReady();
        ASSERT_EQ(shown.size(), 1u);
        const xcb_window_t cover = shown.front();
        const QRect covering = waitUntilSettled([&] { return x->rootGeometry(cover); });
        ASSERT_TRUE(covering.contains(promptArea)) << "the other window does not reach over the prompt";
        x->click(QPoint(covering.left() + 20, covering.center().y()));
        ASSERT_TRUE(waitFor([&] { return activeWindow(*x) == cover && above(cover, *prompt); }))
            << "the window clicked did not come over the prompt";

        way.ask(programHome, *prompt);
        if (!way.bringsBack) {
            EXPECT_EQ(activeWindow(*x), cover) << "the prompt took the keyboard from the window the person chose";
            closeWindow(*x, *prompt);
            program.process.terminate();
            ASSERT_TRUE(waitUntilEnded(program.process));
            continue;
        }
        EXPECT_TRUE(waitFor([&] { return activeWindow(*x) == *prompt && topMost(*prompt); }, 10000))
            << "the prompt did not come back in front with the keyboard: active window " << activeWindow(*x)
            << ", prompt " << *prompt << ", top-most " << topMost(*prompt);

        // The name typed at once is the layout's.
        x->pressChord({shiftLeft, keyE});
        x->key(keyV);
        x->key(keyE);
        x->key(keycode::returnKey);
        EXPECT_TRUE(waitFor([&] { return storedNames(programHome).contains(QStringLiteral("Eve")); }, 10000))
            << "stored: " << storedNames(programHome).join(", ").toStdString();
        if (const auto left = shownProgramWindow(*x, promptTitle))
            closeWindow(*x, *left);
        program.process.terminate();
        ASSERT_TRUE(waitUntilEnded(program.process));
    }
}

} // namespace
} // namespace zen
