#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace zen {

// What the program reads of an autostart desktop entry: whether it is switched off and the
// argument vector its Exec value stands for.
struct AutostartEntry {
    // An entry is a dozen lines; anything larger is not one to act on.
    static constexpr qint64 maximumFileSize = 64 * 1024;

    bool hidden = false;                   // Hidden=true
    bool autostartEnabled = true;          // X-GNOME-Autostart-enabled, true when missing
    std::optional<QStringList> arguments;  // absent without a parsable Exec value

    // The entry in these bytes (GLib's key-file parser), absent when they hold none.
    static std::optional<AutostartEntry> parse(const QByteArray& bytes);
    // The entry at `path`: a regular file, or a link to one, of at most maximumFileSize
    // bytes, opened so that a named pipe swapped in cannot make the read wait.
    static std::optional<AutostartEntry> read(const QString& path);
};

} // namespace zen
