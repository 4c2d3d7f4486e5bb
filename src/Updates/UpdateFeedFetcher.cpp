#include "Updates/UpdateFeedFetcher.h"

#include "Shared/AtomicFileWriter.h"
#include "Updates/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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
    QPointer<QNetworkReply> reply;
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
            QNetworkReply* r = reply;
            r->disconnect();
            r->abort();
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
    , m_network(new QNetworkAccessManager(this))
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
    // Redirects are followed here, one request per hop, rather than by Qt: its own following
    // leaves an interim status on the reply after the second hop, and reports a target it
    // refuses as the redirect's status.
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(int(m_options.timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    session->current = url;
    session->body.clear();
    QNetworkReply* reply = m_network->get(request);
    session->reply = reply;
    const qint64 cap = m_options.maximumSize;
    const int maximumRedirects = m_options.maximumRedirects;
    QPointer<UpdateFeedFetcher> self(this);

    // True when the reply is a redirect and has been dealt with: followed or refused.
    const auto redirected = [self, session, reply, maximumRedirects]() -> bool {
        if (session->reply != reply)
            return true;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
            return false;
        // The raw header: Qt's parsed one drops relative addresses, which servers may send.
        const QUrl location = QUrl::fromEncoded(reply->rawHeader("Location").trimmed(), QUrl::StrictMode);
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
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
        if (self)
            self->request(session, target);
        return true;
    };

    connect(reply, &QNetworkReply::metaDataChanged, reply, [session, reply, cap, redirected] {
        if (redirected())
            return;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    });
    connect(reply, &QNetworkReply::readyRead, reply, [session, reply, cap, redirected] {
        if (redirected())
            return;
        session->body += reply->read(cap + 1 - session->body.size());
        if (session->body.size() > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    });
    connect(reply, &QNetworkReply::finished, reply, [session, reply, cap, redirected] {
        if (redirected())
            return;
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
        if (statusAttribute.isValid() && (status < 200 || status > 299)) {
            session->finish(std::unexpected(downloadError(QStringLiteral("the server answered %1").arg(status))));
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError
                                  || reply->error() == QNetworkReply::TimeoutError;
            session->finish(std::unexpected(downloadError(
                timedOut ? QStringLiteral("the server did not answer in time") : reply->errorString())));
            return;
        }
        session->body += reply->read(cap + 1 - session->body.size());
        if (session->body.size() > cap) {
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
            return;
        }
        session->finish(std::move(session->body));
    });
}

} // namespace zen
