#include "Dashboard/DashboardAppSummary.h"

#include "Shared/StringExtensions.h"

namespace zen {

QStringList DashboardAppSummary::visibleWindowTitles() const
{
    QStringList titles;
    for (const WindowRecord& window : windows) {
        if (const auto title = nonEmptyValue(window.windowTitle))
            titles.push_back(*title);
    }
    return titles;
}

} // namespace zen
