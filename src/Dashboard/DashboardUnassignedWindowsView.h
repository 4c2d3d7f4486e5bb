#pragma once

#include "Snapshots/Snapshot.h"

#include <QWidget>

#include <functional>
#include <vector>

namespace zen {

class DashboardAppIdentityResolver;
class DashboardRemoveWindowButton;

// The windows of a layout that belong to no saved display: listed, not pictured, and only
// removable (they have no restore order of their own to edit).
class DashboardUnassignedWindowsView : public QWidget {
    Q_OBJECT
public:
    using RemoveWindow = std::function<void(const WindowRecord&)>;

    DashboardUnassignedWindowsView(const std::vector<WindowRecord>& windows,
                                   DashboardAppIdentityResolver& appIdentityResolver, RemoveWindow removeWindow,
                                   QWidget* parent = nullptr);

    const std::vector<DashboardRemoveWindowButton*>& removeButtons() const { return m_removeButtons; }
    void setEditingEnabled(bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<DashboardRemoveWindowButton*> m_removeButtons;
    bool m_editingEnabled = true;
};

} // namespace zen
