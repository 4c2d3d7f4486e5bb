#include "Platform/DesktopServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zen {
namespace {

// The module is looked for where it may be missing or damaged: the features behind it then
// say why they are unavailable, and nothing crashes.
TEST(DesktopServicesTest, AMissingOrDamagedModuleIsRefusedWithItsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("lib/libzentharion-desktop.so");
    const QString folder = dir.filePath("folder/libzentharion-desktop.so");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString damaged = dir.filePath("libzentharion-desktop.so");
    QFile text(damaged);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a library\n");
    text.close();

    struct Case {
        QStringList paths;
        const char* reason;
    };
    for (const Case& c : {Case{{}, "is not there"}, Case{{missing, folder}, "is not there"},
                          Case{{missing, damaged}, "libzentharion-desktop.so"}}) {
        SCOPED_TRACE(c.paths.join(", ").toStdString());
        const DesktopServicesLoad load = loadDesktopServices(c.paths);
        EXPECT_EQ(load.services, nullptr);
        EXPECT_TRUE(load.failure.contains(c.reason)) << load.failure.toStdString();
    }

    // The one the build puts next to the program is used, after a path that does not exist.
    const QString built = QCoreApplication::applicationDirPath() + "/libzentharion-desktop.so";
    const DesktopServicesLoad load = loadDesktopServices({missing, built});
    ASSERT_NE(load.services, nullptr) << load.failure.toStdString();
    EXPECT_EQ(load.services, desktopServices());
    EXPECT_FALSE(load.services->entryDetails("zentharion-no-such-entry.desktop"));
}

} // namespace
} // namespace zen
