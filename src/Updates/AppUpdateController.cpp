#include "Updates/AppUpdateController.h"

#include "Infrastructure/AppLogger.h"

namespace zen {

AppUpdateController::AppUpdateController(QObject* parent) : QObject(parent)
{
    qCInfo(AppLogger::updates, "Update checks are not available in this build");
}

AppUpdateController::AppUpdateController(std::shared_ptr<AppUpdater> updater, bool startingUpdater, QObject* parent)
    : QObject(parent)
    , m_updater(std::move(updater))
{
    if (!m_updater)
        return;
    m_updater->setDelegate(this);
    if (startingUpdater)
        m_updater->start();
    // The updater's current values first, then every change it reports.
    publishCanCheck(m_updater->canCheckForUpdates());
    publishAutomaticallyChecks(m_updater->automaticallyChecksForUpdates());
    connect(m_updater.get(), &AppUpdater::canCheckForUpdatesChanged, this, &AppUpdateController::publishCanCheck);
    connect(m_updater.get(), &AppUpdater::automaticallyChecksForUpdatesChanged, this,
            &AppUpdateController::publishAutomaticallyChecks);
}

AppUpdateController::~AppUpdateController()
{
    // The updater may outlive this controller (it is shared): it must not call back into it.
    if (m_updater)
        m_updater->setDelegate(nullptr);
}

void AppUpdateController::checkForUpdates()
{
    if (!m_canCheckForUpdates || !m_updater)
        return;
    m_updater->checkForUpdates();
}

void AppUpdateController::setAutomaticallyChecksForUpdates(bool automatically)
{
    // The switch shows the new position at once, before the updater reports it back.
    publishAutomaticallyChecks(automatically);
    if (m_updater)
        m_updater->setAutomaticallyChecksForUpdates(automatically);
}

void AppUpdateController::recordAvailableUpdate(const QString& buildVersion, const QString& displayVersion)
{
    publishAvailableUpdate(AvailableAppUpdate{buildVersion, displayVersion});
}

void AppUpdateController::updaterDidFindValidUpdate(const UpdateFeedItem& item)
{
    recordAvailableUpdate(item.versionString, item.displayVersionString);
}

void AppUpdateController::updaterDidNotFindUpdate(const UpdaterError&)
{
    publishAvailableUpdate(std::nullopt);
}

void AppUpdateController::updaterUserDidMakeChoice(UpdaterUserChoice choice, const UpdateFeedItem&)
{
    // A skipped release is no longer offered.
    if (choice == UpdaterUserChoice::skip)
        publishAvailableUpdate(std::nullopt);
}

void AppUpdateController::updaterDidAbortWithError(const UpdaterError& error)
{
    // A check that found nothing and an installation the user cancelled are no failures.
    if (error.errorDomain == UpdaterError::domain
        && (error.code == UpdaterError::noUpdate || error.code == UpdaterError::installationCanceled))
        return;
    qCCritical(AppLogger::updates, "Update failed: %s", qUtf8Printable(error.localizedDescription()));
}

void AppUpdateController::publishAvailableUpdate(std::optional<AvailableAppUpdate> update)
{
    if (m_availableUpdate == update)
        return;
    m_availableUpdate = std::move(update);
    Q_EMIT availableUpdateChanged();
}

void AppUpdateController::publishCanCheck(bool canCheck)
{
    if (m_canCheckForUpdates == canCheck)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void AppUpdateController::publishAutomaticallyChecks(bool automatically)
{
    if (m_automaticallyChecksForUpdates == automatically)
        return;
    m_automaticallyChecksForUpdates = automatically;
    Q_EMIT automaticallyChecksForUpdatesChanged(automatically);
}

} // namespace zen
