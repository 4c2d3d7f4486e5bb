#pragma once

#include "Shared/UserFacingError.h"

#include <QString>

#include <expected>

namespace zen {

// Creates the folder and any missing parents; an existing folder is success, anything else
// in the way (a file, a dangling link) is an error that names the path.
std::expected<void, PlatformError> createDirectories(const QString& path);

} // namespace zen
