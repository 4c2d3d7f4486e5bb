#include "App/LaunchDecision.h"

#include "Infrastructure/AppLogger.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>

// Last: Xlib's macros would rename words in the headers above.
#include <X11/Xlib.h>

namespace zen {

using Request = SessionBusActivation::Request;

LaunchDecision::LaunchDecision(const QString& lockFolder, const QString& displayName,
                               std::optional<QDBusConnection> bus, int answerTimeoutMs)
    : m_lock(lockFolder, displayName)
    , m_activation(bus ? std::make_unique<SessionBusActivation>(*bus, displayName) : nullptr)
    , m_answerTimeoutMs(answerTimeoutMs)
{
}

LaunchDecision::Outcome LaunchDecision::decide(const Request& request)
{
    switch (m_lock.tryLock()) {
    case SingleInstanceLock::Outcome::acquired:
        // Whoever else holds the name is either a copy that runs without a lock of its own or
        // one that lost the lock and is leaving, whose name is claimed once it has gone.
        return claimOrHandOver(request, true);
    case SingleInstanceLock::Outcome::alreadyRunning: {
        // A copy that did not get the lock never takes the name: it asks the lock's owner, and
        // waits for it to take the name if it is still starting.
        const bool asked = m_activation && m_activation->askRunningCopy(request, m_answerTimeoutMs);
        m_activation.reset();
        return asked ? Outcome::handedOver : Outcome::alreadyRunning;
    }
    case SingleInstanceLock::Outcome::unavailable:
        qCWarning(AppLogger::app, "Could not lock %s; starting without the check for another running copy",
                  qUtf8Printable(m_lock.filePath().isEmpty() ? QStringLiteral("a private folder") : m_lock.filePath()));
        return claimOrHandOver(request, false);
    }
    return Outcome::run;
}

LaunchDecision::Outcome LaunchDecision::claimOrHandOver(const Request& request, bool retry)
{
    const QDeadlineTimer deadline(m_answerTimeoutMs);
    while (m_activation) {
        switch (m_activation->claim()) {
        case SessionBusActivation::Claim::ours:
            return Outcome::run;
        case SessionBusActivation::Claim::heldByOther:
            if (m_activation->askRunningCopy(request, int(std::max<qint64>(deadline.remainingTime(), 1)),
                                             SessionBusActivation::NameOwner::current)) {
                m_activation.reset();
                return Outcome::handedOver;
            }
            if (retry && !deadline.hasExpired()) {
                // Looked at again shortly: the bus frees the name once its holder has gone.
                QEventLoop pause;
                QTimer::singleShot(50, &pause, &QEventLoop::quit);
                pause.exec();
                continue;
            }
            break;
        case SessionBusActivation::Claim::failed:
            break;
        }
        m_activation.reset();
    }
    return Outcome::run;
}

QString LaunchDecision::displayName()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 && x11->display())
        return QString::fromLocal8Bit(XDisplayString(x11->display()));
    return QGuiApplication::platformName();
}

} // namespace zen
