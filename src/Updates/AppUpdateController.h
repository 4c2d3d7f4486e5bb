#pragma once

#include "Updates/AppUpdater.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace zen {

// A newer version the update checker found.
struct AvailableAppUpdate {
    QString buildVersion;
    QString displayVersion;

    // The title of the entries that start the update, whatever the versions.
    static QString actionTitle() { return QStringLiteral("Update Available"); }

    friend bool operator==(const AvailableAppUpdate&, const AvailableAppUpdate&) = default;
};

// What the menus and windows know about updates: mirrors the updater's two settings, publishes
// the update it found and logs its real failures. Main thread only.
class AppUpdateController : public QObject, private AppUpdaterDelegate {
    Q_OBJECT
public:
    // Without an updater: checking is never possible and no update is ever available (the
    // update entries stay disabled).
    explicit AppUpdateController(QObject* parent = nullptr);
    // Becomes the updater's delegate and follows its settings from now on; starts its automatic
    // schedule when `startingUpdater` is true.
    explicit AppUpdateController(std::shared_ptr<AppUpdater> updater, bool startingUpdater = true,
                                 QObject* parent = nullptr);
    ~AppUpdateController() override;

    const std::optional<AvailableAppUpdate>& availableUpdate() const { return m_availableUpdate; }
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecksForUpdates; }

    // Does nothing while checking is not possible.
    void checkForUpdates();
    // Published at once, then handed to the updater.
    void setAutomaticallyChecksForUpdates(bool automatically);

    void recordAvailableUpdate(const QString& buildVersion, const QString& displayVersion);

Q_SIGNALS:
    void availableUpdateChanged();
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool automatically);

private:
    void updaterDidFindValidUpdate(const UpdateFeedItem& item) override;
    void updaterDidNotFindUpdate(const UpdaterError& error) override;
    void updaterUserDidMakeChoice(UpdaterUserChoice choice, const UpdateFeedItem& item) override;
    void updaterDidAbortWithError(const UpdaterError& error) override;

    void publishAvailableUpdate(std::optional<AvailableAppUpdate> update);
    void publishCanCheck(bool canCheck);
    void publishAutomaticallyChecks(bool automatically);

    std::optional<AvailableAppUpdate> m_availableUpdate;
    bool m_canCheckForUpdates = false;
    bool m_automaticallyChecksForUpdates = false;
    std::shared_ptr<AppUpdater> m_updater;
};

} // namespace zen
