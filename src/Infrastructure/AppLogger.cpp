#include "Infrastructure/AppLogger.h"

namespace zen::AppLogger {

// Q_LOGGING_CATEGORY makes each category on first use, thread-safely.
Q_LOGGING_CATEGORY(appCategory, "com.zentharion.app.app")
Q_LOGGING_CATEGORY(displaysCategory, "com.zentharion.app.displays")
Q_LOGGING_CATEGORY(permissionsCategory, "com.zentharion.app.permissions")
Q_LOGGING_CATEGORY(updatesCategory, "com.zentharion.app.updates")

const QLoggingCategory& app() { return appCategory(); }
const QLoggingCategory& displays() { return displaysCategory(); }
const QLoggingCategory& permissions() { return permissionsCategory(); }
const QLoggingCategory& updates() { return updatesCategory(); }

} // namespace zen::AppLogger
