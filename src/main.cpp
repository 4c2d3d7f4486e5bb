#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentharion"));
    QApplication::setQuitOnLastWindowClosed(false);
    return 0;
}
