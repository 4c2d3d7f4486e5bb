#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <expected>
#include <map>
#include <optional>

namespace zen {

// Changes to make to a settings text: a key set to a value, or removed when absent.
using SettingsChanges = std::map<QString, std::optional<QVariant>>;

struct SettingsTextError {
    enum class Kind {
        // The text is not one QSettings can read; it should be left as it is.
        unreadable,
        // No private copy could be made to read or write it with; nothing is known of the text.
        noScratchCopy,
    };
    Kind kind;
    // The end of a sentence naming the file, such as "cannot be read (...)".
    QString why;
    // The errno behind a copy that could not be made; 0 when none is known.
    int error = 0;
};

// QSettings' INI text, decoded and encoded by QSettings itself (so files written by earlier
// versions read the same, and what is written is byte for byte what QSettings writes) without
// ever giving it a path of the user's: QSettings opens files again by name, follows links and
// takes lock files with no time limit, and caches what it read by name. Each call works on a
// copy in a folder of its own (0700) made beside the settings file, in the settings folder the
// caller holds open, and QSettings is given the copy as /proc/self/fd/<copy's folder>/...: a way
// through a folder nobody else can put an entry in, which no link or rename above it can
// redirect, so no other folder is ever needed and others who may write in the settings folder
// can neither plant a link nor a lock file there. Every copy's folder has a name no earlier call
// used (QSettings would answer a name it read before from memory) and is gone, with what
// QSettings left in it, before the call returns.
//
// A copy's folder is flocked (shared) by its call for as long as it lives: removeLeftovers()
// removes only those no live call holds, so a copy made to read without the settings folder's
// lock is never swept away under its reader.
class SettingsText {
public:
    // `folder`: the settings folder, open (O_PATH will do), kept open by the caller for as long
    // as this is used; `fileName`: the settings file's name, which the copies' names begin with.
    SettingsText(int folder, QString fileName);

    // Removes, from the open folder, the copies' folders a call ended in its middle left (with
    // what QSettings left in them), never one a live call holds or another user's, never through
    // a link, and any other entry under a copy's name. Called with the folder's lock held.
    // Returns how many entries went.
    static int removeLeftovers(int folder, const QString& fileName);

    // The keys and values of `text`. Text that QSettings reads with a format error, or that is
    // not blank but yields no key, is unreadable.
    std::expected<QVariantMap, SettingsTextError> decode(const QByteArray& text) const;

    struct Edited {
        QByteArray text;
        QVariantMap values;
        // The values `text` held before the changes.
        QVariantMap before;
    };
    // `text` with the changes made, as QSettings writes it, and the values it then holds.
    // Unreadable text is never rewritten. Called with the folder's lock held.
    std::expected<Edited, SettingsTextError> edit(const QByteArray& text, const SettingsChanges& changes) const;

private:
    int m_folder;
    QString m_fileName;
};

} // namespace zen
