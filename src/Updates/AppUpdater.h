#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace zen {

// One release the update feed lists.
struct UpdateFeedItem {
    QString versionString;        // compared numerically, part by part
    QString displayVersionString; // what the user is shown
    QUrl releasePageURL;          // https only; "Install" opens it
    QString notes;                // plain text, may be empty

    friend bool operator==(const UpdateFeedItem&, const UpdateFeedItem&) = default;
};

// Why an update session ended without an update. The codes follow a fixed table, so that the
// controller can tell outcomes that are no failure from real failures.
struct UpdaterError {
    enum Code : int {
        feedUnavailable = 1000, // no usable feed address in this build
        noUpdate = 1001,        // a check that found nothing newer
        feedDownload = 2001,    // the feed could not be fetched (network, status, size, time)
        feedParse = 2002,       // the feed is no valid feed
        installationCanceled = 4007,
    };

    static inline const QString domain = QStringLiteral("com.zentharion.updater");

    QString errorDomain = domain;
    int code = 0;
    QString message;

    QString localizedDescription() const { return message; }
    QString ownDescription() const { return QStringLiteral("%1 error %2").arg(errorDomain).arg(code); }
};

// What the user chose in the update dialog.
enum class UpdaterUserChoice { skip, install, dismiss };

// What an updater tells its owner; all calls come on the main thread.
class AppUpdaterDelegate {
public:
    virtual ~AppUpdaterDelegate() = default;
    virtual void updaterDidFindValidUpdate(const UpdateFeedItem& item) = 0;
    virtual void updaterDidNotFindUpdate(const UpdaterError& error) = 0;
    virtual void updaterUserDidMakeChoice(UpdaterUserChoice choice, const UpdateFeedItem& item) = 0;
    virtual void updaterDidAbortWithError(const UpdaterError& error) = 0;
};

// The update machinery behind AppUpdateController: two observable settings, a user-initiated
// check that shows its own dialogs, and the delegate callbacks. Main thread only.
class AppUpdater : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setDelegate(AppUpdaterDelegate* delegate) = 0;
    // Begins the automatic schedule.
    virtual void start() = 0;

    virtual bool canCheckForUpdates() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool automatically) = 0;

    // A check the user asked for: its outcome is shown, whatever it is.
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool automatically);
};

} // namespace zen
