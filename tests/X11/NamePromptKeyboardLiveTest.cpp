// The real program's name prompt under Xvfb and openbox, with another program that takes the
// keyboard just after the prompt appears: what the person types reaches the window they see
// active, the prompt's name field or the other window.
#include "Support/ProgramOnBusTest.h"
#include "Support/TestClientProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

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

struct NamePromptKeyboardLiveTest : ProgramOnBusTest {
    // The layouts stored whole: a save writes a temporary file beside them first.
    QStringList storedNames() const
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

TEST_F(NamePromptKeyboardLiveTest, KeysGoToTheWindowThePersonSeesActive)
{
    // A window for the layout to hold, and the other program's.
    TestClientProcess client({"--class", "zen-prompt-keys,ZenPromptKeys", "--window", "title=Notes,geometry=300x200+600+400"});
    ASSERT_EQ(client.waitUntilReady().size(), 1u);
    OtherProgramWindow other;
    ASSERT_TRUE(waitFor([&] { return other.mapped(); }));
    // Without a tray the program opens its dashboard at start; Ctrl+N there asks for a name.
    ProgramProcess program(home, bus->address(), {});
    std::optional<xcb_window_t> dashboard;
    ASSERT_TRUE(waitFor([&] {
        dashboard = shownProgramWindow(*x, QStringLiteral("Zentharion"));
        return dashboard && activeWindow(*x) == *dashboard;
    })) << "the dashboard never became active";
    pumpEventsFor(300);
    x->key(keycode::n, true);
    std::optional<xcb_window_t> prompt;
    ASSERT_TRUE(waitFor([&] { return (prompt = shownProgramWindow(*x, QStringLiteral("Save Current Layout"))).has_value(); }));

    // Another program takes the keyboard just after the prompt appeared; the prompt asks for it
    // again, and what is typed once it is active lands in its name field.
    QThread::msleep(100);
    other.takeKeyboard();
    ASSERT_TRUE(waitFor([&] { return keysGoTo(*x, *prompt); }, 5000)) << "the prompt never got the keyboard back";
    x->pressChord({shiftLeft, keyE});
    type(*x, {keyV, keyE, keyN, keyI, keyN, keyG});

    // The person turns to the other window: the line they type there reaches it.
    activateAsThePerson(*x, other.window());
    ASSERT_TRUE(waitFor([&] { return keysGoTo(*x, other.window()); }, 5000));
    const int before = other.keysReceived();
    type(*x, {keyL, keyI, keyN, keyE, keycode::returnKey});
    EXPECT_TRUE(waitFor([&] { return other.keysReceived() - before == 5; }, 5000))
        << "the other window got " << other.keysReceived() - before << " of the 5 keys typed there";
    pumpEventsFor(300);
    EXPECT_EQ(other.keysReceived() - before, 5);

    // Back in the prompt, Return saves the layout under the name typed before.
    activateAsThePerson(*x, *prompt);
    ASSERT_TRUE(waitFor([&] { return keysGoTo(*x, *prompt); }, 5000));
    x->key(keycode::returnKey);
    EXPECT_TRUE(waitFor([&] { return !storedNames().isEmpty(); }, 10000))
        << "no layout was saved: " << program.process.readAllStandardError().toStdString();
    EXPECT_EQ(storedNames(), QStringList{"Evening"});
}

} // namespace
} // namespace zen
