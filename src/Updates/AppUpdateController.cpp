#include "Updates/AppUpdateController.h"

#include "Infrastructure/AppLogger.h"

namespace zen {

AppUpdateController::AppUpdateController(QObject* parent) : QObject(parent)
{
    qCInfo(AppLogger::updates, "Update checks are not available in this build");
}

void AppUpdateController::checkForUpdates()
{
    if (!m_canCheckForUpdates)
        return;
}

} // namespace zen
