#include "App/MenuBarTray.h"
#include "App/SessionBusActivation.h"
#include "App/SingleInstanceLock.h"
#include "App/TerminationSignals.h"
#include "App/ZentharionApp.h"
#include "Infrastructure/AppLogger.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The X display the shortcuts live on; other platforms get one lock per platform name.
QString displayName()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QString display = qEnvironmentVariable("DISPLAY");
        return display.isEmpty() ? QStringLiteral(":0") : display;
    }
    return QGuiApplication::platformName();
}

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
    // Workers are used in bursts (a save, a restore, a listing): an idle tray program keeps
    // none of them, nor their stacks, for long.
    QThreadPool::globalInstance()->setExpiryTimeout(2000);

    const auto request = zen::SessionBusActivation::requestFrom(QCoreApplication::arguments());
    const QString display = displayName();

    // A later launch asks the running copy to show itself and is done; desktops answer a second
    // launch that way, and without a tray it is the way back to the program's window.
    std::unique_ptr<zen::SessionBusActivation> activation;
    const auto onBus = [&] {
        const auto bus = zen::SessionBusActivation::environmentSessionBus();
        if (bus)
            activation = std::make_unique<zen::SessionBusActivation>(*bus, display);
        return bool(activation);
    };
    // The lock's owner takes the bus name. Whoever else holds it is either a copy that runs
    // without a lock of its own (true: it took the request, and this copy is done) or one that
    // lost the lock and is leaving, whose name is claimed again once it has gone.
    const auto claimName = [&] {
        if (!onBus())
            return false;
        const QDeadlineTimer deadline(zen::SessionBusActivation::answerTimeoutMs);
        for (;;) {
            switch (activation->claim()) {
            case zen::SessionBusActivation::Claim::ours:
                return false;
            case zen::SessionBusActivation::Claim::heldByOther:
                if (activation->askRunningCopy(request, int(std::max<qint64>(deadline.remainingTime(), 1)),
                                               zen::SessionBusActivation::NameOwner::current))
                    return true;
                if (!deadline.hasExpired()) {
                    // Looked at again shortly: the bus frees the name once its holder has gone.
                    QEventLoop pause;
                    QTimer::singleShot(50, &pause, &QEventLoop::quit);
                    pause.exec();
                    continue;
                }
                break;
            case zen::SessionBusActivation::Claim::failed:
                break;
            }
            activation.reset();
            return false;
        }
    };
    // A copy that did not get the lock never takes the name: it asks the lock's owner, and
    // waits for it to take the name if it is still starting. True when the owner took the
    // request.
    const auto askLockOwner = [&] { return onBus() && activation->askRunningCopy(request); };
    // The icon is what a person waits for: it goes up before the rest of the program is built,
    // and gets its menu once that is done (no event can open the menu before).
    std::unique_ptr<zen::MenuBarTray> trayIcon;
    const auto showTrayIcon = [&] {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            qCWarning(zen::AppLogger::app, "Zentharion needs an X11 session; running on \"%s\" it can neither move "
                                           "windows nor register shortcuts",
                      qUtf8Printable(QGuiApplication::platformName()));
        trayIcon = std::make_unique<zen::MenuBarTray>(nullptr, nullptr);
        trayIcon->show();
    };

    // The lock decides first: it takes a tenth of a millisecond, the session bus several times
    // that, and the only copy's icon need not wait for the bus.
    zen::SingleInstanceLock lock(zen::SingleInstanceLock::privateDirectory(), display);
    switch (lock.tryLock()) {
    case zen::SingleInstanceLock::Outcome::acquired:
        showTrayIcon();
        if (claimName())
            return 0;
        break;
    case zen::SingleInstanceLock::Outcome::alreadyRunning:
        if (askLockOwner())
            return 0;
        std::fprintf(stderr, "%s\n", qUtf8Printable(lock.alreadyRunningMessage()));
        return 1;
    case zen::SingleInstanceLock::Outcome::unavailable:
        qCWarning(zen::AppLogger::app, "Could not lock %s; starting without the check for another running copy",
                  qUtf8Printable(lock.filePath().isEmpty() ? QStringLiteral("a private folder") : lock.filePath()));
        // No lock to go by: the bus name alone tells whether a copy runs.
        if (onBus()) {
            const auto claimed = activation->claim();
            if (claimed == zen::SessionBusActivation::Claim::heldByOther && activation->askRunningCopy(request))
                return 0;
            if (claimed != zen::SessionBusActivation::Claim::ours)
                activation.reset();
        }
        showTrayIcon();
        break;
    }

    zen::ZentharionApp zentharion(zen::ZentharionAppDependencies::live());
    zentharion.showMenuBarExtra(std::move(trayIcon));
    zentharion.showDashboardAtLaunchIfNeeded();
    zentharion.showDashboardIfNoTrayAppears();
    if (activation)
        activation->setHandler([&zentharion](const zen::SessionBusActivation::Request& asked) {
            zentharion.answerAnotherLaunch(asked.atLogin);
        });
    return app.exec();
}
