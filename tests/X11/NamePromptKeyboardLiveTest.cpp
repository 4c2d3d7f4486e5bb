// The real program's name prompt under Xvfb and openbox, and another window the person turns
// to: what they type reaches the window they made active, the prompt's name field or the other
// window, whenever they turn.
#include "Support/ProgramOnBusTest.h"
#include "Support/TestClientProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

namespace zen {
namespace {

using namespace testsupport;

// Xvfb's evdev keymap.
constexpr xcb_keycode_t shiftLeft = 50, keyE = 26, keyV = 55, keyN = 57, keyI = 31, keyG = 42, keyL = 46;

// Another program's window on a connection of its own: it takes the keyboard as a program
// may (setting the input focus on itself), and counts the keys it is given.
class OtherProgramWindow {
public:
    OtherProgramWindow()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 40, 40, 240, 160, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                          values);
        const char title[] = "Other Program";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            sizeof title - 1, title);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~OtherProgramWindow() { xcb_disconnect(m_connection); }
    OtherProgramWindow(const OtherProgramWindow&) = delete;
    OtherProgramWindow& operator=(const OtherProgramWindow&) = delete;

    xcb_window_t window() const { return m_window; }
    bool mapped()
    {
        read();
        return m_mapped;
    }
    void takeKeyboard()
    {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }
    int keysReceived()
    {
        read();
        return m_keys;
    }

private:
    void read()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const int type = event->response_type & 0x7f;
            m_keys += type == XCB_KEY_PRESS;
            m_mapped = m_mapped || type == XCB_MAP_NOTIFY;
            std::free(event);
        }
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    bool m_mapped = false;
    int m_keys = 0;
};

// What a pager or task bar sends when the person chooses a window there.
void activateAsThePerson(XSession& x, xcb_window_t window)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = x.atom("_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2; // from a pager
    xcb_send_event(x.connection(), 0, x.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(x.connection());
}

// Returns once the X server has routed the keys: a window manager's focus change asked for next
// comes after them, as after a person's typing.
void type(XSession& x, std::initializer_list<xcb_keycode_t> keys)
{
    for (const xcb_keycode_t key : keys)
        x.key(key);
    std::free(xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr));
}

// The window manager names `window` active and the X server has given it the keyboard: keys
// typed from now on reach it.
bool keysGoTo(XSession& x, xcb_window_t window)
{
    if (activeWindow(x) != window)
        return false;
    xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr);
    const bool focused = focus && focus->focus == window;
    std::free(focus);
    return focused;
}

// One busy loop per processor, as a loaded machine has; ended when this goes.
class BusyLoops {
public:
    explicit BusyLoops(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto& loop = m_loops.emplace_back(std::make_unique<QProcess>());
            loop->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        }
    }
    ~BusyLoops()
    {
        for (auto& loop : m_loops) {
            loop->kill();
            loop->waitForFinished(5000);
        }
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_loops;
};

struct NamePromptKeyboardLiveTest : ProgramOnBusTest {
    // The layouts stored whole: a save writes a temporary file beside them first.
    static QStringList storedNames(const ProgramHome& home)
    {
        QStringList names;
        const QDir folder(home.snapshotsFolder());
        for (const QString& entry : folder.entryList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile file(folder.filePath(entry));
            if (file.open(QIODevice::ReadOnly))
                names << QJsonDocument::fromJson(file.readAll()).object().value("name").toString();
        }
        return names;
    }
};

// A line typed as a person types it, some 12 keys a second, with Return at its end.
constexpr xcb_keycode_t keyC = 54, keyH = 43, keyO = 32, space = 65, keyT = 28, keyY = 29, keyP = 33, keyD = 40;
const std::initializer_list<xcb_keycode_t> typedLine = {keyE, keyC, keyH, keyO, space, keyT, keyY, keyP, keyE, keyD,
                                                        keycode::returnKey};

void typeAsAPerson(XSession& x, std::initializer_list<xcb_keycode_t> keys)
{
    for (const xcb_keycode_t key : keys) {
        type(x, {key});
        pumpEventsFor(80);
    }
}

// The person clicks into another window 100, 300 and 600 ms after the prompt is listed and types
// a line there: the window they turned to keeps the keyboard, the whole line reaches it, the
// prompt's field keeps its name and nothing is saved; back in the prompt, Return saves the
// layout under the name it offered.
TEST_F(NamePromptKeyboardLiveTest, AnotherWindowThePersonTurnsToKeepsTheKeyboard)
{
    TestClientProcess client({"--class", "zen-prompt-keys,ZenPromptKeys", "--window", "title=Notes,geometry=300x200+600+400"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    for (const int delayMs : {100, 300, 600}) {
        SCOPED_TRACE(testing::Message() << "turned to the other window " << delayMs << " ms after the prompt");
        const ProgramHome caseHome;
        caseHome.markOnboardingDone();
        OtherProgramWindow other;
        ASSERT_TRUE(waitFor([&] { return other.mapped(); }));
        // Without a tray the program opens its dashboard at start; Ctrl+N there asks for a name.
        ProgramProcess program(caseHome, bus->address(), {});
        std::optional<xcb_window_t> dashboard;
        ASSERT_TRUE(waitFor([&] {
            dashboard = shownProgramWindow(*x, QStringLiteral("Zentharion"));
            return dashboard && activeWindow(*x) == *dashboard;
        })) << "the dashboard never became active";
        pumpEventsFor(300);
        x->key(keycode::n, true);
        std::optional<xcb_window_t> prompt;
        ASSERT_TRUE(waitFor([&] { return (prompt = shownProgramWindow(*x, QStringLiteral("Save Current Layout"))).has_value(); }, 15000, 5));
        QElapsedTimer listed;
        listed.start();
        pumpEventsFor(int(std::max<qint64>(0, delayMs - listed.elapsed())));

        activateAsThePerson(*x, other.window());
        ASSERT_TRUE(waitFor([&] { return keysGoTo(*x, other.window()); }, 5000));
        const int before = other.keysReceived();
        typeAsAPerson(*x, typedLine);
        EXPECT_TRUE(waitFor([&] { return other.keysReceived() - before == int(typedLine.size()); }, 5000));
        pumpEventsFor(500);
        EXPECT_EQ(other.keysReceived() - before, int(typedLine.size())) << "keys of the line typed there that reached it";
        EXPECT_TRUE(keysGoTo(*x, other.window())) << "the keyboard left the window the person turned to";
        EXPECT_EQ(storedNames(caseHome), QStringList{}) << "a layout was saved from a line typed elsewhere";

        // The prompt's field still offers its name: Return there saves under it.
        activateAsThePerson(*x, *prompt);
        ASSERT_TRUE(waitFor([&] { return keysGoTo(*x, *prompt); }, 5000));
        x->key(keycode::returnKey);
        ASSERT_TRUE(waitFor([&] { return !storedNames(caseHome).isEmpty(); }, 10000))
            << "no layout was saved: " << program.process.readAllStandardError().toStdString();
        const QStringList names = storedNames(caseHome);
        ASSERT_EQ(names.size(), 1);
        EXPECT_TRUE(names.front().startsWith(QStringLiteral("Layout - "))) << names.front().toStdString();
        program.process.terminate();
        ASSERT_TRUE(waitUntilEnded(program.process));
    }
}

// Opened from the tray while every processor is busy, the prompt takes the name typed the
// moment it is listed, without a click, every time.
TEST_F(NamePromptKeyboardLiveTest, APromptFromTheTrayOnABusyMachineTakesANameTypedAtOnce)
{
    if (!hasTool("trayer"))
        GTEST_SKIP() << "trayer is not installed";
    TrayProcess tray;
    ASSERT_TRUE(tray.started());
    TestClientProcess client({"--class", "zen-prompt-busy,ZenPromptBusy", "--window", "title=Busy,geometry=300x200+100+100"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    ProgramProcess program(home, bus->address(), {});
    ASSERT_TRUE(waitFor([&] { return x->programTrayIcon().has_value(); }));
    BusyLoops busy(QThread::idealThreadCount());

    constexpr int saves = 10;
    QStringList typedNames;
    for (int save = 1; save <= saves; ++save) {
        SCOPED_TRACE(testing::Message() << "save " << save);
        ASSERT_TRUE(waitFor([&] { return x->programPopups().empty(); }));
        const auto menu = openProgramTrayMenu(*x);
        ASSERT_TRUE(menu) << "the tray menu did not open";
        const QRect menuArea = waitUntilSettled([&] { return x->rootGeometry(*menu); }, 5000);
        ASSERT_FALSE(menuArea.isEmpty());
        x->click(menuArea.topLeft() + QPoint(40, 14));
        std::optional<xcb_window_t> prompt;
        ASSERT_TRUE(waitFor([&] { return (prompt = shownProgramWindow(*x, QStringLiteral("Save Current Layout"))).has_value(); }, 15000, 5));
        // Typed at once: "Eve" and a letter of its own per save, then Return.
        const xcb_keycode_t letters[] = {keyC, keyD, keyE, keyG, keyH, keyI, keyL, keyN, keyO, keyP};
        x->pressChord({shiftLeft, keyE});
        type(*x, {keyV, keyE, letters[save - 1], keycode::returnKey});
        typedNames << QStringLiteral("Eve") + QChar(u"cdeghilnop"[save - 1]);
        if (!waitFor([&] { return storedNames(home).size() == save; }, 10000)) {
            ADD_FAILURE() << "the name typed at once did not save the layout";
            if (const auto left = shownProgramWindow(*x, QStringLiteral("Save Current Layout")))
                closeWindow(*x, *left);
        }
        ASSERT_TRUE(waitFor([&] { return !shownProgramWindow(*x, QStringLiteral("Save Current Layout")); }));
    }
    QStringList names = storedNames(home);
    names.sort();
    typedNames.sort();
    EXPECT_EQ(names, typedNames);
}

} // namespace
} // namespace zen
