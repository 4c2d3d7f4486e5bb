#pragma once

#include "Platform/PlatformServices.h"

#include <QVariantMap>

#include <map>
#include <memory>
#include <vector>

namespace zen::testsupport {

// Accessibility elements and attributes recorded as plain data.
class FakeAccessibility final : public AccessibilityService {
public:
    bool trusted = true;
    std::map<std::pair<std::int32_t, std::uint32_t>, std::map<QString, AXAttributeValue>> attributes;
    std::vector<std::pair<AXUIElement, QString>> reads;
    struct Write {
        AXUIElement element;
        QString attribute;
        AXAttributeValue value;
    };
    std::vector<Write> writes;
    std::vector<std::pair<AXUIElement, QString>> actions;
    bool writesSucceed = true;
    int trustChecks = 0;

    void set(const AXUIElement& e, const QString& attribute, AXAttributeValue value)
    {
        attributes[{e.processIdentifier, e.window}][attribute] = std::move(value);
    }

    bool isProcessTrusted() override { ++trustChecks; return trusted; }
    AXUIElement applicationElement(std::int32_t pid) override { return {pid, 0}; }
    std::optional<AXAttributeValue> copyAttributeValue(const AXUIElement& e, const QString& attribute) override;
    bool setAttributeValue(const AXUIElement& e, const QString& attribute, const AXAttributeValue& value) override
    {
        writes.push_back({e, attribute, value});
        return writesSucceed;
    }
    bool performAction(const AXUIElement& e, const QString& action) override
    {
        actions.emplace_back(e, action);
        return writesSucceed;
    }
};

// A recorded window list; each query is counted.
class FakeWindowServer final : public WindowServer {
public:
    std::optional<std::vector<QVariantMap>> all = std::vector<QVariantMap> {};
    std::optional<std::vector<QVariantMap>> onScreen = std::vector<QVariantMap> {};
    int queries = 0;
    bool truncated = false;

    std::optional<std::vector<QVariantMap>> copyWindowList(WindowListOption option) override
    {
        ++queries;
        return option == WindowListOption::optionAll ? all : onScreen;
    }
    bool windowListTruncated() override { return truncated; }
};

class FakeWorkspace final : public Workspace {
public:
    std::vector<RunningApplication> applications;
    std::vector<QString> launches;
    std::vector<std::int32_t> activations;
    std::vector<RunningApplication> runningApplications() override { return applications; }
    bool launchApplication(const QString& id) override { launches.push_back(id); return true; }
    bool activateApplication(std::int32_t pid) override { activations.push_back(pid); return true; }
};

class FakeScreenSource final : public ScreenSource {
public:
    std::vector<PlatformScreen> list;
    std::optional<std::uint32_t> mainID;
    std::vector<PlatformScreen> screens() override { return list; }
    std::optional<std::uint32_t> mainDisplayID() override { return mainID; }
};

// One window-list entry with the given fields.
QVariantMap windowListEntry(std::uint32_t number, std::int32_t pid, const CGRect& bounds, std::int64_t layer = 0,
                            bool onScreen = true, std::optional<QString> title = std::nullopt);

// A desktop built window by window: fills the accessibility fake and the window list alike.
class FakeDesktop {
public:
    FakeDesktop();

    std::shared_ptr<FakeAccessibility> accessibility;
    std::shared_ptr<FakeWindowServer> windowServer;
    std::shared_ptr<FakeWorkspace> workspace;
    std::shared_ptr<FakeScreenSource> screens;

    PlatformServices services() const { return {accessibility, windowServer, workspace, screens}; }

    void addApplication(std::int32_t pid, std::optional<QString> bundleIdentifier,
                        ActivationPolicy policy = ActivationPolicy::regular, bool terminated = false);

    struct Window {
        std::uint32_t number = 0;
        CGRect frame;
        std::optional<QString> title;
        QString role = QStringLiteral("AXWindow");
        std::optional<QString> subrole = QStringLiteral("AXStandardWindow");
        bool minimized = false;
        bool fullscreen = false;
        std::int64_t layer = 0;
        bool onScreen = true;
        bool inWindowList = true;
    };
    // Adds the window to the application's "AXWindows" (in call order) and, unless told
    // otherwise, to the window list (front-most first in call order).
    AXUIElement addWindow(std::int32_t pid, const Window& window);
};

} // namespace zen::testsupport
