#include "Support/LiveDesktop.h"

#include "Displays/DisplayResolver.h"
#include "Permissions/AccessibilityTrustChecker.h"
#include "Platform/X11/X11Connection.h"
#include "Platform/X11/X11Platform.h"
#include "Shared/UserDefaults.h"
#include "Support/TestClientProcess.h"
#include "WindowDiscovery/WindowDiscoveryEngine.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/res.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zen::testsupport {

namespace {

// Frees an xcb reply when it goes.
template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply)
{
    return {reply, &std::free};
}

} // namespace

bool waitFor(const std::function<bool()>& done, int timeoutMs, int stepMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        pumpEventsFor(stepMs);
    }
    return true;
}

bool waitUntilEnded(QProcess& process, int timeoutMs)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

QRect waitUntilSettled(const std::function<QRect()>& area, int timeoutMs)
{
    QRect last;
    int samePolls = 0;
    const bool settled = waitFor(
        [&] {
            const QRect now = area();
            samePolls = !now.isEmpty() && now == last ? samePolls + 1 : 0;
            last = now;
            return samePolls >= 10;
        },
        timeoutMs);
    return settled ? last : QRect();
}

std::unique_ptr<QObject> whenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> act)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(20);
    QObject::connect(timer.get(), &QTimer::timeout,
                     [timer = timer.get(), find = std::move(find), act = std::move(act)] {
                         // Shown to the toolkit is not yet on screen: input sent before the
                         // server has mapped the window goes to whatever lies beneath.
                         QWidget* widget = find();
                         if (widget && widget->isVisible() && widget->windowHandle()
                             && widget->windowHandle()->isExposed()) {
                             timer->stop();
                             act(widget);
                         }
                     });
    timer->start();
    return timer;
}

XSession::XSession(const QString& display)
    : m_connection(xcb_connect(display.isEmpty() ? nullptr : display.toLocal8Bit().constData(), nullptr))
{
    if (isOpen())
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
}

XSession::~XSession()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XSession::movePointer(QPoint global)
{
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, std::int16_t(global.x()),
                        std::int16_t(global.y()), 0);
    xcb_flush(m_connection);
}

void XSession::button(std::uint8_t type, std::uint8_t button)
{
    xcb_test_fake_input(m_connection, type, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(m_connection);
}

void XSession::click(QPoint global, std::uint8_t button, int count)
{
    movePointer(global);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (int i = 0; i < count; ++i) {
        xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(m_connection);
}

void XSession::click(QWidget* widget, QPoint local, std::uint8_t button, int count)
{
    click(widget->mapToGlobal(local), button, count);
}

void XSession::click(QWidget* widget)
{
    click(widget, widget->rect().center());
}

void XSession::pressChord(std::initializer_list<xcb_keycode_t> keys)
{
    for (xcb_keycode_t key : keys)
        xcb_test_fake_input(m_connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
        xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(m_connection);
}

void XSession::key(xcb_keycode_t code, bool withControl)
{
    if (withControl)
        pressChord({keycode::controlLeft, code});
    else
        pressChord({code});
}

xcb_atom_t XSession::atom(const char* name)
{
    auto reply = owned(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QPoint XSession::rootPosition(xcb_window_t window)
{
    auto reply = owned(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    return reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
}

QPoint XSession::rootPosition(QWidget* widget)
{
    return rootPosition(xcb_window_t(widget->winId()));
}

QRect XSession::rootGeometry(xcb_window_t window)
{
    auto geometry = owned(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    auto translated = owned(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!geometry || !translated)
        return {};
    return QRect(translated->dst_x, translated->dst_y, geometry->width, geometry->height);
}

bool XSession::isEmbedded(QWidget* widget)
{
    auto tree = owned(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, xcb_window_t(widget->winId())), nullptr));
    return tree && tree->parent != m_root;
}

QByteArray XSession::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    auto reply = owned(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 1024), nullptr));
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QString XSession::title(xcb_window_t window)
{
    return QString::fromUtf8(property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING")));
}

bool XSession::ownsSelection(const char* selection)
{
    const xcb_atom_t name = atom(selection);
    if (name == XCB_ATOM_NONE)
        return false;
    auto owner = owned(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, name), nullptr));
    return owner && owner->owner != XCB_NONE;
}

bool XSession::isProgramWindow(xcb_window_t window)
{
    return property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).startsWith(QByteArray("zentharion\0Zentharion", 21));
}

namespace {

// A window the window manager manages carries WM_STATE; an icon a tray took in does not.
bool managedByWindowManager(XSession& x, xcb_window_t window)
{
    const xcb_atom_t wmState = x.atom("WM_STATE");
    return wmState != XCB_ATOM_NONE && !x.property(window, wmState, wmState).isEmpty();
}

// The program's windows below `window` that some window other than the root has taken in; the
// program's own windows, which the window manager puts in frames, are not icons.
void collectEmbedded(XSession& x, xcb_window_t window, std::vector<xcb_window_t>& found)
{
    auto tree = owned(xcb_query_tree_reply(x.connection(), xcb_query_tree(x.connection(), window), nullptr));
    if (!tree)
        return;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        if (window != x.root() && x.isProgramWindow(children[i]) && !managedByWindowManager(x, children[i]))
            found.push_back(children[i]);
        collectEmbedded(x, children[i], found);
    }
}

} // namespace

std::optional<xcb_window_t> XSession::programTrayIcon()
{
    std::vector<xcb_window_t> found;
    collectEmbedded(*this, m_root, found);
    return found.empty() ? std::nullopt : std::optional(found.front());
}

int XSession::embeddedProgramWindows()
{
    std::vector<xcb_window_t> found;
    collectEmbedded(*this, m_root, found);
    return int(found.size());
}

std::vector<xcb_window_t> XSession::programPopups()
{
    std::vector<xcb_window_t> popups;
    auto tree = owned(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
    if (!tree)
        return popups;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto attributes = owned(xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr));
        const bool shown = attributes && attributes->override_redirect
            && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        if (shown && isProgramWindow(children[i]))
            popups.push_back(children[i]);
    }
    return popups;
}

std::vector<QRect> XSession::programPanels()
{
    std::vector<QRect> panels;
    for (xcb_window_t popup : programPopups())
        panels.push_back(rootGeometry(popup));
    return panels;
}

QImage XSession::grab(const QRect& rootArea)
{
    if (rootArea.isEmpty())
        return {};
    auto reply = owned(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, std::int16_t(rootArea.x()),
                      std::int16_t(rootArea.y()), std::uint16_t(rootArea.width()), std::uint16_t(rootArea.height()),
                      ~0u),
        nullptr));
    // The test server's root is 24 bits deep, four bytes a pixel.
    if (!reply || xcb_get_image_data_length(reply.get()) != rootArea.width() * rootArea.height() * 4)
        return {};
    return QImage(xcb_get_image_data(reply.get()), rootArea.width(), rootArea.height(), rootArea.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

bool XSession::drawnOver(xcb_window_t window, const QImage& before)
{
    const QRect area = rootGeometry(window).intersected(before.rect());
    const QImage now = grab(area);
    if (now.isNull())
        return false;
    const QImage then = before.copy(area);
    int changed = 0;
    for (int y = 0; y < now.height(); ++y)
        for (int x = 0; x < now.width(); ++x)
            changed += now.pixel(x, y) != then.pixel(x, y);
    return changed >= 50;
}

std::optional<xcb_window_t> XSession::drawnProgramPopup(const QImage& before)
{
    for (xcb_window_t popup : programPopups())
        if (drawnOver(popup, before))
            return popup;
    return std::nullopt;
}

namespace {

QImage importImage(const QString& window)
{
    QProcess import;
    import.start(QStringLiteral("/usr/bin/import"), {"-silent", "-window", window, "png:-"});
    if (!import.waitForFinished(15000))
        return {};
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

} // namespace

QImage rootScreenshot()
{
    return importImage(QStringLiteral("root"));
}

QImage windowScreenshot(xcb_window_t window)
{
    return importImage(QString::number(window));
}

QString ScreenshotFolder::path() const
{
    const QString asked = qEnvironmentVariable("ZEN_SCREENSHOT_DIR");
    return asked.isEmpty() ? m_temporary.path() : asked;
}

QString ScreenshotFolder::save(const QImage& image, const QString& name) const
{
    QDir().mkpath(path());
    const QString file = path() + QLatin1Char('/') + name + QStringLiteral(".png");
    image.save(file);
    return file;
}

bool hasTool(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

TrayProcess::TrayProcess()
{
    m_process.start(QStringLiteral("trayer"),
                    {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    m_started = m_process.waitForStarted();
}

TrayProcess::~TrayProcess()
{
    m_process.terminate();
    m_process.waitForFinished(5000);
}

ProgramHome::ProgramHome()
{
    for (const char* folder : {"data", "config/Zentharion", "runtime"})
        QDir().mkpath(m_dir.filePath(QString::fromLatin1(folder)));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void ProgramHome::markOnboardingDone() const
{
    UserDefaults(settingsFile()).setString(QStringLiteral("Zentharion.Onboarding.status"),
                                           QStringLiteral("completedAuthorized"));
}

namespace {

void startProgram(QProcess& process, const ProgramHome& home, const QString& executable, const QString& busAddress,
                  const QStringList& arguments, const QProcessEnvironment& extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (busAddress.isEmpty())
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    else
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    env.insert(extra);
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + executable, arguments);
}

} // namespace

ProgramProcess::ProgramProcess(const ProgramHome& home, const QString& executable)
{
    startProgram(process, home, executable, {}, {});
}

ProgramProcess::ProgramProcess(const ProgramHome& home, const QProcessEnvironment& extra, const QString& executable)
{
    startProgram(process, home, executable, {}, {}, extra);
}

ProgramProcess::ProgramProcess(const ProgramHome& home, const QString& sessionBusAddress, const QStringList& arguments,
                               const QProcessEnvironment& extra)
{
    startProgram(process, home, QStringLiteral("zentharion"), sessionBusAddress, arguments, extra);
}

ProgramProcess::~ProgramProcess()
{
    process.terminate();
    process.waitForFinished(5000);
}

bool waitUntilShortcutsRegistered(QProcess& program, QByteArray& errors, int shortcuts, int layouts, int timeoutMs)
{
    const QByteArray line = QStringLiteral("Shortcuts registered: %1 (layouts: %2)").arg(shortcuts).arg(layouts).toUtf8();
    return waitFor([&] {
        errors += program.readAllStandardError();
        return errors.contains(line);
    }, timeoutMs);
}

PrivateXServer::PrivateXServer(const QStringList& arguments)
{
    for (int number = 100; number < 400 && m_display.isEmpty(); ++number) {
        const QString n = QString::number(number);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + n)
            || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            continue;
        m_process.start(QStringLiteral("Xvfb"), QStringList{QLatin1Char(':') + n, QStringLiteral("-displayfd"),
                                                            QStringLiteral("1"), QStringLiteral("-nolisten"),
                                                            QStringLiteral("tcp")}
                                                    + arguments);
        if (!m_process.waitForStarted())
            return;
        // It writes the number once it accepts clients, or ends when the display is taken.
        QByteArray written;
        waitFor([&] {
            written += m_process.readAllStandardOutput();
            return written.contains('\n') || m_process.state() == QProcess::NotRunning;
        }, 10000);
        if (written.contains('\n'))
            m_display = QLatin1Char(':') + n;
        else if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

PrivateXServer::~PrivateXServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    m_process.waitForFinished(5000);
}

SessionBusProcess::SessionBusProcess()
{
    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    m_process.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address"),
                                                    QStringLiteral("--address=unix:path=") + socket});
    if (!m_process.waitForStarted())
        return;
    // The daemon prints its address once it listens.
    QByteArray printed;
    waitFor([&] {
        printed += m_process.readAllStandardOutput();
        return printed.contains('\n') || m_process.state() == QProcess::NotRunning;
    }, 10000);
    if (printed.contains('\n'))
        m_address = QString::fromUtf8(printed.left(printed.indexOf('\n')).trimmed());
}

SessionBusProcess::~SessionBusProcess()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::optional<xcb_window_t> shownProgramWindow(XSession& x, const QString& title)
{
    const QByteArray clients = x.property(x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    const xcb_atom_t hidden = x.atom("_NET_WM_STATE_HIDDEN");
    for (qsizetype i = 0; i + 4 <= clients.size(); i += 4) {
        xcb_window_t window = 0;
        std::memcpy(&window, clients.constData() + i, 4);
        if (!x.isProgramWindow(window) || x.title(window) != title)
            continue;
        auto attributes = owned(xcb_get_window_attributes_reply(
            x.connection(), xcb_get_window_attributes(x.connection(), window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        const QByteArray states = x.property(window, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
        bool minimized = false;
        for (qsizetype j = 0; j + 4 <= states.size(); j += 4) {
            xcb_atom_t state = XCB_ATOM_NONE;
            std::memcpy(&state, states.constData() + j, 4);
            minimized = minimized || state == hidden;
        }
        if (!minimized)
            return window;
    }
    return std::nullopt;
}

xcb_window_t activeWindow(XSession& x)
{
    const QByteArray active = x.property(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    xcb_window_t window = XCB_NONE;
    if (active.size() >= 4)
        std::memcpy(&window, active.constData(), 4);
    return window;
}

namespace {

void sendToWindowManager(XSession& x, xcb_window_t window, xcb_atom_t type, std::uint32_t data0, std::uint32_t data1)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = data0;
    event.data.data32[1] = data1;
    xcb_send_event(x.connection(), 0, x.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(x.connection());
}

} // namespace

void minimizeWindow(XSession& x, xcb_window_t window)
{
    constexpr std::uint32_t iconicState = 3;
    sendToWindowManager(x, window, x.atom("WM_CHANGE_STATE"), iconicState, 0);
}

void closeWindow(XSession& x, xcb_window_t window)
{
    constexpr std::uint32_t sourcePager = 2;
    sendToWindowManager(x, window, x.atom("_NET_CLOSE_WINDOW"), XCB_CURRENT_TIME, sourcePager);
}

ScopedXdgFolders::ScopedXdgFolders(const QString& dataHome, const QString& configHome,
                                   std::optional<QByteArray> dataDirs)
    : m_data(qgetenv("XDG_DATA_HOME"))
    , m_config(qgetenv("XDG_CONFIG_HOME"))
    , m_dataDirs(qgetenv("XDG_DATA_DIRS"))
    , m_setDataDirs(dataDirs.has_value())
{
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
    if (dataDirs)
        qputenv("XDG_DATA_DIRS", *dataDirs);
}

ScopedXdgFolders::~ScopedXdgFolders()
{
    qputenv("XDG_DATA_HOME", m_data);
    qputenv("XDG_CONFIG_HOME", m_config);
    if (m_setDataDirs)
        qputenv("XDG_DATA_DIRS", m_dataDirs);
}

QString windowManagerConfigFile()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {"-root", "-notype", "_OB_CONFIG_FILE"});
    xprop.waitForFinished();
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput());
    const qsizetype open = out.indexOf('"');
    const qsizetype close = out.lastIndexOf('"');
    return open >= 0 && close > open ? out.mid(open + 1, close - open - 1) : QString();
}

bool stopWindowManager()
{
    if (QProcess::execute(QStringLiteral("openbox"), {"--exit"}) != 0)
        return false;
    return waitFor([] { return !AccessibilityTrustChecker().isTrusted(); });
}

bool startWindowManager(const QString& configFile)
{
    QStringList arguments{"--sm-disable"};
    if (!configFile.isEmpty())
        arguments << "--config-file" << configFile;
    // Its themes live in the system data folders, which the tests hide from themselves.
    QProcess openbox;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/local/share:/usr/share"));
    openbox.setProcessEnvironment(environment);
    openbox.setProgram(QStringLiteral("openbox"));
    openbox.setArguments(arguments);
    openbox.setStandardOutputFile(QProcess::nullDevice());
    openbox.setStandardErrorFile(QProcess::nullDevice());
    if (!openbox.startDetached())
        return false;
    return waitFor([] { return AccessibilityTrustChecker().isTrusted(); });
}

HeldWindowManager::HeldWindowManager(XSession& x, int atMostMs)
{
    // The process behind the window manager's own window, as the X server knows its client.
    const QByteArray check = x.property(x.root(), x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (check.size() < 4)
        return;
    xcb_res_client_id_spec_t spec{};
    std::memcpy(&spec.client, check.constData(), 4);
    spec.mask = XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID;
    auto ids = owned(xcb_res_query_client_ids_reply(x.connection(), xcb_res_query_client_ids(x.connection(), 1, &spec),
                                                    nullptr));
    if (ids && ids->num_ids == 1) {
        const auto it = xcb_res_query_client_ids_ids_iterator(ids.get());
        if (xcb_res_client_id_value_value_length(it.data) == 1)
            m_process = *xcb_res_client_id_value_value(it.data);
    }
    if (m_process <= 0)
        return;
    const QString wakeUp = QStringLiteral("sleep %1; kill -CONT %2").arg(atMostMs / 1000.0).arg(m_process);
    if (!QProcess::startDetached(QStringLiteral("sh"), {"-c", wakeUp}) || ::kill(pid_t(m_process), SIGSTOP) != 0)
        m_process = 0;
}

HeldWindowManager::~HeldWindowManager()
{
    if (m_process > 0)
        ::kill(pid_t(m_process), SIGCONT);
}

} // namespace zen::testsupport

namespace zen::testsupport {

std::optional<xcb_window_t> openProgramTrayMenu(XSession& x, int timeoutMs)
{
    const QRect screen = x.rootGeometry(x.root());
    std::optional<xcb_window_t> icon;
    const auto iconArea = [&] {
        icon = x.programTrayIcon();
        return icon ? x.rootGeometry(*icon) : QRect();
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QRect at = waitUntilSettled(iconArea);
        if (at.isEmpty())
            return std::nullopt;
        const QImage before = x.grab(screen);
        x.click(at.center());
        std::optional<xcb_window_t> menu;
        if (waitFor([&] { return (menu = x.drawnProgramPopup(before)).has_value(); }, timeoutMs))
            return menu;
        if (iconArea() == at)
            return std::nullopt;
        qWarning("the tray moved the icon from %d,%d to where it is now: clicked again", at.x(), at.y());
    }
    return std::nullopt;
}

bool waitUntilFramed(XSession& x, QWidget* window, int timeoutMs)
{
    const xcb_atom_t wmState = x.atom("WM_STATE");
    const xcb_atom_t extents = x.atom("_NET_FRAME_EXTENTS");
    const auto framed = [&] {
        if (!window || !window->windowHandle() || !window->windowHandle()->isExposed())
            return false;
        const xcb_window_t id = xcb_window_t(window->winId());
        return !x.property(id, wmState, wmState).isEmpty() && !x.property(id, extents, XCB_ATOM_CARDINAL).isEmpty()
               && x.rootPosition(id) == window->mapToGlobal(QPoint(0, 0));
    };
    // Framed, and no longer moved by the window manager placing the frame.
    return waitFor(framed, timeoutMs)
           && !waitUntilSettled([&] { return framed() ? x.rootGeometry(xcb_window_t(window->winId())) : QRect(); })
                   .isEmpty();
}

bool waitUntilWindowGone(X11Platform& platform, xcb_window_t window, int timeoutMs)
{
    xcb_connection_t* c = platform.connection().connection();
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        std::lock_guard lock(platform.connection().mutex());
        if (!owned(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr)))
            return true;
    }
    return false;
}

std::optional<LiveWindow> findLiveWindow(const PlatformServices& services, const QString& title)
{
    auto found = WindowDiscoveryEngine::forPlatform(services).discoverRunningWindows();
    if (!found)
        return std::nullopt;
    for (const auto& app : *found)
        for (const auto& window : app.windows)
            if (window.title == title)
                return LiveWindow{window, app.bundleIdentifier, app.pid};
    return std::nullopt;
}

bool liveWindowAt(const PlatformServices& services, const QString& title, const CGRect& target)
{
    const auto live = findLiveWindow(services, title);
    return live && std::abs(live->window.frame.minX() - target.minX()) <= 4
        && std::abs(live->window.frame.minY() - target.minY()) <= 4;
}

WindowRecord recordPlacing(const LiveWindow& live, const CGRect& target, const DisplayRecord& display)
{
    const DiscoveredWindow& window = live.window;
    WindowRecord record;
    record.bundleIdentifier = live.bundleIdentifier;
    record.pidAtCapture = live.pid;
    record.windowTitle = window.title;
    record.role = window.role;
    record.subrole = window.subrole;
    record.frame = CGRectCodable(target);
    record.displayID = display.id;
    record.normalizedFrame = DisplayResolver::normalizedFrame(target, display);
    record.zOrderHint = 0;
    record.captureSignature = {live.bundleIdentifier, live.pid, window.title, window.role, window.subrole,
                               CGRectCodable(target), std::nullopt};
    return record;
}

Snapshot layoutMoving(const PlatformServices& services, const QString& name, const LiveWindow& live, double dx,
                      double dy)
{
    const DisplayState displays = DisplayResolver(services.screens).captureDisplayState();
    const CGRect& frame = live.window.frame;
    const CGRect target(frame.minX() + dx, frame.minY() + dy, frame.width(), frame.height());
    Snapshot layout;
    layout.name = name;
    layout.sourceDisplayState = displays;
    if (const auto display = DisplayResolver::resolveDisplay(target, displays))
        layout.windows = {recordPlacing(live, target, *display)};
    return layout;
}

} // namespace zen::testsupport
