#include "Platform/X11/X11Platform.h"

#include "Platform/Edid.h"
#include "Platform/X11/X11Connection.h"

#include <QVariantMap>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <map>
#include <set>

namespace zen {

namespace {

constexpr auto stateMaxAge = std::chrono::seconds(1);
// How long a raise we asked for is trusted over a reading: the window manager carries out
// requests in its own time, and a reading taken meanwhile still shows the old order.
constexpr auto ownRaiseTrust = std::chrono::seconds(2);
// The whole-desktop readings that one pass makes back to back (a restore asks for the screens,
// the running applications and the window list within a few milliseconds) share one reading
// taken this recently with no write since. Polls that wait for the desktop to change sleep
// longer than this between readings, so each of them still reads afresh.
constexpr auto passReuseAge = std::chrono::milliseconds(50);
// How old a reading may be for its stacking to stand for the desktop's when deciding which
// raises change nothing: a restore raises moments after its discovery read the desktop.
constexpr auto stackingTrust = std::chrono::milliseconds(250);

bool processExists(std::int32_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

QVariantMap boundsDictionary(const CGRect& r)
{
    return QVariantMap {{QStringLiteral("X"), r.minX()}, {QStringLiteral("Y"), r.minY()},
                        {QStringLiteral("Width"), r.width()}, {QStringLiteral("Height"), r.height()}};
}

const X11ClientWindow* findWindow(const X11DesktopState& state, std::uint32_t id)
{
    for (const auto& w : state.windowsFrontFirst) {
        if (w.id == id)
            return &w;
    }
    return nullptr;
}

// The application's front-most window that is not minimized is its main window.
bool isMainWindow(const X11DesktopState& state, const X11ClientWindow& window)
{
    for (const auto& w : state.windowsFrontFirst) {
        if (w.pid == window.pid && !w.minimized && !w.dockOrDesktop)
            return w.id == window.id;
    }
    return false;
}

} // namespace

std::shared_ptr<X11Platform> X11Platform::connect(const char* displayName)
{
    auto connection = X11Connection::open(displayName);
    if (!connection)
        return nullptr;
    std::shared_ptr<X11Platform> platform(new X11Platform(std::move(connection)));
    platform->m_self = platform;
    return platform;
}

X11Platform::X11Platform(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
    , m_writer(*m_connection)
{
}

PlatformServices X11Platform::services()
{
    auto self = m_self.lock();
    return PlatformServices {self, self, self, self};
}

std::shared_ptr<const X11DesktopState> X11Platform::refresh()
{
    // Aged from its start: what changed while it was being read may be missing from it.
    const auto started = std::chrono::steady_clock::now();
    std::uint64_t writesBefore = 0, stackingBefore = 0;
    {
        std::lock_guard lock(m_stateMutex);
        writesBefore = m_writes;
        stackingBefore = m_stackingChanges;
    }
    X11DesktopState state;
    {
        std::lock_guard lock(m_connection->mutex());
        state = readX11Desktop(*m_connection);
    }
    auto shared = std::make_shared<const X11DesktopState>(std::move(state));
    std::lock_guard lock(m_stateMutex);
    m_state = shared;
    m_stateTime = started;
    // A write made while reading may or may not be in it.
    m_stateStale = m_writes != writesBefore;
    m_stackingChanged = m_stackingChanges != stackingBefore;
    return shared;
}

std::shared_ptr<const X11DesktopState> X11Platform::reading(std::chrono::steady_clock::duration maxAge)
{
    {
        std::lock_guard lock(m_stateMutex);
        if (m_state && !m_stateStale && std::chrono::steady_clock::now() - m_stateTime < maxAge)
            return m_state;
    }
    return refresh();
}

std::optional<std::pair<std::shared_ptr<const X11DesktopState>, const X11ClientWindow*>>
X11Platform::writeTarget(const AXUIElement& element)
{
    auto [state, windows] = writeTargets({element});
    if (!windows.front())
        return std::nullopt;
    return std::make_pair(std::move(state), windows.front());
}

std::pair<std::shared_ptr<const X11DesktopState>, std::vector<const X11ClientWindow*>>
X11Platform::writeTargets(const std::vector<AXUIElement>& elements)
{
    std::shared_ptr<const X11DesktopState> state;
    {
        std::lock_guard lock(m_stateMutex);
        if (m_state && std::chrono::steady_clock::now() - m_stateTime < stateMaxAge)
            state = m_state;
    }
    std::vector<const X11ClientWindow*> windows(elements.size(), nullptr);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!state)
            state = refresh();
        bool missing = false;
        for (std::size_t i = 0; i < elements.size(); ++i) {
            const X11ClientWindow* w = elements[i].isApplication() ? nullptr : findWindow(*state, elements[i].window);
            windows[i] = w && w->pid == elements[i].processIdentifier ? w : nullptr;
            missing = missing || (!windows[i] && !elements[i].isApplication());
        }
        if (!missing)
            break;
        if (attempt == 0)
            state.reset();
    }
    return {std::move(state), std::move(windows)};
}

DesktopEntryResolver::Identity X11Platform::identityOf(const X11ClientWindow& window)
{
    return m_entries.resolve(window.wmInstance, window.wmClass, window.gtkApplicationId);
}

bool X11Platform::isProcessTrusted()
{
    std::lock_guard lock(m_connection->mutex());
    X11Connection& x = *m_connection;
    xcb_connection_t* c = x.connection();
    if (xcb_connection_has_error(c))
        return false;
    const xcb_atom_t check = x.atom("_NET_SUPPORTING_WM_CHECK");
    auto readWindow = [&](xcb_get_property_cookie_t cookie) -> xcb_window_t {
        const auto reply = replyOf(xcb_get_property_reply, c, cookie);
        const auto window = cardinals(reply.get(), XCB_ATOM_WINDOW);
        return window.empty() ? 0 : window[0];
    };
    const xcb_window_t wm = readWindow(xcb_get_property(c, 0, x.root(), check, XCB_ATOM_WINDOW, 0, 1));
    x.countRoundTrip();
    if (!wm)
        return false;
    // A stale property left by a window manager that has exited names a window that is gone
    // or that no longer points at itself.
    auto selfCookie = xcb_get_property(c, 0, wm, check, XCB_ATOM_WINDOW, 0, 1);
    auto supportedCookie = xcb_get_property(c, 0, x.root(), x.atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096);
    const bool selfValid = readWindow(selfCookie) == wm;
    const auto supported = replyOf(xcb_get_property_reply, c, supportedCookie);
    x.countRoundTrip();
    const auto atoms = cardinals(supported.get(), XCB_ATOM_ATOM);
    return selfValid && containsAtom(atoms, x.atom("_NET_CLIENT_LIST_STACKING"))
        && containsAtom(atoms, x.atom("_NET_ACTIVE_WINDOW")) && containsAtom(atoms, x.atom("_NET_MOVERESIZE_WINDOW"));
}

AXUIElement X11Platform::applicationElement(std::int32_t processIdentifier)
{
    return AXUIElement {processIdentifier, 0};
}

std::optional<AXAttributeValue> X11Platform::copyAttributeValue(const AXUIElement& element, const QString& attribute)
{
    const auto state = reading(stateMaxAge);
    if (element.isApplication()) {
        if (attribute == AXAttribute::windows) {
            std::vector<AXUIElement> list;
            for (const auto& w : state->windowsFrontFirst) {
                if (w.pid == element.processIdentifier && !w.dockOrDesktop)
                    list.push_back(AXUIElement {element.processIdentifier, w.id});
            }
            return list;
        }
        return std::nullopt;
    }
    const X11ClientWindow* w = findWindow(*state, element.window);
    if (!w || w->pid != element.processIdentifier)
        return std::nullopt;
    if (attribute == AXAttribute::position)
        return w->frame ? std::optional<AXAttributeValue>(w->frame->origin) : std::nullopt;
    if (attribute == AXAttribute::size)
        return w->frame ? std::optional<AXAttributeValue>(w->frame->size) : std::nullopt;
    if (attribute == AXAttribute::title)
        return w->title ? std::optional<AXAttributeValue>(*w->title) : std::nullopt;
    if (attribute == AXAttribute::role)
        return AXAttributeValue(w->role);
    if (attribute == AXAttribute::subrole)
        return w->subrole ? std::optional<AXAttributeValue>(*w->subrole) : std::nullopt;
    if (attribute == AXAttribute::minimized)
        return AXAttributeValue(w->minimized);
    if (attribute == AXAttribute::fullScreen)
        return AXAttributeValue(w->fullscreen);
    if (attribute == AXAttribute::main)
        return AXAttributeValue(isMainWindow(*state, *w));
    if (attribute == AXAttribute::focused)
        return AXAttributeValue(state->activeWindow == w->id);
    return std::nullopt;
}

bool X11Platform::setAttributeValue(const AXUIElement& element, const QString& attribute, const AXAttributeValue& value)
{
    if (element.isApplication())
        return false;
    const auto target = writeTarget(element);
    if (!target)
        return false;
    const auto& state = target->first;
    const X11ClientWindow* w = target->second;
    bool ok = false;
    if (attribute == AXAttribute::position) {
        if (const auto* p = std::get_if<CGPoint>(&value))
            ok = m_writer.moveResize(*w, state->rootOrigin, p, nullptr);
    } else if (attribute == AXAttribute::size) {
        if (const auto* sz = std::get_if<CGSize>(&value))
            ok = m_writer.moveResize(*w, state->rootOrigin, nullptr, sz);
    } else if (attribute == AXAttribute::minimized) {
        if (const auto* b = std::get_if<bool>(&value))
            ok = m_writer.setMinimized(w->id, *b);
    } else if (attribute == AXAttribute::main || attribute == AXAttribute::focused) {
        const auto* b = std::get_if<bool>(&value);
        ok = b && *b && m_writer.activate(w->id);
        if (ok && w->pid)
            noteRaised(*w->pid, w->id);
    }
    invalidate(attribute != AXAttribute::position && attribute != AXAttribute::size);
    return ok;
}

bool X11Platform::setFrame(const AXUIElement& element, const CGRect& frame)
{
    if (element.isApplication())
        return false;
    const auto target = writeTarget(element);
    if (!target)
        return false;
    // One move-and-resize request: the window manager applies position and size together.
    const bool ok = m_writer.moveResize(*target->second, target->first->rootOrigin, &frame.origin, &frame.size,
                                        X11WindowWriter::appliesConfigureRequestsExactly(target->first->windowManagerName));
    invalidate();
    return ok;
}

std::vector<bool> X11Platform::setFrames(const std::vector<AXFramePlacement>& placements)
{
    std::vector<AXUIElement> elements;
    elements.reserve(placements.size());
    for (const auto& p : placements)
        elements.push_back(p.element);
    const auto [state, windows] = writeTargets(elements);
    std::vector<X11WindowWriter::Placement> batch;
    std::vector<std::size_t> sent;
    for (std::size_t i = 0; i < placements.size(); ++i) {
        if (!windows[i])
            continue;
        batch.push_back(X11WindowWriter::Placement {*windows[i], placements[i].frame, placements[i].unminimize});
        sent.push_back(i);
    }
    std::vector<bool> results(placements.size(), false);
    if (!batch.empty()) {
        const std::vector<bool> placed = m_writer.place(batch, state->rootOrigin,
                                                        X11WindowWriter::appliesConfigureRequestsExactly(state->windowManagerName));
        for (std::size_t k = 0; k < sent.size(); ++k)
            results[sent[k]] = placed[k];
        invalidate(std::ranges::any_of(batch, [](const auto& p) { return p.unminimize; }));
    }
    return results;
}

std::vector<bool> X11Platform::performActions(const std::vector<AXUIElement>& elements, const QString& action)
{
    std::vector<bool> results(elements.size(), false);
    if (action != AXAction::raise)
        return results;
    const auto [state, windows] = writeTargets(elements);
    std::vector<xcb_window_t> ids;
    std::vector<std::size_t> sent;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (windows[i]) {
            ids.push_back(windows[i]->id);
            sent.push_back(i);
        }
    }
    if (ids.empty())
        return results;
    // Each raise makes the window manager restack every window; raises that leave the order
    // as it is are not sent, judged on a reading taken moments ago with no change of
    // stacking of ours since.
    std::size_t unchanged = 0;
    {
        std::lock_guard lock(m_stateMutex);
        if (state == m_state && !m_stackingChanged && std::chrono::steady_clock::now() - m_stateTime < stackingTrust)
            unchanged = raisesLeavingOrderAsItIs(*state, ids);
    }
    const std::vector<bool> raised = m_writer.raiseAll(ids, unchanged);
    for (std::size_t k = 0; k < sent.size(); ++k) {
        results[sent[k]] = raised[k];
        if (raised[k] && windows[sent[k]]->pid)
            noteRaised(*windows[sent[k]]->pid, ids[k]);
    }
    invalidate(unchanged < ids.size());
    return results;
}

bool X11Platform::performAction(const AXUIElement& element, const QString& action)
{
    if (element.isApplication() || action != AXAction::raise)
        return false;
    const auto target = writeTarget(element);
    if (!target)
        return false;
    const X11ClientWindow* w = target->second;
    const bool ok = m_writer.raise(w->id);
    if (ok && w->pid)
        noteRaised(*w->pid, w->id);
    invalidate(true);
    return ok;
}

void X11Platform::noteRaised(std::int32_t pid, std::uint32_t window)
{
    std::lock_guard lock(m_stateMutex);
    m_lastRaised[pid] = {window, std::chrono::steady_clock::now()};
}

void X11Platform::invalidate(bool stackingChanged)
{
    std::lock_guard lock(m_stateMutex);
    m_stateStale = true;
    ++m_writes;
    if (stackingChanged) {
        m_stackingChanged = true;
        ++m_stackingChanges;
    }
}

std::optional<std::vector<QVariantMap>> X11Platform::copyWindowList(WindowListOption option)
{
    const auto state = option == WindowListOption::optionAll ? reading(passReuseAge) : reading(stateMaxAge);
    if (!state->valid)
        return std::nullopt;
    std::vector<QVariantMap> list;
    for (const auto& w : state->windowsFrontFirst) {
        if (option == WindowListOption::optionOnScreenOnly && !w.isOnScreen)
            continue;
        QVariantMap entry;
        entry.insert(WindowListKey::number, qlonglong(w.id));
        if (w.pid)
            entry.insert(WindowListKey::ownerPID, qlonglong(*w.pid));
        if (w.frame)
            entry.insert(WindowListKey::bounds, boundsDictionary(*w.frame));
        entry.insert(WindowListKey::layer, qlonglong(w.layer));
        if (w.title)
            entry.insert(WindowListKey::name, *w.title);
        if (auto name = identityOf(w).localizedName)
            entry.insert(WindowListKey::ownerName, *name);
        entry.insert(WindowListKey::isOnscreen, w.isOnScreen);
        list.push_back(entry);
    }
    return list;
}

bool X11Platform::windowListTruncated()
{
    return reading(stateMaxAge)->windowListTruncated;
}

std::vector<RunningApplication> X11Platform::runningApplications()
{
    const auto state = reading(passReuseAge);
    std::vector<RunningApplication> apps;
    std::map<std::int32_t, std::size_t> indexByPid;
    for (const auto& w : state->windowsFrontFirst) {
        if (!w.pid)
            continue;
        auto [it, inserted] = indexByPid.try_emplace(*w.pid, apps.size());
        if (inserted) {
            RunningApplication app;
            app.processIdentifier = *w.pid;
            app.isTerminated = !processExists(*w.pid);
            app.activationPolicy = w.dockOrDesktop ? ActivationPolicy::prohibited : ActivationPolicy::accessory;
            apps.push_back(app);
        }
        RunningApplication& app = apps[it->second];
        if (!w.dockOrDesktop && app.activationPolicy == ActivationPolicy::prohibited)
            app.activationPolicy = ActivationPolicy::accessory;
        if (w.normalType && !w.skipTaskbar)
            app.activationPolicy = ActivationPolicy::regular;
        if (!app.bundleIdentifier) {
            const auto identity = identityOf(w);
            app.bundleIdentifier = identity.bundleIdentifier;
            app.localizedName = identity.localizedName;
        }
    }
    return apps;
}

bool X11Platform::launchApplication(const QString& bundleIdentifier)
{
    return DesktopEntryResolver::launch(bundleIdentifier);
}

bool X11Platform::activateApplication(std::int32_t processIdentifier)
{
    std::shared_ptr<const X11DesktopState> state;
    const X11ClientWindow* front = nullptr;
    // The application's window we raised moments ago is its front one even while the window
    // manager has not got round to it: activating the one a reading still shows in front
    // would undo a re-stacking just requested. Finding it needs no fresh reading (writes
    // change neither which windows exist nor their owners), and the reading may still show
    // it minimized from before a restore placed it.
    std::optional<std::uint32_t> raised;
    {
        std::lock_guard lock(m_stateMutex);
        if (auto it = m_lastRaised.find(processIdentifier);
            it != m_lastRaised.end() && std::chrono::steady_clock::now() - it->second.second < ownRaiseTrust)
            raised = it->second.first;
    }
    if (raised) {
        if (auto target = writeTarget(AXUIElement {processIdentifier, *raised}); target && !target->second->dockOrDesktop) {
            state = target->first;
            front = target->second;
        }
    }
    if (!front) {
        // Otherwise its front-most window that is not minimized, else its front-most one.
        state = reading(passReuseAge);
        for (const auto& w : state->windowsFrontFirst) {
            if (w.pid != processIdentifier || w.dockOrDesktop)
                continue;
            if (!front || (front->minimized && !w.minimized))
                front = &w;
            if (!w.minimized)
                break;
        }
    }
    if (!front || !processExists(processIdentifier))
        return false;
    const bool ok = m_writer.activate(front->id);
    if (ok)
        noteRaised(processIdentifier, front->id);
    invalidate(true);
    return ok;
}

std::vector<PlatformScreen> X11Platform::screens()
{
    const auto state = reading(passReuseAge);
    std::vector<PlatformScreen> out;
    for (const auto& m : state->monitors) {
        PlatformScreen s;
        s.id = stableDisplayID(m.name);
        const EdidIdentity edid = parseEdid(m.edid);
        if (edid.monitorName)
            s.localizedName = edid.monitorName;
        else if (!m.name.isEmpty())
            s.localizedName = QString::fromUtf8(m.name);
        s.frame = m.frame;
        s.visibleFrame = m.visibleFrame;
        s.isMain = m.primary;
        s.vendorNumber = edid.vendorID.value_or(0);
        s.modelNumber = edid.productID.value_or(0);
        s.serialNumber = edid.serialNumber.value_or(0);
        out.push_back(s);
    }
    return out;
}

std::optional<std::uint32_t> X11Platform::mainDisplayID()
{
    const auto state = reading(stateMaxAge);
    for (const auto& m : state->monitors) {
        if (m.primary)
            return stableDisplayID(m.name);
    }
    return std::nullopt;
}

namespace {

// Answers for a session without a usable X server: untrusted, nothing running, no screens.
class UnavailablePlatform final : public AccessibilityService, public WindowServer, public Workspace, public ScreenSource {
public:
    bool isProcessTrusted() override { return false; }
    AXUIElement applicationElement(std::int32_t pid) override { return {pid, 0}; }
    std::optional<AXAttributeValue> copyAttributeValue(const AXUIElement&, const QString&) override { return std::nullopt; }
    bool setAttributeValue(const AXUIElement&, const QString&, const AXAttributeValue&) override { return false; }
    bool performAction(const AXUIElement&, const QString&) override { return false; }
    std::optional<std::vector<QVariantMap>> copyWindowList(WindowListOption) override { return std::nullopt; }
    std::vector<RunningApplication> runningApplications() override { return {}; }
    bool launchApplication(const QString& id) override { return DesktopEntryResolver::launch(id); }
    bool activateApplication(std::int32_t) override { return false; }
    std::vector<PlatformScreen> screens() override { return {}; }
    std::optional<std::uint32_t> mainDisplayID() override { return std::nullopt; }
};

} // namespace

PlatformServices defaultPlatformServices()
{
    static const PlatformServices services = [] {
        if (auto platform = X11Platform::connect())
            return platform->services();
        auto none = std::make_shared<UnavailablePlatform>();
        return PlatformServices {none, none, none, none};
    }();
    return services;
}

} // namespace zen
