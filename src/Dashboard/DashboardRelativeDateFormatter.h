#pragma once

#include <QDateTime>
#include <QString>

namespace zen {

// A layout's last-update time as the sidebar and the detail pane show it.
class DashboardRelativeDateFormatter {
public:
    DashboardRelativeDateFormatter() = delete;

    // "just now" when the dates are at most a minute apart either way, else a phrase such
    // as "5 minutes ago", "in 2 hours" or "3 weeks ago" in the largest whole unit.
    static QString string(const QDateTime& date, const QDateTime& reference);
    // The first moment after `reference` at which `string(date, moment)` reads differently: a
    // view showing the phrase needs to wake no earlier.
    static QDateTime nextChange(const QDateTime& date, const QDateTime& reference);
};

} // namespace zen
