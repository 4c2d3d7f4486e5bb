#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QObject;
class QUrl;

namespace zen {

// What the program needs from GIO (application entries, launching, the desktop's interface
// settings) and from Qt Network (the update feed). Both cost start-up time and memory that a
// program idling in the tray never uses, so they live in a module of our own
// (libzentharion-desktop.so), loaded the first time one of them is asked for.
class DesktopServices {
public:
    // Raised whenever the module's interface changes, so that a stale copy is refused.
    static constexpr int interfaceRevision = 1;

    struct ApplicationEntry {
        QString id; // the desktop entry id, ".desktop" included
        QString name;
        QString startupWMClass;
    };
    struct EntryDetails {
        std::optional<QString> localizedName;
        std::optional<QString> fileName;
        std::optional<QString> iconName;
    };
    struct HttpEvents {
        std::function<void()> metaDataChanged;
        std::function<void()> readyRead;
        std::function<void()> finished;
    };
    // What a reply says so far.
    struct HttpState {
        std::optional<int> status;
        QByteArray location; // the raw Location header
        std::optional<qint64> contentLength;
        bool failed = false;
        bool timedOut = false;
        QString errorString;
    };

    virtual ~DesktopServices() = default;

    // The installed applications' desktop entries.
    virtual std::vector<ApplicationEntry> installedApplications() = 0;
    // Calls `changed` from the GLib main context of the calling thread whenever the installed
    // applications change, as long as the returned handle lives.
    virtual std::shared_ptr<void> watchInstalledApplications(std::function<void()> changed) = 0;
    // The entry of that file name ("name.desktop"), when one is installed.
    virtual std::optional<EntryDetails> entryDetails(const QByteArray& fileName) = 0;
    // Launches the entry of that file name with the null device as its standard streams.
    virtual bool launch(const QByteArray& fileName) = 0;
    // Opens the file with the program set up for its content type (streams as above).
    virtual bool openWithDefaultApplication(const QString& filePath, const QString& contentType) = 0;
    // The desktop's "enable-animations" interface setting; absent where it is not installed.
    virtual std::optional<bool> desktopEnablesAnimations() = 0;

    // Starts a GET of `url` that follows no redirect and uses no cache; the events come on the
    // owner's thread. The reply is a child of `owner`; abort it with abortHttp.
    virtual QIODevice* startHttpGet(QObject* owner, const QUrl& url, std::chrono::milliseconds transferTimeout,
                                    HttpEvents events) = 0;
    virtual HttpState httpState(QIODevice* reply) = 0;
    virtual void abortHttp(QIODevice* reply) = 0;
};

// The module's services, loaded on the first call from any thread; null when the module is
// missing or unusable, which is logged once with the reason.
DesktopServices* desktopServices();

// One attempt at loading the module from the first of `paths` that is a file; the services,
// or why there are none.
struct DesktopServicesLoad {
    DesktopServices* services = nullptr;
    QString failure;
};
DesktopServicesLoad loadDesktopServices(const QStringList& paths);
// Why the module could not be loaded (trying it first if nothing has yet); empty when it was.
QString desktopServicesFailure();

} // namespace zen
