#include "Support/FakePlatform.h"

namespace zen::testsupport {

std::optional<AXAttributeValue> FakeAccessibility::copyAttributeValue(const AXUIElement& e, const QString& attribute)
{
    reads.emplace_back(e, attribute);
    auto element = attributes.find({e.processIdentifier, e.window});
    if (element == attributes.end())
        return std::nullopt;
    auto value = element->second.find(attribute);
    if (value == element->second.end())
        return std::nullopt;
    return value->second;
}

QVariantMap windowListEntry(std::uint32_t number, std::int32_t pid, const CGRect& bounds, std::int64_t layer, bool onScreen,
                            std::optional<QString> title)
{
    QVariantMap entry;
    entry.insert(WindowListKey::number, qlonglong(number));
    entry.insert(WindowListKey::ownerPID, qlonglong(pid));
    entry.insert(WindowListKey::bounds,
                 QVariantMap {{QStringLiteral("X"), bounds.origin.x}, {QStringLiteral("Y"), bounds.origin.y},
                              {QStringLiteral("Width"), bounds.size.width}, {QStringLiteral("Height"), bounds.size.height}});
    entry.insert(WindowListKey::layer, qlonglong(layer));
    entry.insert(WindowListKey::isOnscreen, onScreen);
    if (title)
        entry.insert(WindowListKey::name, *title);
    return entry;
}

FakeDesktop::FakeDesktop()
    : accessibility(std::make_shared<FakeAccessibility>())
    , windowServer(std::make_shared<FakeWindowServer>())
    , workspace(std::make_shared<FakeWorkspace>())
    , screens(std::make_shared<FakeScreenSource>())
{
}

void FakeDesktop::addApplication(std::int32_t pid, std::optional<QString> bundleIdentifier, ActivationPolicy policy, bool terminated)
{
    RunningApplication app;
    app.bundleIdentifier = std::move(bundleIdentifier);
    app.processIdentifier = pid;
    app.localizedName = app.bundleIdentifier;
    app.isTerminated = terminated;
    app.activationPolicy = policy;
    workspace->applications.push_back(app);
}

AXUIElement FakeDesktop::addWindow(std::int32_t pid, const Window& w)
{
    const AXUIElement app {pid, 0};
    const AXUIElement element {pid, w.number};
    auto& attrs = accessibility->attributes[{pid, 0}];
    auto it = attrs.find(AXAttribute::windows);
    if (it == attrs.end())
        it = attrs.emplace(AXAttribute::windows, std::vector<AXUIElement> {}).first;
    std::get<std::vector<AXUIElement>>(it->second).push_back(element);

    accessibility->set(element, AXAttribute::position, w.frame.origin);
    accessibility->set(element, AXAttribute::size, w.frame.size);
    if (w.title)
        accessibility->set(element, AXAttribute::title, *w.title);
    accessibility->set(element, AXAttribute::role, w.role);
    if (w.subrole)
        accessibility->set(element, AXAttribute::subrole, *w.subrole);
    accessibility->set(element, AXAttribute::minimized, w.minimized);
    accessibility->set(element, AXAttribute::fullScreen, w.fullscreen);
    (void)app;

    if (w.inWindowList) {
        const QVariantMap entry = windowListEntry(w.number, pid, w.frame, w.layer, w.onScreen, w.title);
        windowServer->all->push_back(entry);
        if (w.onScreen)
            windowServer->onScreen->push_back(entry);
    }
    return element;
}

} // namespace zen::testsupport
