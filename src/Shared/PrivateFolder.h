#pragma once

#include <QString>

namespace zen {

// Folders that no other user can change the contents of, nor the way to them: where the
// program keeps the single-instance lock when the session has no runtime folder.
class PrivateFolder {
public:
    // "<parent>/<name>", made 0700 where it is missing. An existing one is taken only when it
    // is this user's own folder, no link (it is opened without following one) and closed to
    // others already; its mode is never changed. Empty when there is none.
    static QString ownFolderIn(const QString& parent, const QString& name);

    // Whether a folder made at `path` (with the folders missing above it) would be closed all
    // the way: the nearest folder there is above it is root's or this user's, writable by nobody
    // else, on a fixed way. Asked before making anything: root with another user's HOME would
    // otherwise leave folders of its own in that user's home.
    static bool mayMakeClosed(const QString& path);

private:
    // Whether no other user can rename or replace an entry on the clean absolute path.
    static bool isFixedWay(const QString& clean);
};

} // namespace zen
