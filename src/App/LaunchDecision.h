#pragma once

#include "App/SessionBusActivation.h"
#include "App/SingleInstanceLock.h"

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <optional>

namespace zen {

// Whether this launch is the copy that runs on its X display. The lock file decides first, in
// a tenth of a millisecond; the session bus carries a later launch's request to the copy that
// runs:
//
//   lock          bus name                              outcome
//   ours          free                                  run, taking the name
//   ours          a copy without a lock holds it        handed over, once that copy answers
//   ours          a copy that is leaving holds it       run, taking the name once it is free
//   another's     its owner holds it, or takes it       handed over
//   another's     nobody answers in time, or no bus     already running
//   unavailable   free / a copy holds it / no bus       run / handed over / run
//
// Runs the event loop while it waits for an answer, so that a copy in this same process can
// answer.
class LaunchDecision {
public:
    enum class Outcome {
        run,            // this copy is the one that runs
        handedOver,     // the running copy took this launch's request: this one ends quietly
        alreadyRunning, // a copy runs that could not be asked: this one says so and ends
    };

    // `bus`: the session bus, absent where there is none.
    LaunchDecision(const QString& lockFolder, const QString& displayName, std::optional<QDBusConnection> bus,
                   int answerTimeoutMs = SessionBusActivation::answerTimeoutMs);

    Outcome decide(const SessionBusActivation::Request& request);

    // Once this copy runs: what answers later launches on the bus, null when it could not take
    // the name. Kept, like the lock, for as long as this object lives.
    SessionBusActivation* activation() const { return m_activation.get(); }
    // "Zentharion is already running on display :0."
    QString alreadyRunningMessage() const { return m_lock.alreadyRunningMessage(); }

    // The X display Qt opened (its -display argument or DISPLAY); elsewhere the platform's
    // name, so that there is one copy per platform.
    static QString displayName();

private:
    // The bus name alone decides; with `retry`, a holder that does not answer is waited for
    // to leave until the time is up.
    Outcome claimOrHandOver(const SessionBusActivation::Request& request, bool retry);

    SingleInstanceLock m_lock;
    std::unique_ptr<SessionBusActivation> m_activation;
    int m_answerTimeoutMs;
};

} // namespace zen
