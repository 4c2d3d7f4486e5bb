#include <QApplication>
#include <QByteArray>
#include <gtest/gtest.h>

// One QApplication for the whole binary: widget and event-loop tests need it, and
// unit tests run on the offscreen platform unless the environment says otherwise.
int main(int argc, char** argv)
{
#ifndef ZEN_LIVE_X11_TESTS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
