#include "Infrastructure/AppLogger.h"

namespace zen::AppLogger {

// Q_LOGGING_CATEGORY makes each category on first use, thread-safely. Only warnings and
// errors are printed unless the user enables more (QT_LOGGING_RULES): a terminal shows what
// needs acting on, not the program's running commentary.
Q_LOGGING_CATEGORY(appCategory, "com.zentharion.app.app", QtWarningMsg)
Q_LOGGING_CATEGORY(displaysCategory, "com.zentharion.app.displays", QtWarningMsg)
Q_LOGGING_CATEGORY(permissionsCategory, "com.zentharion.app.permissions", QtWarningMsg)
Q_LOGGING_CATEGORY(updatesCategory, "com.zentharion.app.updates", QtWarningMsg)

const QLoggingCategory& app() { return appCategory(); }
const QLoggingCategory& displays() { return displaysCategory(); }
const QLoggingCategory& permissions() { return permissionsCategory(); }
const QLoggingCategory& updates() { return updatesCategory(); }

} // namespace zen::AppLogger
