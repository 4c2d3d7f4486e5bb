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

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString refusedRedirect(const QUrl& target)
{
    // The scheme from a hostile server could be of any length: a few letters say enough.
    const QString scheme = target.scheme().left(16);
    return QStringLiteral("a redirect to %1 address was refused")
        .arg(scheme.isEmpty() ? QStringLiteral("an unusable") : QStringLiteral("a %1:").arg(scheme));
}

} // namespace

// One fetch, across its redirects: it finishes once, whichever of success, failure, refusal or
// timeout comes first.
struct UpdateFeedFetcher::FetchSession {
    QPointer<QNetworkReply> reply;
    UpdateFeedFetching::Completion completion;
    QByteArray body;
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
        dropReply();
        auto done = std::move(completion);
        done(std::move(outcome));
    }

    void fail(const QString& why) { finish(std::unexpected(downloadError(why))); }

    // Reads what came, up to one byte past the cap; false (and finished) past it.
    bool take(qint64 cap)
    {
        body += reply->read(cap + 1 - body.size());
        if (body.size() <= cap)
            return true;
        fail(QStringLiteral("it is larger than %1 bytes").arg(cap));
        return false;
    }

    // Why the reply ended without a feed.
    QString failure(int maximumRedirects) const
    {
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
        if (reply->error() == QNetworkReply::TooManyRedirectsError)
            return QStringLiteral("it was redirected more than %1 times").arg(maximumRedirects);
        if (isRedirect(status)) {
            // Qt refused the hop itself: no address, or one that is no web address.
            const QUrl location = QUrl::fromEncoded(reply->rawHeader("Location").trimmed(), QUrl::StrictMode);
            if (!location.isValid() || location.isEmpty())
                return QStringLiteral("the server answered %1 without a valid address to go to").arg(status);
            return refusedRedirect(current.resolved(location));
        }
        if (status && (status < 200 || status > 299))
            return QStringLiteral("the server answered %1").arg(status);
        if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
            return QStringLiteral("the server did not answer in time");
        return reply->errorString();
    }

    // Lets go of the reply of a hop that led elsewhere.
    void dropReply()
    {
        if (QNetworkReply* r = reply) {
            r->disconnect();
            r->abort();
            r->deleteLater();
        }
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

void UpdateFeedFetcher::deliverLater(Completion completion, std::expected<QByteArray, UpdaterError> outcome)
{
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
        const QString why = QStringLiteral("%1 is not an https address").arg(url.toDisplayString());
        deliverLater(std::move(completion), std::unexpected(downloadError(why)));
        return;
    }
    if (url.isLocalFile()) {
        // Read now (a regular file of bounded size cannot block), delivered as a task of its own.
        auto read = readRegularFile(url.toLocalFile(), m_options.maximumSize);
        if (read)
            deliverLater(std::move(completion), std::move(*read));
        else
            deliverLater(std::move(completion), std::unexpected(downloadError(read.error().localizedDescription())));
        return;
    }

    auto session = std::make_shared<FetchSession>();
    session->completion = std::move(completion);
    // A server that sends a byte now and then would keep the transfer timeout from firing: the
    // whole request, redirects included, has one deadline too.
    session->deadline = m_scheduler->runAfter(m_options.timeout, [session] {
        session->fail(QStringLiteral("the server did not answer in time"));
    });
    request(session, url, m_options.maximumRedirects);
}

void UpdateFeedFetcher::request(const std::shared_ptr<FetchSession>& session, const QUrl& url, int redirectsLeft)
{
    session->current = url;
    session->body.clear();
    // Qt reads the Location of a redirect, refuses one without a usable address or to anything
    // but a web address, and one past the hops left; the hop is then taken here, as a request
    // of its own, once UpdateFeed::isAllowedRedirect allows it (never from https to http, plain
    // http only on this machine). Qt's own following of an allowed hop is not used: from the
    // second hop on, its reply ends with an interim status, no headers and no body.
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(redirectsLeft);
    request.setTransferTimeout(int(m_options.timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = m_network->get(request);
    session->reply = reply;

    const qint64 cap = m_options.maximumSize;
    const int maximumRedirects = m_options.maximumRedirects;
    QPointer<UpdateFeedFetcher> self(this);
    connect(reply, &QNetworkReply::redirected, reply, [self, session, redirectsLeft](const QUrl& target) {
        if (!UpdateFeed::isAllowedRedirect(session->current, target)) {
            session->fail(refusedRedirect(target));
            return;
        }
        session->dropReply();
        if (self)
            self->request(session, target, redirectsLeft - 1);
    });
    connect(reply, &QNetworkReply::metaDataChanged, reply, [session, cap] {
        const QVariant status = session->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (isRedirect(status.toInt()))
            return; // the length is the redirect's, not the feed's
        const QVariant length = session->reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap)
            session->fail(QStringLiteral("it is larger than %1 bytes").arg(cap));
    });
    connect(reply, &QNetworkReply::readyRead, reply, [session, cap] { session->take(cap); });
    connect(reply, &QNetworkReply::finished, reply, [session, cap, maximumRedirects] {
        const QVariant status = session->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (session->reply->error() != QNetworkReply::NoError || (status.isValid() && status.toInt() / 100 != 2)) {
            session->fail(session->failure(maximumRedirects));
            return;
        }
        if (session->take(cap))
            session->finish(std::move(session->body));
    });
}

} // namespace zen
