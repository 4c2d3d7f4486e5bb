// Saves through the tray menu again and again, as a person does (the icon, "Save Current
// Layout", Return), and counts the saves whose name prompt did not hold the keyboard within
// 2 s and the saves not stored. Long: it runs only when ZEN_SOAK_SAVES names how many saves,
// best beside one busy loop per processor:
//   for i in $(seq $(nproc)); do (timeout 900 sh -c 'while :; do :; done' &); done
//   ZEN_SOAK_SAVES=200 scripts/with-xvfb build/test/zentharion_x11_tests --gtest_filter='NamePromptSoak*'
#include "Support/ProgramOnBusTest.h"
#include "Support/TestClientProcess.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace zen {
namespace {

using namespace testsupport;

const QString promptTitle = QStringLiteral("Save Current Layout");
constexpr xcb_keycode_t escape = 9; // Xvfb's evdev keymap

struct NamePromptSoakLiveTest : ProgramOnBusTest {
    int storedLayouts() const
    {
        return int(QDir(home.snapshotsFolder()).entryList(QDir::Files | QDir::NoDotAndDotDot).size());
    }
};

TEST_F(NamePromptSoakLiveTest, EverySaveFromTheTrayHasItsPromptActiveAndIsStored)
{
    const int saves = qEnvironmentVariableIntValue("ZEN_SOAK_SAVES");
    if (saves <= 0)
        GTEST_SKIP() << "a soak: set ZEN_SOAK_SAVES";
    if (!hasTool("trayer"))
        GTEST_SKIP() << "trayer is not installed";
    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    TestClientProcess client({"--class", "zen-soak,ZenSoak", "--window", "title=Soak,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    ProgramProcess program(home, bus->address(), {});
    std::optional<xcb_window_t> icon;
    ASSERT_TRUE(waitFor([&] { return (icon = x->programTrayIcon()).has_value(); }));
    ASSERT_FALSE(waitUntilSettled([&] { return x->rootGeometry(*icon); }).isEmpty());
    const int before = storedLayouts();

    int inactive = 0, notStored = 0, menuRetries = 0;
    for (int save = 1; save <= saves; ++save) {
        // Set-up, not what is measured: the menu's first item is clicked once the menu has
        // come to rest; a click the loaded tray swallowed is made again.
        std::optional<xcb_window_t> prompt;
        for (int attempt = 0; attempt < 5 && !prompt; ++attempt) {
            menuRetries += attempt > 0;
            // Once the last save's feedback has gone, the program is ready for the next one
            // (the item is disabled while a save runs); a menu left open is closed.
            if (!waitFor([&] { return x->programPopups().empty(); }, 15000)) {
                x->key(escape);
                continue;
            }
            const QRect iconArea = x->rootGeometry(*icon);
            // The menu is the popup the click brings.
            const auto earlier = x->programPopups();
            x->click(iconArea.center());
            std::optional<xcb_window_t> menu;
            if (!waitFor([&] {
                    for (xcb_window_t popup : x->programPopups())
                        if (std::find(earlier.begin(), earlier.end(), popup) == earlier.end())
                            menu = popup;
                    return menu.has_value();
                }, 5000)) {
                qWarning("save %d: no menu", save);
                continue;
            }
            const QRect menuArea = waitUntilSettled([&] { return x->rootGeometry(*menu); }, 5000);
            if (menuArea.isEmpty())
                continue;
            x->click(menuArea.topLeft() + QPoint(40, 14));
            if (!waitFor([&] { return (prompt = shownProgramWindow(*x, promptTitle)).has_value(); }, 5000))
                qWarning("save %d: no prompt after the menu at %d,%d %dx%d", save, menuArea.x(), menuArea.y(), menuArea.width(), menuArea.height());
        }
        ASSERT_TRUE(prompt) << "save " << save << ": no name prompt";
        // What is measured: the prompt holds the keyboard, and what is typed reaches it.
        if (!waitFor([&] { return activeWindow(*x) == *prompt; }, 2000)) {
            ++inactive;
            qWarning("save %d: the prompt was not the active window within 2 s", save);
        }
        x->key(keycode::returnKey);
        if (!waitFor([&] { return storedLayouts() == before + save - notStored; }, 10000)) {
            ++notStored;
            qWarning("save %d: not stored", save);
            if (const auto left = shownProgramWindow(*x, promptTitle))
                closeWindow(*x, *left);
        }
        ASSERT_TRUE(waitFor([&] { return !shownProgramWindow(*x, promptTitle); }));
    }
    RecordProperty("saves", saves);
    std::printf("%d saves: %d prompts not active within 2 s, %d saves not stored (%d menu clicks made again)\n",
                saves, inactive, notStored, menuRetries);
    EXPECT_EQ(inactive, 0);
    EXPECT_EQ(notStored, 0);
}

} // namespace
} // namespace zen
