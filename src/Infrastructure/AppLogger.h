#pragma once

#include <QLoggingCategory>

namespace zen {

// The program's log categories, all under one fixed reverse-DNS name so that the user can
// enable or filter them together (QT_LOGGING_RULES="com.zentharion.app.*=true").
namespace AppLogger {

inline constexpr char subsystem[] = "com.zentharion.app";

const QLoggingCategory& app();         // start-up
const QLoggingCategory& displays();    // display-change detection
const QLoggingCategory& permissions(); // window-management access
const QLoggingCategory& updates();     // the update checker

} // namespace AppLogger

} // namespace zen
