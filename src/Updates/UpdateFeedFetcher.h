#pragma once

#include "MenuBar/OperationScheduler.h"
#include "Updates/AppUpdater.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <expected>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace zen {

// Fetches the bytes of an update feed. The completion runs exactly once, on the main thread,
// never inside fetch() itself.
class UpdateFeedFetching {
public:
    using Completion = std::function<void(std::expected<QByteArray, UpdaterError>)>;
    virtual ~UpdateFeedFetching() = default;
    virtual void fetch(const QUrl& url, Completion completion) = 0;
};

// The feed over the network (or from a local file), asynchronously, so the main thread never
// waits for a server. A feed larger than the cap, slower than the timeout, answered with
// anything but success, redirected more than `maximumRedirects` times or anywhere
// UpdateFeed::isAllowedRedirect refuses is a failure, and nothing of it is used.
class UpdateFeedFetcher final : public QObject, public UpdateFeedFetching {
    Q_OBJECT
public:
    struct Options {
        qint64 maximumSize = 1024 * 1024;
        std::chrono::milliseconds timeout = std::chrono::seconds(30);
        int maximumRedirects = 5;
    };

    explicit UpdateFeedFetcher(Options options, std::shared_ptr<OperationScheduler> scheduler = {},
                               QObject* parent = nullptr);
    ~UpdateFeedFetcher() override;

    void fetch(const QUrl& url, Completion completion) override;

private:
    struct FetchSession;
    // The completion as a task of its own, unless this fetcher is gone by then.
    void deliverLater(Completion completion, std::expected<QByteArray, UpdaterError> outcome);
    void request(const std::shared_ptr<FetchSession>& session, const QUrl& url, int redirectsLeft);

    Options m_options;
    std::shared_ptr<OperationScheduler> m_scheduler;
    QNetworkAccessManager* m_network;
};

} // namespace zen
