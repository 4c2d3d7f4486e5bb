#include "Updates/UpdateFeedFetcher.h"

#include "Platform/DesktopServices.h"
#include "Shared/AtomicFileWriter.h"
#include "Updates/UpdateFeed.h"

#include <QIODevice>
#include <QPointer>

namespace zen {

namespace {

UpdaterError downloadError(const QString& why)
{
    return UpdaterError{UpdaterError::domain, UpdaterError::feedDownload,
                        QStringLiteral("The update feed could not be downloaded: %1").arg(why)};
}

} // namespace

// One fetch, across its redirects: it finishes once, whichever of success, failure, refusal or
// timeout comes first.
struct UpdateFeedFetcher::FetchSession {
    QPointer<QIODevice> reply;
    UpdateFeedFetching::Completion completion;
    QByteArray body;
    int redirects = 0;
    QUrl current;
    std::unique_ptr<OperationScheduler::Handle> deadline;
    bool finished = false;

    void finish(std::expected<QByteArray, UpdaterError> outcome)
    {
        if (finished)
            return;
        finished = true;
        if (deadline)
            deadline->cancel();
        if (reply) {
            QIODevice* r = reply;
            r->disconnect();
            desktopServices().abortHttp(r);
            r->deleteLater();
        }
        auto done = std::move(completion);
        done(std::move(outcome));
    }
};

UpdateFeedFetcher::UpdateFeedFetcher(Options options, std::shared_ptr<OperationScheduler> scheduler, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_scheduler(scheduler ? std::move(scheduler) : std::make_shared<QtOperationScheduler>())
{
}

UpdateFeedFetcher::~UpdateFeedFetcher() = default;

void UpdateFeedFetcher::fetchFile(const QUrl& url, Completion completion)
{
    // Read now (a regular file of bounded size cannot block), delivered as a task of its own.
    auto read = readRegularFile(url.toLocalFile(), m_options.maximumSize);
    std::expected<QByteArray, UpdaterError> outcome =
        read ? std::expected<QByteArray, UpdaterError>(std::move(*read))
             : std::unexpected(downloadError(read.error().localizedDescription()));
    QPointer<UpdateFeedFetcher> guard(this);
    m_scheduler->runAfter(std::chrono::nanoseconds(0), [guard, completion = std::move(completion),
                                                        outcome = std::move(outcome)]() mutable {
        if (guard)
            completion(std::move(outcome));
    });
}

void UpdateFeedFetcher::fetch(const QUrl& url, Completion completion)
{
    if (!UpdateFeed::isAllowedFeedURL(url)) {
        QPointer<UpdateFeedFetcher> guard(this);
        m_scheduler->runAfter(std::chrono::nanoseconds(0), [guard, completion = std::move(completion), url] {
            if (guard)
                completion(std::unexpected(downloadError(
                    QStringLiteral("%1 is not an https address").arg(url.toDisplayString()))));
        });
        return;
    }
    if (url.isLocalFile()) {
        fetchFile(url, std::move(completion));
        return;
    }

    auto session = std::make_shared<FetchSession>();
    session->completion = std::move(completion);
    // A server that sends a byte now and then would keep the transfer timeout from firing: the
    // whole request, redirects included, has one deadline too.
    session->deadline = m_scheduler->runAfter(m_options.timeout, [session] {
        session->finish(std::unexpected(downloadError(QStringLiteral("the server did not answer in time"))));
    });
    request(session, url);
}

void UpdateFeedFetcher::request(const std::shared_ptr<FetchSession>& session, const QUrl& url)
{
    DesktopServices* services = &desktopServices();
    session->current = url;
    session->body.clear();
    const qint64 cap = m_options.maximumSize;
    const int maximumRedirects = m_options.maximumRedirects;
    QPointer<UpdateFeedFetcher> self(this);
    // Set once the request is made; the events come only from the event loop, after that.
    auto reply = std::make_shared<QPointer<QIODevice>>();

    // True when the reply is a redirect and has been dealt with: followed or refused.
    const auto redirected = [self, session, reply, maximumRedirects, services]() -> bool {
        if (!*reply || session->reply != *reply)
            return true;
        const DesktopServices::HttpState state = services->httpState(*reply);
        const int status = state.status.value_or(0);
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
            return false;
        // The raw header: Qt's parsed one drops relative addresses, which servers may send.
        const QUrl location = QUrl::fromEncoded(state.location.trimmed(), QUrl::StrictMode);
        if (!location.isValid() || location.isEmpty()) {
            session->finish(std::unexpected(downloadError(
                QStringLiteral("the server answered %1 without a valid address to go to").arg(status))));
            return true;
        }
        const QUrl target = session->current.resolved(location);
        if (!UpdateFeed::isAllowedRedirect(session->current, target)) {
            // The scheme from a hostile server could be of any length: a few letters say enough.
            const QString scheme = target.scheme().left(16);
            session->finish(std::unexpected(downloadError(
                QStringLiteral("a redirect to %1 address was refused")
                    .arg(scheme.isEmpty() ? QStringLiteral("an unusable") : QStringLiteral("a %1:").arg(scheme)))));
            return true;
        }
        if (session->redirects >= maximumRedirects) {
            session->finish(std::unexpected(
                downloadError(QStringLiteral("it was redirected more than %1 times").arg(maximumRedirects))));
            return true;
        }
        ++session->redirects;
        QIODevice* old = *reply;
        old->disconnect();
        services->abortHttp(old);
        old->deleteLater();
        if (self)
            self->request(session, target);
        return true;
    };

    DesktopServices::HttpEvents events;
    events.metaDataChanged = [session, reply, cap, redirected, services] {
        if (redirected())
            return;
        const auto length = services->httpState(*reply).contentLength;
        if (length && *length > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    };
    events.readyRead = [session, reply, cap, redirected] {
        if (redirected())
            return;
        session->body += (*reply)->read(cap + 1 - session->body.size());
        if (session->body.size() > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    };
    events.finished = [session, reply, cap, redirected, services] {
        if (redirected())
            return;
        const DesktopServices::HttpState state = services->httpState(*reply);
        if (state.status && (*state.status < 200 || *state.status > 299)) {
            session->finish(std::unexpected(downloadError(QStringLiteral("the server answered %1").arg(*state.status))));
            return;
        }
        if (state.failed) {
            session->finish(std::unexpected(downloadError(
                state.timedOut ? QStringLiteral("the server did not answer in time") : state.errorString)));
            return;
        }
        session->body += (*reply)->read(cap + 1 - session->body.size());
        if (session->body.size() > cap) {
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
            return;
        }
        session->finish(std::move(session->body));
    };
    // Redirects are followed here, one request per hop, rather than by Qt: its own following
    // leaves an interim status on the reply after the second hop, and reports a target it
    // refuses as the redirect's status.
    *reply = services->startHttpGet(this, url, m_options.timeout, std::move(events));
    session->reply = *reply;
}

} // namespace zen
