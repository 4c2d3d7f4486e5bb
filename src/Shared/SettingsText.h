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
// holds before the call returns.
class SettingsText {
public:
    // `scratchBase` empty: the temporary folder.
    explicit SettingsText(QString scratchBase = {});

    // The keys and values of `text`. Text that QSettings reads with a format error, or that is
    // not blank but yields no key, is unreadable.
    std::expected<QVariantMap, SettingsTextError> decode(const QByteArray& text) const;

    struct Edited {
        QByteArray text;
        QVariantMap values;
    };
    // `text` with the changes made, as QSettings writes it, and the values it then holds.
    // Unreadable text is never rewritten.
    std::expected<Edited, SettingsTextError> edit(const QByteArray& text, const SettingsChanges& changes) const;

private:
    QString m_scratchBase;
};

} // namespace zen
