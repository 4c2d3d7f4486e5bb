// A small X11 client for the live tests: opens windows with a chosen WM_CLASS, title,
// geometry and window type, and can minimize them or make them full screen.
//
//   zentharion_test_client --class instance,Class [--no-pid] [--bad-pid] [--claim-pid N]
//       --window "type=normal,title=Main,geometry=400x300+100+50[,minimize][,fullscreen][,hugetitle][,badutf8][,modal]
//                 [,strut=top:30][,gravity=N]" ...
//
// Prints "ready" and the window ids once every window is mapped, then runs until its
// standard input closes or it is killed. With --ignore-stdin (a client started through its
// desktop entry inherits whatever input its launcher has) it runs until killed or the X
// server goes away.
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct WindowSpec {
    std::string type = "normal";
    std::string title = "Window";
    int x = 0, y = 0, width = 300, height = 200;
    bool minimize = false;
    bool fullscreen = false;
    bool hugeTitle = false;
    bool badUtf8 = false;
    bool modal = false; // a modal dialog transient for the first window
    std::string strutSide; // left, right, top or bottom
    std::uint32_t strutSize = 0;
    std::uint32_t gravity = 0; // ICCCM win_gravity in WM_NORMAL_HINTS; 0: none set
};

xcb_connection_t* c;

xcb_atom_t atom(const char* name)
{
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

WindowSpec parseWindow(const std::string& text)
{
    WindowSpec spec;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        const std::size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (key == "type")
            spec.type = value;
        else if (key == "title")
            spec.title = value;
        else if (key == "geometry")
            std::sscanf(value.c_str(), "%dx%d+%d+%d", &spec.width, &spec.height, &spec.x, &spec.y);
        else if (key == "minimize")
            spec.minimize = true;
        else if (key == "fullscreen")
            spec.fullscreen = true;
        else if (key == "hugetitle")
            spec.hugeTitle = true;
        else if (key == "badutf8")
            spec.badUtf8 = true;
        else if (key == "modal")
            spec.modal = true;
        else if (key == "gravity")
            spec.gravity = std::uint32_t(std::stoul(value));
        else if (key == "strut") {
            const std::size_t colon = value.find(':');
            spec.strutSide = value.substr(0, colon);
            spec.strutSize = colon == std::string::npos ? 0 : std::uint32_t(std::stoul(value.substr(colon + 1)));
        }
        start = end + 1;
    }
    return spec;
}

void setProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, std::uint32_t count, const void* data)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, std::uint8_t(format), count, data);
}

} // namespace

int main(int argc, char** argv)
{
    std::string instance = "zen-test-client", cls = "ZenTestClient";
    bool setPid = true, badPid = false, watchStdin = true;
    std::uint32_t claimedPid = 0;
    std::vector<WindowSpec> specs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--class" && i + 1 < argc) {
            const std::string v = argv[++i];
            const std::size_t comma = v.find(',');
            instance = v.substr(0, comma);
            cls = comma == std::string::npos ? v : v.substr(comma + 1);
        } else if (arg == "--window" && i + 1 < argc) {
            specs.push_back(parseWindow(argv[++i]));
        } else if (arg == "--no-pid") {
            setPid = false;
        } else if (arg == "--bad-pid") {
            badPid = true;
        } else if (arg == "--claim-pid" && i + 1 < argc) {
            claimedPid = std::uint32_t(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--ignore-stdin") {
            watchStdin = false;
        }
    }
    if (specs.empty())
        specs.push_back(WindowSpec {});

    int screenNumber = 0;
    c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    const xcb_atom_t utf8 = atom("UTF8_STRING");
    const xcb_atom_t netName = atom("_NET_WM_NAME");
    const xcb_atom_t netPid = atom("_NET_WM_PID");
    const xcb_atom_t netType = atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t netState = atom("_NET_WM_STATE");
    const xcb_atom_t fullscreen = atom("_NET_WM_STATE_FULLSCREEN");
    const xcb_atom_t changeState = atom("WM_CHANGE_STATE");
    const xcb_atom_t wmState = atom("WM_STATE");
    const xcb_atom_t normalHints = XCB_ATOM_WM_NORMAL_HINTS;

    std::vector<xcb_window_t> windows;
    for (const WindowSpec& spec : specs) {
        const xcb_window_t w = xcb_generate_id(c);
        const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, std::int16_t(spec.x), std::int16_t(spec.y),
                          std::uint16_t(spec.width), std::uint16_t(spec.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        const std::string wmClass = instance + '\0' + cls + '\0';
        setProperty(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, std::uint32_t(wmClass.size()), wmClass.data());
        std::string title = spec.title;
        if (spec.hugeTitle)
            title = std::string(1 << 20, 'x') + "\xe2\x82";
        if (spec.badUtf8)
            title = spec.title + "\xff\xfe\xc3";
        setProperty(w, netName, utf8, 8, std::uint32_t(title.size()), title.data());
        setProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, std::uint32_t(spec.title.size()), spec.title.data());
        if (badPid) {
            const char text[] = "1234";
            setProperty(w, netPid, XCB_ATOM_STRING, 8, 4, text);
        } else if (setPid) {
            const std::uint32_t pid = claimedPid ? claimedPid : std::uint32_t(::getpid());
            setProperty(w, netPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
        }
        const std::string typeName = "_NET_WM_WINDOW_TYPE_" + [&] {
            std::string upper = spec.type;
            for (char& ch : upper)
                ch = char(std::toupper(static_cast<unsigned char>(ch)));
            return upper;
        }();
        const xcb_atom_t type = atom(typeName.c_str());
        setProperty(w, netType, XCB_ATOM_ATOM, 32, 1, &type);
        // USPosition | USSize | PPosition | PSize: the window manager places us where asked.
        std::uint32_t hints[18] = {};
        hints[0] = 1 | 2 | 4 | 8;
        hints[1] = std::uint32_t(spec.x);
        hints[2] = std::uint32_t(spec.y);
        hints[3] = std::uint32_t(spec.width);
        hints[4] = std::uint32_t(spec.height);
        if (spec.gravity) {
            hints[0] |= 1u << 9; // PWinGravity
            hints[17] = spec.gravity;
        }
        setProperty(w, normalHints, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        if (spec.fullscreen)
            setProperty(w, netState, XCB_ATOM_ATOM, 32, 1, &fullscreen);
        if (spec.modal && !windows.empty()) {
            const xcb_atom_t modalState = atom("_NET_WM_STATE_MODAL");
            setProperty(w, netState, XCB_ATOM_ATOM, 32, 1, &modalState);
            setProperty(w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &windows.front());
        }
        if (!spec.strutSide.empty()) {
            // left, right, top, bottom, then start/end pairs along each edge: the strut covers
            // the window's own extent along its edge.
            std::uint32_t strut[12] = {};
            const std::uint32_t x0 = std::uint32_t(spec.x), x1 = std::uint32_t(spec.x + spec.width - 1);
            const std::uint32_t y0 = std::uint32_t(spec.y), y1 = std::uint32_t(spec.y + spec.height - 1);
            if (spec.strutSide == "left") { strut[0] = spec.strutSize; strut[4] = y0; strut[5] = y1; }
            if (spec.strutSide == "right") { strut[1] = spec.strutSize; strut[6] = y0; strut[7] = y1; }
            if (spec.strutSide == "top") { strut[2] = spec.strutSize; strut[8] = x0; strut[9] = x1; }
            if (spec.strutSide == "bottom") { strut[3] = spec.strutSize; strut[10] = x0; strut[11] = x1; }
            setProperty(w, atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut);
        }
        xcb_map_window(c, w);
        windows.push_back(w);
    }
    xcb_flush(c);

    // Wait until every window is mapped, then iconify the ones asked for and wait until the
    // window manager has put them in the iconic state.
    std::vector<bool> mapped(windows.size(), false), iconic(windows.size(), false);
    auto indexOf = [&](xcb_window_t w) -> int {
        for (std::size_t i = 0; i < windows.size(); ++i)
            if (windows[i] == w)
                return int(i);
        return -1;
    };
    bool minimizeSent = false;
    for (;;) {
        bool allMapped = true, allIconic = true;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            allMapped = allMapped && (mapped[i] || (specs[i].minimize && minimizeSent));
            allIconic = allIconic && (!specs[i].minimize || iconic[i]);
        }
        if (allMapped && !minimizeSent) {
            for (std::size_t i = 0; i < windows.size(); ++i) {
                if (!specs[i].minimize)
                    continue;
                xcb_client_message_event_t ev {};
                ev.response_type = XCB_CLIENT_MESSAGE;
                ev.format = 32;
                ev.window = windows[i];
                ev.type = changeState;
                ev.data.data32[0] = 3; // IconicState
                xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                               reinterpret_cast<const char*>(&ev));
            }
            minimizeSent = true;
            xcb_flush(c);
        }
        if (allMapped && minimizeSent && allIconic)
            break;
        xcb_generic_event_t* event = xcb_wait_for_event(c);
        if (!event)
            return 1;
        const int type = event->response_type & 0x7F;
        if (type == XCB_MAP_NOTIFY) {
            const int i = indexOf(reinterpret_cast<xcb_map_notify_event_t*>(event)->window);
            if (i >= 0)
                mapped[std::size_t(i)] = true;
        } else if (type == XCB_PROPERTY_NOTIFY) {
            auto* p = reinterpret_cast<xcb_property_notify_event_t*>(event);
            const int i = indexOf(p->window);
            if (i >= 0 && p->atom == wmState) {
                auto* r = xcb_get_property_reply(c, xcb_get_property(c, 0, p->window, wmState, wmState, 0, 2), nullptr);
                if (r && xcb_get_property_value_length(r) >= 4 && *static_cast<std::uint32_t*>(xcb_get_property_value(r)) == 3)
                    iconic[std::size_t(i)] = true;
                std::free(r);
            }
        }
        std::free(event);
    }

    std::printf("ready");
    for (xcb_window_t w : windows)
        std::printf(" %u", w);
    std::printf("\n");
    std::fflush(stdout);

    // Serve events until stdin closes.
    pollfd fds[2] = {{watchStdin ? 0 : -1, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            break;
        if (fds[0].revents) {
            char buffer[64];
            if (::read(0, buffer, sizeof buffer) <= 0)
                break;
        }
        while (xcb_generic_event_t* e = xcb_poll_for_event(c))
            std::free(e);
        if (xcb_connection_has_error(c))
            break;
    }
    xcb_disconnect(c);
    return 0;
}
