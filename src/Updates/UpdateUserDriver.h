#pragma once

#include "Updates/AppUpdater.h"

#include <QString>

#include <functional>

namespace zen {

// The dialogs of a check the user asked for. Each shows without blocking and answers through
// its callback, once.
class UpdateUserDriver {
public:
    virtual ~UpdateUserDriver() = default;
    virtual void showUpToDate(const QString& currentDisplayVersion, std::function<void()> acknowledged) = 0;
    virtual void showUpdateFound(const UpdateFeedItem& item, const QString& currentDisplayVersion,
                                 std::function<void(UpdaterUserChoice)> choice) = 0;
    virtual void showError(const QString& message, std::function<void()> acknowledged) = 0;
};

} // namespace zen
