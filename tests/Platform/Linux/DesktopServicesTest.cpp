#include "Platform/DesktopServices.h"

#include "Support/LiveDesktop.h"
#include "Support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zen {
namespace {

// Run in a copy of this binary by the test below: GIO reads the folders of desktop entries
// once per process, so the entries it must find are given to a fresh one.
TEST(DesktopServicesTest, LaunchProbe)
{
    const QByteArray entry = qgetenv("ZEN_LAUNCH_PROBE_ENTRY");
    if (entry.isEmpty())
        GTEST_SKIP() << "run by LaunchedProgramsStartInTheHomeFolder";
    const QString written = qEnvironmentVariable("ZEN_LAUNCH_PROBE_OUTPUT");
    ASSERT_TRUE(desktopServices().launch(entry));
    EXPECT_TRUE(testsupport::waitFor([&] { return QFile(written).size() > 0; }));
}

// A relaunched program opens in the home folder, as from a desktop launcher, not in the
// folder Zentharion was started from; an entry that names its own folder keeps it.
TEST(DesktopServicesTest, LaunchedProgramsStartInTheHomeFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString home = dir.filePath("home"), elsewhere = dir.filePath("checkout"), named = dir.filePath("named"),
                  applications = dir.filePath("data/applications");
    for (const QString& folder : {home, elsewhere, named, applications})
        ASSERT_TRUE(QDir().mkpath(folder));
    test::writeFile(dir.filePath("probe.sh"), "pwd > \"$1\"\n");
    struct Case {
        const char* entry;
        QString path; // the entry's Path key
        QString expected;
    };
    for (const Case& c : {Case{"zen-probe-plain", QString(), home}, Case{"zen-probe-named", named, named}}) {
        SCOPED_TRACE(c.entry);
        const QString output = dir.filePath(QString::fromLatin1(c.entry) + ".out");
        test::writeFile(QDir(applications).filePath(QString::fromLatin1(c.entry) + ".desktop"),
                        QStringLiteral("[Desktop Entry]\nType=Application\nName=Probe\nExec=/bin/sh %1 %2\n%3")
                            .arg(dir.filePath("probe.sh"), output,
                                 c.path.isEmpty() ? QString() : QStringLiteral("Path=%1\n").arg(c.path))
                            .toUtf8());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home);
        environment.insert("XDG_DATA_HOME", dir.filePath("data"));
        environment.insert("XDG_DATA_DIRS", dir.filePath("none"));
        environment.insert("ZEN_LAUNCH_PROBE_ENTRY", QString::fromLatin1(c.entry) + ".desktop");
        environment.insert("ZEN_LAUNCH_PROBE_OUTPUT", output);
        child.setProcessEnvironment(environment);
        child.setWorkingDirectory(elsewhere);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=DesktopServicesTest.LaunchProbe"});
        ASSERT_TRUE(child.waitForFinished(120000));
        ASSERT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        QFile written(output);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromLocal8Bit(written.readAll().trimmed()), c.expected);
    }
}

} // namespace
} // namespace zen
