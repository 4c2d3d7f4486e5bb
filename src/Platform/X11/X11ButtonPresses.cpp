#include "Platform/X11/X11ButtonPresses.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace zen {

namespace {

// Buttons 4 to 7 are the wheel's steps; the middle button is no way to the program.
constexpr std::uint32_t leftButton = 1, rightButton = 3;

} // namespace

X11ButtonPresses::X11ButtonPresses(std::function<bool(QPoint)> take)
    : m_take(std::move(take))
{
    // The toolkit asks for the pointer's events through the X Input extension where the server
    // has it, and they arrive as that extension's events, known by its number on the connection.
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (application && application->connection())
        if (const xcb_query_extension_reply_t* input = xcb_get_extension_data(application->connection(), &xcb_input_id);
            input && input->present)
            m_inputExtension = input->major_opcode;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ButtonPresses::~X11ButtonPresses()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool X11ButtonPresses::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message || !m_take)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & ~0x80;
    std::uint32_t button = 0;
    xcb_timestamp_t time = 0;
    QPoint at;
    if (type == XCB_BUTTON_PRESS) {
        const auto* press = static_cast<const xcb_button_press_event_t*>(message);
        button = press->detail;
        time = press->time;
        at = QPoint(press->root_x, press->root_y);
    } else if (type == XCB_GE_GENERIC && m_inputExtension) {
        const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
        if (generic->extension != *m_inputExtension || generic->event_type != XCB_INPUT_BUTTON_PRESS)
            return false;
        const auto* press = static_cast<const xcb_input_button_press_event_t*>(message);
        button = press->detail;
        time = press->time;
        // Fixed point, 16 bits of fraction.
        at = QPoint(press->root_x >> 16, press->root_y >> 16);
    } else {
        return false;
    }
    if (button != leftButton && button != rightButton)
        return false;
    // One press comes once for the pointer and once for the device behind it, at the same
    // time: it is taken, or not, once.
    if (m_last && m_last->time == time && m_last->button == button)
        return m_last->taken;
    m_last = Press{time, button, false};
    m_last->taken = m_take(at);
    return m_last->taken;
}

} // namespace zen
