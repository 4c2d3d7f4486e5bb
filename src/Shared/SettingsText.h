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
};

// QSettings' INI text, decoded and encoded by QSettings itself (so files written by earlier
// versions read the same, and what is written is byte for byte what QSettings writes) without
// ever giving it a path of the user's: QSettings opens files again by name, follows links and
// takes lock files with no time limit, and caches what it read by name. Each call works on a
// copy in a folder of its own, made afresh (mode 0700, checked to be this user's) under
// `scratchBase` with a name no other call of the process has used, and removed with all it
// holds before the call returns. Since QSettings opens the copy by path, the path must be one
// no other user can change: never the temporary folder, which TMPDIR may put anywhere.
class SettingsText {
public:
    // `scratchBase` empty: privateFolder(), looked for at each call.
    explicit SettingsText(QString scratchBase = {});

    // The user's runtime folder when it is theirs, 0700 and closed all the way (see
    // PrivateFolder), else "zentharion" in the user's cache folder, made so; empty when
    // neither is.
    static QString privateFolder();

    // Removes the scratch folders in `folder` that a process no longer running left there
    // (ended between making one and removing it): only folders of this user's own named as
    // this class names them, never through a link. Returns how many went.
    static int removeLeftovers(const QString& folder);

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
    // Unreadable text is never rewritten.
    std::expected<Edited, SettingsTextError> edit(const QByteArray& text, const SettingsChanges& changes) const;

private:
    QString scratchBase() const;

    QString m_scratchBase;
};

} // namespace zen
