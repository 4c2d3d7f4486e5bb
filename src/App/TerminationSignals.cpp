#include "App/TerminationSignals.h"

#include "Infrastructure/AppLogger.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include <sys/socket.h>
#include <unistd.h>

namespace zen {

namespace {

constexpr std::array handledSignals {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read by the notifier. Set before the handlers go in and
// cleared after they are gone, so a handler never sees a closed descriptor.
int signalSocket[2] = {-1, -1};

// Async-signal-safe: one write to a non-blocking socket, errno kept. A full socket already
// holds a request to end, so a byte that does not fit is not missed.
void onSignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

// What each signal did before the handlers went in, given back when they go (or once the
// signal has come).
struct sigaction previous[std::size(handledSignals)];

} // namespace

void TerminationSignals::install(QCoreApplication& app)
{
    new TerminationSignals({}, &app);
}

TerminationSignals::TerminationSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , m_quit(quit ? std::move(quit) : std::function<void()>([] { QCoreApplication::quit(); }))
{
    if (signalSocket[0] >= 0) {
        qCWarning(AppLogger::app, "The signals that end the program are handled already");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSocket) != 0) {
        qCWarning(AppLogger::app, "Cannot handle the signals that end the program: %s", std::strerror(errno));
        signalSocket[0] = signalSocket[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::received);
    for (std::size_t i = 0; i < std::size(handledSignals); ++i) {
        ::sigaction(handledSignals[i], nullptr, &previous[i]);
        // One ignored when the program started stays so (nohup, a terminal that keeps it).
        if (previous[i].sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onSignal;
        ::sigemptyset(&action.sa_mask);
        // The kernel puts the default action back as it delivers the signal: a second one of
        // the kind ends the program at once, even when the main thread is stuck and the loop
        // never reads the first. Per kind, not any two: a session's end sends SIGTERM and
        // SIGHUP together, and that ending still goes through the loop.
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        ::sigaction(handledSignals[i], &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i)
        ::sigaction(handledSignals[i], &previous[i], nullptr);
    delete m_notifier;
    ::close(signalSocket[0]);
    ::close(signalSocket[1]);
    signalSocket[0] = signalSocket[1] = -1;
}

void TerminationSignals::received()
{
    char numbers[64];
    ssize_t count = 0;
    while ((count = ::read(signalSocket[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            qCInfo(AppLogger::app, "Ending on signal %d", int(numbers[i]));
            // The handler went with the signal already; what the signal did before comes back.
            if (const auto kind = std::ranges::find(handledSignals, numbers[i]); kind != handledSignals.end())
                ::sigaction(*kind, &previous[kind - handledSignals.begin()], nullptr);
        }
    }
    // quit() does nothing while the application's loop has not yet begun: asked again then.
    if (!m_repeat) {
        m_repeat = new QTimer(this);
        m_repeat->setInterval(repeatIntervalMs);
        connect(m_repeat, &QTimer::timeout, this, [this] { m_quit(); });
        m_repeat->start();
    }
    m_quit();
}

} // namespace zen
