#include "Dashboard/DashboardRemoveWindowButton.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSymbols.h"

namespace zen {

QString DashboardRemoveWindowButton::title()
{
    return QStringLiteral("Remove Window from Layout");
}

DashboardRemoveWindowButton::DashboardRemoveWindowButton(std::function<void()> removeWindow, QWidget* parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setFixedSize(22, 22);
    setIconSize(QSize(16, 16));
    setIcon(QIcon(DashboardSymbols::tintedPixmap(QStringLiteral("minus.circle"), QSize(16, 16),
                                                 DashboardPreviewStyle::secondary(palette()), 2.0)));
    setToolTip(title());
    setAccessibleName(title());
    setCursor(Qt::PointingHandCursor);
    connect(this, &QToolButton::clicked, this, [removeWindow = std::move(removeWindow)] {
        if (removeWindow)
            removeWindow();
    });
}

} // namespace zen
