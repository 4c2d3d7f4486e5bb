#include "Updates/FeedUpdater.h"

#include "Infrastructure/AppLogger.h"
#include "Platform/DesktopServices.h"
#include "Shared/UserDefaults.h"
#include "Updates/UpdateAlert.h"
#include "Updates/UpdateFeed.h"

#include <QPointer>

#include <algorithm>

namespace zen {

FeedUpdater::FeedUpdater(Environment environment, QObject* parent)
    : AppUpdater(parent)
    , m_env(std::move(environment))
{
    m_feedUsable = !m_env.feedURL.isEmpty() && UpdateFeed::isAllowedFeedURL(m_env.feedURL) && m_env.fetcher
                   && m_env.scheduler && m_env.now && m_env.defaults;
    if (m_env.feedURL.isEmpty())
        qCInfo(AppLogger::updates, "Update checks are not available in this build (it has no feed address)");
    else if (!UpdateFeed::isAllowedFeedURL(m_env.feedURL))
        qCWarning(AppLogger::updates, "The update feed %s is not an https address; update checks are off",
                  qUtf8Printable(m_env.feedURL.toDisplayString()));
}

FeedUpdater::~FeedUpdater()
{
    if (m_nextCheck)
        m_nextCheck->cancel();
}

std::shared_ptr<FeedUpdater> FeedUpdater::live(const QUrl& feedURL, std::function<QWidget*()> dialogOwner)
{
    auto scheduler = std::make_shared<QtOperationScheduler>();
    Environment env;
    env.feedURL = feedURL;
    env.currentVersion = QStringLiteral(ZENTHARION_VERSION);
    env.fetcher = std::make_shared<UpdateFeedFetcher>(UpdateFeedFetcher::Options{}, scheduler);
    env.userDriver = std::make_shared<UpdateAlertUserDriver>(std::move(dialogOwner));
    env.scheduler = scheduler;
    env.now = [] { return QDateTime::currentDateTimeUtc(); };
    env.openURL = [](const QUrl& url) { return desktopServices().openUri(url); };
    env.defaults = &UserDefaults::standard();
    return std::make_shared<FeedUpdater>(std::move(env));
}

void FeedUpdater::start()
{
    m_started = true;
    scheduleNextAutomaticCheck();
}

bool FeedUpdater::canCheckForUpdates() const
{
    return m_feedUsable && !m_inProgress;
}

bool FeedUpdater::automaticallyChecksForUpdates() const
{
    return m_env.defaults && m_env.defaults->boolForKey(automaticallyChecksKey);
}

void FeedUpdater::setAutomaticallyChecksForUpdates(bool automatically)
{
    if (!m_env.defaults)
        return;
    const bool changed = automatically != automaticallyChecksForUpdates();
    m_env.defaults->setBool(automaticallyChecksKey, automatically);
    if (changed)
        Q_EMIT automaticallyChecksForUpdatesChanged(automatically);
    scheduleNextAutomaticCheck();
}

void FeedUpdater::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    beginSession(true);
}

void FeedUpdater::scheduleNextAutomaticCheck()
{
    if (m_nextCheck) {
        m_nextCheck->cancel();
        m_nextCheck.reset();
    }
    // A running check schedules the next one when it ends.
    if (!m_feedUsable || !m_started || m_inProgress || !automaticallyChecksForUpdates())
        return;

    using namespace std::chrono;
    milliseconds delay{0};
    const auto stored = m_env.defaults->stringForKey(lastCheckTimeKey);
    const QDateTime last = stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
    if (last.isValid()) {
        const qint64 untilDue = m_env.now().msecsTo(last.addSecs(duration_cast<seconds>(checkInterval).count()));
        // A last check "in the future" (the clock was set back) waits one interval, not longer.
        delay = std::clamp(milliseconds(untilDue), milliseconds(0), duration_cast<milliseconds>(checkInterval));
    }
    QPointer<FeedUpdater> self(this);
    m_nextCheck = m_env.scheduler->runAfter(delay, [self] {
        if (self && self->canCheckForUpdates())
            self->beginSession(false);
    });
}

void FeedUpdater::setInProgress(bool inProgress)
{
    if (m_inProgress == inProgress)
        return;
    m_inProgress = inProgress;
    Q_EMIT canCheckForUpdatesChanged(canCheckForUpdates());
}

void FeedUpdater::beginSession(bool userInitiated)
{
    if (m_nextCheck) {
        m_nextCheck->cancel();
        m_nextCheck.reset();
    }
    setInProgress(true);
    QPointer<FeedUpdater> self(this);
    m_env.fetcher->fetch(m_env.feedURL, [self, userInitiated](std::expected<QByteArray, UpdaterError> outcome) {
        if (self)
            self->sessionFetched(userInitiated, std::move(outcome));
    });
}

void FeedUpdater::sessionFetched(bool userInitiated, std::expected<QByteArray, UpdaterError> outcome)
{
    m_env.defaults->setString(lastCheckTimeKey, m_env.now().toUTC().toString(Qt::ISODateWithMs));

    std::expected<UpdateFeed::Parsed, UpdaterError> parsed =
        outcome ? UpdateFeed::parse(*outcome) : std::unexpected(outcome.error());
    if (parsed && !parsed->latest && parsed->skippedCount > 0)
        parsed = std::unexpected(UpdaterError{UpdaterError::domain, UpdaterError::feedParse,
                                              QStringLiteral("The update feed lists no valid release.")});
    // One line per check, however many entries a feed of junk holds: automatic checks run
    // unattended and would otherwise fill the log on every run.
    if (parsed && parsed->skippedCount == 1)
        qCWarning(AppLogger::updates, "Ignoring an update feed entry: %s", qUtf8Printable(parsed->skippedItems.value(0)));
    else if (parsed && parsed->skippedCount > 1)
        qCWarning(AppLogger::updates, "Ignoring %lld update feed entries; the first: %s",
                  static_cast<long long>(parsed->skippedCount), qUtf8Printable(parsed->skippedItems.value(0)));

    QPointer<FeedUpdater> self(this);
    const auto end = [self] {
        if (self)
            self->endSession();
    };

    if (!parsed) {
        if (m_delegate)
            m_delegate->updaterDidAbortWithError(parsed.error());
        if (userInitiated && m_env.userDriver)
            m_env.userDriver->showError(parsed.error().localizedDescription(), end);
        else
            endSession();
        return;
    }

    const std::optional<UpdateFeedItem>& latest = parsed->latest;
    const bool newer = latest && UpdateFeed::isNewer(latest->versionString, m_env.currentVersion);
    // A skipped release is not offered again by automatic checks; asking shows it anyway.
    const bool skipped = newer && !userInitiated
                         && m_env.defaults->stringForKey(skippedVersionKey) == latest->versionString;
    if (!newer || skipped) {
        if (m_delegate) {
            const UpdaterError none{UpdaterError::domain, UpdaterError::noUpdate,
                                    QStringLiteral("You're up to date.")};
            m_delegate->updaterDidNotFindUpdate(none);
            m_delegate->updaterDidAbortWithError(none);
        }
        if (userInitiated && m_env.userDriver)
            m_env.userDriver->showUpToDate(m_env.currentVersion, end);
        else
            endSession();
        return;
    }

    const UpdateFeedItem item = *latest;
    if (m_delegate)
        m_delegate->updaterDidFindValidUpdate(item);
    if (userInitiated && m_env.userDriver) {
        m_env.userDriver->showUpdateFound(item, m_env.currentVersion, [self, item, end](UpdaterUserChoice choice) {
            if (!self)
                return;
            // Where the release was offered, the user learns that nothing opened its page.
            if (const auto failure = self->userChose(choice, item); failure && self->m_env.userDriver)
                self->m_env.userDriver->showError(*failure, end);
            else
                self->endSession();
        });
        return;
    }
    endSession();
}

std::optional<QString> FeedUpdater::userChose(UpdaterUserChoice choice, const UpdateFeedItem& item)
{
    std::optional<QString> failure;
    switch (choice) {
    case UpdaterUserChoice::install:
        // The feed admits https pages only; checked again where the link leaves the program.
        if (item.releasePageURL.scheme() == QLatin1String("https") && m_env.openURL) {
            if (!m_env.openURL(item.releasePageURL)) {
                const QString page = item.releasePageURL.toDisplayString();
                qCWarning(AppLogger::updates, "No browser opened %s", qUtf8Printable(page));
                failure = QStringLiteral("No web browser could be opened. Open %1 in a web browser to download the update.")
                              .arg(page);
            }
        }
        break;
    case UpdaterUserChoice::skip:
        m_env.defaults->setString(skippedVersionKey, item.versionString);
        break;
    case UpdaterUserChoice::dismiss:
        break;
    }
    if (m_delegate)
        m_delegate->updaterUserDidMakeChoice(choice, item);
    return failure;
}

void FeedUpdater::endSession()
{
    setInProgress(false);
    scheduleNextAutomaticCheck();
}

} // namespace zen
