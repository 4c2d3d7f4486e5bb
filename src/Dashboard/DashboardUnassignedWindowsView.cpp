#include "Dashboard/DashboardUnassignedWindowsView.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardRemoveWindowButton.h"
#include "Shared/StringExtensions.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace zen {

using Style = DashboardPreviewStyle;

DashboardUnassignedWindowsView::DashboardUnassignedWindowsView(const std::vector<WindowRecord>& windows,
                                                               DashboardAppIdentityResolver& appIdentityResolver,
                                                               RemoveWindow removeWindow, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(Style::label(QStringLiteral("Unassigned Windows"), Style::TextStyle::subheadline, QFont::DemiBold));
    for (const WindowRecord& window : windows) {
        const DashboardAppIdentity identity = appIdentityResolver.identity(window.bundleIdentifier);
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        auto* icon = new QLabel(this);
        icon->setPixmap(Style::roundedIcon(identity.icon, 18, 4, devicePixelRatioF()));
        icon->setFixedSize(18, 18);
        row->addWidget(icon);
        QLabel* name = Style::label(Style::singleLine(identity.name), Style::TextStyle::caption);
        name->setObjectName(QStringLiteral("appName"));
        row->addWidget(name);
        if (const auto title = nonEmptyValue(window.windowTitle)) {
            QLabel* titleLabel = Style::label(Style::singleLine(*title), Style::TextStyle::caption, QFont::Normal, true);
            titleLabel->setObjectName(QStringLiteral("windowTitle"));
            titleLabel->setMinimumWidth(0);
            titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            row->addWidget(titleLabel, 1);
        } else {
            row->addStretch(1);
        }
        auto* button = new DashboardRemoveWindowButton(
            [this, removeWindow, window] {
                if (m_editingEnabled && removeWindow)
                    removeWindow(window);
            },
            this);
        m_removeButtons.push_back(button);
        row->addWidget(button);
        layout->addLayout(row);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void DashboardUnassignedWindowsView::setEditingEnabled(bool enabled)
{
    m_editingEnabled = enabled;
    for (DashboardRemoveWindowButton* button : m_removeButtons)
        button->setEnabled(enabled);
}

void DashboardUnassignedWindowsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 10, Style::underPageBackground(palette()));
}

} // namespace zen
