#pragma once

#include "Shared/UserFacingError.h"

#include <QDateTime>
#include <QString>

#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace zen {

// Creates the folder and any missing parents; an existing folder is success, anything else
// in the way (a file, a dangling link) is an error that names the path.
std::expected<void, PlatformError> createDirectories(const QString& path);

// Deletes the regular files directly in `directory` whose names `isOurs` accepts and that were
// last modified before `cutoff`: the leftovers of writes cut short by a crash. Links, folders
// and anything else are left alone, and so is a file written since the cutoff (it may belong
// to a write in progress). Best effort: a folder or file that can't be read or removed is
// skipped. Returns how many files were removed.
int removeStaleFiles(const QString& directory, const std::function<bool(const QString& fileName)>& isOurs,
                     const QDateTime& cutoff);

// One mutex per path for the whole process, kept while someone holds it. A path is made
// absolute and clean rather than resolved, as it may not exist yet. Thread-safe.
class PathLockRegistry {
public:
    std::shared_ptr<std::mutex> lockFor(const QString& path);

private:
    std::mutex m_mutex;
    std::map<QString, std::weak_ptr<std::mutex>> m_locks;
};

} // namespace zen
