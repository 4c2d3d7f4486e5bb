#pragma once

#include "LaunchAtLogin/LaunchAtLoginServicing.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace zen {

// Launch at login on the freedesktop autostart standard: this program starts at login while
// an entry "<desktop id>.desktop" in $XDG_CONFIG_HOME/autostart runs it. A system-wide entry
// of the same id (in $XDG_CONFIG_DIRS/autostart) counts too unless the user's own entry hides
// it. Status is read from the files at every call, so changes made elsewhere show.
class MainAppLaunchAtLoginService final : public LaunchAtLoginServicing {
public:
    struct Locations {
        QString userAutostartFolder;          // $XDG_CONFIG_HOME/autostart
        QStringList systemAutostartFolders;   // $XDG_CONFIG_DIRS/*/autostart, most important first
        QString executablePath;               // this program's file; empty when unknown
        std::function<void(const QString& folder)> openFolder;
    };

    static inline const QString desktopID = QStringLiteral("zentharion");
    // The entry's mark on the launch: at login the program stays quiet where a tray shows it.
    static inline const QString autostartArgument = QStringLiteral("--autostart");
    static inline const QString shellTrampoline = QStringLiteral(R"(/bin/sh -c "exec \"\$0\" \"\$@\"")");
    static inline const QStringList shellTrampolineArguments = {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                                                QStringLiteral("exec \"$0\" \"$@\"")};
    // What entries written before the mark existed run; they still count as ours.
    static inline const QStringList earlierShellTrampolineArguments = {
        QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exec \"$0\"")};

    explicit MainAppLaunchAtLoginService(Locations locations);
    // This process's executable and the XDG folders of the environment.
    static Locations liveLocations();

    LaunchAtLoginServiceStatus status() const override;
    std::expected<void, PlatformError> registerItem() override;
    std::expected<void, PlatformError> unregisterItem() override;
    void openLoginItemsSettings() override;

    QString userEntryPath() const;

    // The Exec value that runs exactly this file with `autostartArgument` alone: the path in
    // double quotes with `"`, `` ` ``, `$` and `\` escaped, and `%` doubled, per the Desktop
    // Entry rules.
    static QString execLine(const QString& executablePath);
    // Whether an Exec argument vector starts exactly this file and nothing else, with or
    // without `autostartArgument`.
    static bool argumentsRun(const QStringList& arguments, const QString& executablePath);
    // The argument vector a desktop entry's Exec value stands for (field codes dropped);
    // absent when it cannot be parsed. Reads the file with GLib's key-file parser.
    static std::optional<QStringList> entryArguments(const QString& entryPath);

private:
    bool executableUsable() const;
    std::optional<QString> systemEntryPath() const;
    // The entry in force: the user's own if there is one, else the first system-wide one.
    std::optional<QString> effectiveEntryPath() const;
    bool entryRunsThisProgram(const QString& entryPath) const;
    std::expected<void, PlatformError> writeUserEntry(bool hidden);

    Locations m_locations;
};

} // namespace zen
