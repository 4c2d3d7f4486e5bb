#include "Dashboard/DashboardWindowRemovalConfirmation.h"

#include "Shared/StringExtensions.h"

namespace zen {

QString DashboardWindowRemovalConfirmation::windowDisplayTitle() const
{
    return nonEmptyValue(windowTitle).value_or(QStringLiteral("Untitled window"));
}

QString DashboardWindowRemovalConfirmation::message() const
{
    QString text = QStringLiteral("Remove this saved window from \"%1\"? This cannot be undone.").arg(snapshotName);
    if (isLastWindowOnDisplay)
        text += QStringLiteral(" This is the last saved window on this display, so the display will no longer "
                               "appear in the layout preview.");
    return text;
}

} // namespace zen
