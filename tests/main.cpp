#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

// The tests run in a home of their own: a test that forgets to point the program at its own
// temporary folders then writes there, never into the real home, the real runtime folder or a
// fixed name in the shared temporary folder, and everything goes when the binary ends.
class PrivateHome {
public:
    PrivateHome()
    {
        // A copy of the binary started by a test keeps the folders its parent chose for it.
        if (!qEnvironmentVariableIsEmpty("ZEN_TESTS_PRIVATE_HOME"))
            return;
        const QByteArray base = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
        QByteArray pattern = base + "/zentharion-tests-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return;
        m_root = QFile::decodeName(pattern);
        qputenv("ZEN_TESTS_PRIVATE_HOME", pattern);
        const auto place = [&](const char* variable, const char* name) {
            const QByteArray folder = pattern + '/' + name;
            QDir().mkpath(QFile::decodeName(folder));
            ::chmod(folder.constData(), 0700);
            qputenv(variable, folder);
        };
        place("HOME", "home");
        place("XDG_CONFIG_HOME", "home/.config");
        place("XDG_DATA_HOME", "home/.local/share");
        place("XDG_CACHE_HOME", "home/.cache");
        place("XDG_STATE_HOME", "home/.state");
        place("XDG_RUNTIME_DIR", "runtime");
        place("TMPDIR", "tmp");
    }
    ~PrivateHome()
    {
        if (!m_root.isEmpty())
            QDir(m_root).removeRecursively();
    }
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

private:
    QString m_root;
};

} // namespace

// One QApplication for the whole binary: widget and event-loop tests need it, and
// unit tests run on the offscreen platform unless the environment says otherwise.
int main(int argc, char** argv)
{
#ifndef ZEN_LIVE_X11_TESTS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    const PrivateHome home;
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
