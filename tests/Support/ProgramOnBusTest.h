#pragma once

#include "Support/LiveDesktop.h"

#include <gtest/gtest.h>

#include <memory>

namespace zen::testsupport {

// A live test of the real program as a returning user starts it (no first-launch guide), on
// the X server and on a session bus of its own.
struct ProgramOnBusTest : ::testing::Test {
    ProgramHome home;
    std::unique_ptr<XSession> x;
    std::unique_ptr<SessionBusProcess> bus;

    void SetUp() override
    {
        x = std::make_unique<XSession>();
        if (!x->isOpen())
            GTEST_SKIP() << "no X server";
        if (!hasTool("dbus-daemon"))
            GTEST_SKIP() << "dbus-daemon is not installed";
        bus = std::make_unique<SessionBusProcess>();
        ASSERT_FALSE(bus->address().isEmpty()) << "the session bus did not start";
        home.markOnboardingDone();
    }
};

} // namespace zen::testsupport
