#pragma once

#include "App/ZentharionApp.h"
#include "Shared/UserDefaults.h"
#include "Support/LiveDesktop.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace zen::testsupport {

// A live test of the program's own windows: the X session, data and config folders of its own
// in a temporary home, and the application object started on demand with the live platform.
struct LiveAppTest : ::testing::Test {
    QTemporaryDir home;
    std::unique_ptr<XSession> x;
    std::unique_ptr<ScopedXdgFolders> folders;
    std::unique_ptr<UserDefaults> defaults;
    ScreenshotFolder shots;

    void SetUp() override
    {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server";
        x = std::make_unique<XSession>();
        folders = std::make_unique<ScopedXdgFolders>(home.filePath("data"), home.filePath("config"));
        defaults = std::make_unique<UserDefaults>(home.filePath("config/Zentharion/Zentharion.conf"));
    }

    std::unique_ptr<ZentharionApp> startApp()
    {
        ZentharionAppDependencies dependencies = ZentharionAppDependencies::live();
        dependencies.userDefaults = defaults.get();
        dependencies.quit = [] {};
        return std::make_unique<ZentharionApp>(std::move(dependencies));
    }
};

} // namespace zen::testsupport
