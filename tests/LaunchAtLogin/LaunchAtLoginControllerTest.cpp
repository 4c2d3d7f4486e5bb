#include "LaunchAtLogin/LaunchAtLoginController.h"

#include <gtest/gtest.h>

#include <deque>

namespace zen {
namespace {

using Status = LaunchAtLoginServiceStatus;

// Answers each status read with the next recorded value (the last one repeats) and each
// request with the recorded outcome.
struct RecordedService final : LaunchAtLoginServicing {
    mutable std::deque<Status> statuses;
    std::expected<void, PlatformError> outcome;
    std::vector<QString> calls;

    Status status() const override
    {
        const Status s = statuses.front();
        if (statuses.size() > 1)
            statuses.pop_front();
        return s;
    }
    std::expected<void, PlatformError> registerItem() override
    {
        calls.push_back("register");
        return outcome;
    }
    std::expected<void, PlatformError> unregisterItem() override
    {
        calls.push_back("unregister");
        return outcome;
    }
    void openLoginItemsSettings() override { calls.push_back("open"); }
};

PlatformError failure(const QString& text) { return PlatformError{text, 1}; }

struct Case {
    const char* name;
    Status initial;
    bool enable;
    std::vector<Status> afterwards; // status reads after the initial one
    std::optional<QString> error;   // the request fails with it
    LaunchAtLoginState expected;
};

TEST(LaunchAtLoginControllerTest, PublishesTheStatusOrTheFailureByTheRule)
{
    const Case cases[] = {
        {"registered", Status::notRegistered, true, {Status::notRegistered, Status::enabled}, {},
         LaunchAtLoginState::enabled()},
        {"registered, waiting for approval", Status::notRegistered, true,
         {Status::notRegistered, Status::requiresApproval}, {}, LaunchAtLoginState::requiringApproval()},
        {"failed, approval pending", Status::notRegistered, true, {Status::notRegistered, Status::requiresApproval},
         "denied", LaunchAtLoginState::requiringApproval()},
        {"failed, nothing changed", Status::notRegistered, true, {Status::notRegistered}, "disk full",
         LaunchAtLoginState::error("disk full", false)},
        {"unregister failed, still enabled", Status::enabled, false, {Status::enabled}, "read-only",
         LaunchAtLoginState::error("read-only", true)},
        {"failed, yet enabled between the reads", Status::notRegistered, true,
         {Status::notRegistered, Status::enabled}, "timeout", LaunchAtLoginState::enabled()},
        {"generic message: the own description", Status::notRegistered, true, {Status::notRegistered},
         QString::fromUtf16(genericFailureTextStraight),
         LaunchAtLoginState::error(failure(QString::fromUtf16(genericFailureTextStraight)).ownDescription(), false)},
    };
    for (const Case& c : cases) {
        auto service = std::make_unique<RecordedService>();
        RecordedService* s = service.get();
        s->statuses = {c.initial};
        s->statuses.insert(s->statuses.end(), c.afterwards.begin(), c.afterwards.end());
        if (c.error)
            s->outcome = std::unexpected(failure(*c.error));
        LaunchAtLoginController controller(std::move(service));
        controller.setEnabled(c.enable);
        EXPECT_EQ(controller.state(), c.expected) << c.name;
        EXPECT_EQ(s->calls, std::vector<QString>{c.enable ? "register" : "unregister"}) << c.name;
    }
}

TEST(LaunchAtLoginControllerTest, ASecondFailureReplacesTheFirstErrorAndTheSwitchStaysUsable)
{
    auto service = std::make_unique<RecordedService>();
    RecordedService* s = service.get();
    s->statuses = {Status::notRegistered};
    s->outcome = std::unexpected(failure("first"));
    LaunchAtLoginController controller(std::move(service));
    int published = 0;
    QObject::connect(&controller, &LaunchAtLoginController::stateChanged, [&] { ++published; });
    controller.setEnabled(true);
    EXPECT_TRUE(controller.state().canToggle());
    s->outcome = std::unexpected(failure("second"));
    controller.setEnabled(true);
    EXPECT_EQ(controller.state(), LaunchAtLoginState::error("second", false));
    controller.refreshStatus();
    controller.refreshStatus();
    EXPECT_EQ(controller.state(), LaunchAtLoginState::disabled());
    EXPECT_EQ(published, 4) << "every assignment is published, equal or not";
    controller.openLoginItemsSettings();
    EXPECT_EQ(s->calls.back(), "open");
}

TEST(LaunchAtLoginStateTest, SwitchAvailabilityAndComparisonState)
{
    using S = LaunchAtLoginState;
    const S unavailableButNoError{false, S::unavailableMessage(), false, false};
    struct Row {
        const char* name;
        S state;
        bool canToggle;
        S comparison;
    };
    const Row rows[] = {
        {"enabled", S::enabled(), true, S::enabled()},
        {"disabled", S::disabled(), true, S::disabled()},
        {"approval", S::requiringApproval(), false, S::requiringApproval()},
        {"unavailable", S::unavailable(), false, S::unavailable()},
        {"unavailable text, no error", unavailableButNoError, true, unavailableButNoError},
        {"error while on", S::error("x", true), true, S::enabled()},
        {"error while off", S::error("x", false), true, S::disabled()},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.state.canToggle(), r.canToggle) << r.name;
        EXPECT_EQ(r.state.statusComparisonState(), r.comparison) << r.name;
    }
    EXPECT_EQ(S::forStatus(Status::notFound), S::unavailable());
}

} // namespace
} // namespace zen
