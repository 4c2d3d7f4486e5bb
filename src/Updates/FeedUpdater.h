#pragma once

#include "MenuBar/OperationScheduler.h"
#include "Updates/AppUpdater.h"
#include "Updates/UpdateFeedFetcher.h"
#include "Updates/UpdateUserDriver.h"

#include <QDateTime>
#include <QUrl>

#include <optional>

#include <functional>
#include <memory>

class QWidget;

namespace zen {

class UserDefaults;

// The updater: reads the release feed, offers a newer release and remembers the user's
// settings. Automatic checks run at most once per 24 hours while the user allows them, and
// are silent: a found release only becomes the published update (the "Update Available"
// entries). A check the user asks for shows its outcome in a dialog. Nothing is ever
// downloaded or run: "Install" opens the release's page in the browser.
class FeedUpdater final : public AppUpdater {
    Q_OBJECT
public:
    struct Environment {
        QUrl feedURL;                       // empty or unusable: checking is not possible
        QString currentVersion;             // this build's version
        std::shared_ptr<UpdateFeedFetching> fetcher;
        std::shared_ptr<UpdateUserDriver> userDriver;
        std::shared_ptr<OperationScheduler> scheduler;
        std::function<QDateTime()> now;     // wall clock: the last check time is stored
        std::function<bool(const QUrl&)> openURL;
        UserDefaults* defaults = nullptr;   // where the settings live
    };

    static inline const QString automaticallyChecksKey = QStringLiteral("Zentharion.Updates.automaticallyChecks");
    static inline const QString lastCheckTimeKey = QStringLiteral("Zentharion.Updates.lastCheckTime");
    static inline const QString skippedVersionKey = QStringLiteral("Zentharion.Updates.skippedVersion");
    static constexpr std::chrono::hours checkInterval{24};

    explicit FeedUpdater(Environment environment, QObject* parent = nullptr);
    ~FeedUpdater() override;

    // The live updater: the build's feed address and version, the network, dialogs (of
    // `dialogOwner`'s window while there is one), the browser and the standard preferences.
    static std::shared_ptr<FeedUpdater> live(const QUrl& feedURL, std::function<QWidget*()> dialogOwner = {});

    void setDelegate(AppUpdaterDelegate* delegate) override { m_delegate = delegate; }
    void start() override;
    bool canCheckForUpdates() const override;
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool automatically) override;
    void checkForUpdates() override;

private:
    void scheduleNextAutomaticCheck();
    void beginSession(bool userInitiated);
    void sessionFetched(bool userInitiated, std::expected<QByteArray, UpdaterError> outcome);
    void endSession();
    // Why the choice could not be carried out, when it could not.
    std::optional<QString> userChose(UpdaterUserChoice choice, const UpdateFeedItem& item);
    void setInProgress(bool inProgress);

    Environment m_env;
    bool m_feedUsable = false;
    bool m_started = false;
    bool m_inProgress = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    AppUpdaterDelegate* m_delegate = nullptr;
    std::unique_ptr<OperationScheduler::Handle> m_nextCheck;
};

} // namespace zen
