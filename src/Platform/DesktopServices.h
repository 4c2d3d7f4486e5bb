#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QUrl;

namespace zen {

// What the program needs from GIO (application entries, launching, the desktop's interface
// settings), behind one interface that tests replace.
class DesktopServices {
public:
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

    virtual ~DesktopServices() = default;

    // The installed applications' desktop entries.
    virtual std::vector<ApplicationEntry> installedApplications() = 0;
    // Calls `changed` from the GLib main context of the calling thread whenever the installed
    // applications change, as long as the returned handle lives.
    virtual std::shared_ptr<void> watchInstalledApplications(std::function<void()> changed) = 0;
    // The entry of that file name ("name.desktop"), when one is installed.
    virtual std::optional<EntryDetails> entryDetails(const QByteArray& fileName) = 0;
    // Launches the entry of that file name with the null device as its standard streams, in the
    // home folder unless the entry names another.
    virtual bool launch(const QByteArray& fileName) = 0;
    // Opens the file with the program set up for its content type (streams as above).
    virtual bool openWithDefaultApplication(const QString& filePath, const QString& contentType) = 0;
    // Opens a link (https:, mailto:) with the program set up for its scheme (streams as above).
    // Not through xdg-open, whose start tells nothing of whether anything showed the link, and
    // which writes its complaints into our terminal. False when nothing is set up for it, or it
    // could not be started.
    virtual bool openUri(const QUrl& url) = 0;
    // Whether a program is set up for links of that scheme ("mailto").
    virtual bool handlesUriScheme(const QString& scheme) = 0;
    // The desktop's "enable-animations" interface setting; absent where it is not installed.
    virtual std::optional<bool> desktopEnablesAnimations() = 0;

};

// The desktop's services, made on the first call from any thread.
DesktopServices& desktopServices();

} // namespace zen
