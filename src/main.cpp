#include "App/LaunchDecision.h"
#include "App/MenuBarTray.h"
#include "App/TerminationSignals.h"
#include "App/ZentharionApp.h"
#include "Infrastructure/AppLogger.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>
#include <memory>

namespace {

// Qt warns whenever XDG_RUNTIME_DIR is unset and it falls back to a folder of its own. The
// fallback works and there is nothing for the user to do, so that one warning is dropped.
QtMessageHandler nextHandler = nullptr;
void withoutRuntimeDirWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (nextHandler)
        nextHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv)
{
    nextHandler = qInstallMessageHandler(withoutRuntimeDirWarning);
    QApplication app(argc, argv);
    zen::TerminationSignals::install(app);
    QApplication::setApplicationName(QStringLiteral("Zentharion"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTHARION_VERSION));
    // The program lives in the tray: closing its last window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's painting spreads large fills over these workers: an idle tray program keeps none of
    // them, nor their stacks, for long.
    QThreadPool::globalInstance()->setExpiryTimeout(2000);

    // A later launch asks the running copy to show itself and is done; desktops answer a second
    // launch that way, and without a tray it is the way back to the program's window.
    zen::LaunchDecision launch(zen::SingleInstanceLock::privateDirectory(), zen::LaunchDecision::displayName(),
                               zen::SessionBusActivation::sessionBus());
    switch (launch.decide(zen::SessionBusActivation::requestFrom(QCoreApplication::arguments()))) {
    case zen::LaunchDecision::Outcome::handedOver:
        return 0;
    case zen::LaunchDecision::Outcome::alreadyRunning:
        std::fprintf(stderr, "%s\n", qUtf8Printable(launch.alreadyRunningMessage()));
        return 1;
    case zen::LaunchDecision::Outcome::run:
        break;
    }

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        qCWarning(zen::AppLogger::app, "Zentharion needs an X11 session; running on \"%s\" it can neither move "
                                       "windows nor register shortcuts",
                  qUtf8Printable(QGuiApplication::platformName()));
    // The icon is what a person waits for: it goes up before the rest of the program is built,
    // and gets its menu once that is done (no event can open the menu before).
    auto trayIcon = std::make_unique<zen::MenuBarTray>(nullptr, nullptr);
    trayIcon->show();

    zen::ZentharionApp zentharion(zen::ZentharionAppDependencies::live());
    zentharion.showMenuBarExtra(std::move(trayIcon));
    zentharion.showDashboardAtLaunchIfNeeded();
    zentharion.showDashboardIfNoTrayAppears();
    if (zen::SessionBusActivation* activation = launch.activation())
        activation->setHandler([&zentharion](const zen::SessionBusActivation::Request& asked) {
            zentharion.answerAnotherLaunch(asked.atLogin);
        });
    return app.exec();
}
