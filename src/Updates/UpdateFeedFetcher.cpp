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

// One request: it finishes once, whichever of success, failure, refusal or timeout comes first.
struct FetchSession {
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

} // namespace

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

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    // One more than ours, so that our own count refuses first and says why.
    request.setMaximumRedirectsAllowed(m_options.maximumRedirects + 1);
    request.setTransferTimeout(int(m_options.timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);

    auto session = std::make_shared<FetchSession>();
    session->completion = std::move(completion);
    session->current = url;
    QNetworkReply* reply = m_network->get(request);
    session->reply = reply;
    const qint64 cap = m_options.maximumSize;
    const int maximumRedirects = m_options.maximumRedirects;

    // A server that sends a byte now and then would keep the transfer timeout from firing: the
    // whole request has one deadline too.
    session->deadline = m_scheduler->runAfter(m_options.timeout, [session] {
        session->finish(std::unexpected(downloadError(QStringLiteral("the server did not answer in time"))));
    });

    connect(reply, &QNetworkReply::redirected, reply, [session, maximumRedirects](const QUrl& target) {
        if (session->redirects >= maximumRedirects || !UpdateFeed::isAllowedRedirect(session->current, target)) {
            session->finish(std::unexpected(downloadError(
                QStringLiteral("a redirect to %1 was refused").arg(target.toDisplayString()))));
            return;
        }
        ++session->redirects;
        session->current = target;
        Q_EMIT session->reply->redirectAllowed();
    });
    connect(reply, &QNetworkReply::metaDataChanged, reply, [session, cap] {
        const QVariant length = session->reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    });
    connect(reply, &QNetworkReply::readyRead, reply, [session, cap] {
        session->body += session->reply->read(cap + 1 - session->body.size());
        if (session->body.size() > cap)
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
    });
    connect(reply, &QNetworkReply::finished, reply, [session, cap] {
        QNetworkReply* r = session->reply;
        if (!r)
            return;
        const QVariant statusAttribute = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
        if (statusAttribute.isValid() && (status < 200 || status > 299)) {
            session->finish(std::unexpected(downloadError(QStringLiteral("the server answered %1").arg(status))));
            return;
        }
        if (r->error() != QNetworkReply::NoError) {
            const bool timedOut = r->error() == QNetworkReply::OperationCanceledError
                                  || r->error() == QNetworkReply::TimeoutError;
            session->finish(std::unexpected(downloadError(
                timedOut ? QStringLiteral("the server did not answer in time") : r->errorString())));
            return;
        }
        session->body += r->read(cap + 1 - session->body.size());
        if (session->body.size() > cap) {
            session->finish(std::unexpected(downloadError(QStringLiteral("it is larger than %1 bytes").arg(cap))));
            return;
        }
        session->finish(std::move(session->body));
    });
}

} // namespace zen
