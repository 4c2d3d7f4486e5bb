#pragma once

#include "Dashboard/DashboardDisplayPreviewModel.h"
#include "Dashboard/DashboardDisplayWindowList.h"

#include <QWidget>

class QLabel;

namespace zen {

class DashboardAppIdentityResolver;
class DashboardDisplayCanvas;

// One saved display in the layout preview: title line, picture, restore-order list.
class DashboardDisplayPreviewCard : public QWidget {
    Q_OBJECT
public:
    DashboardDisplayPreviewCard(DashboardDisplayPreviewModel model, DashboardAppIdentityResolver& appIdentityResolver,
                                DashboardDisplayWindowList::RemoveWindow removeWindow,
                                DashboardDisplayWindowList::ReorderWindows reorderWindows, QWidget* parent = nullptr);

    // The same display after a reload of the layout.
    void setModel(const DashboardDisplayPreviewModel& model);
    const DashboardDisplayPreviewModel& model() const { return m_model; }

    // The display's name, or "Display " and its id when it saved none.
    static QString displayTitle(const DisplayRecord& display);
    // "1 window", "2 windows": the count shown on a display's card and an inactive app's row.
    static QString windowCountText(int count);

    DashboardDisplayCanvas* canvas() const { return m_canvas; }
    DashboardDisplayWindowList* windowList() const { return m_list; }
    void setEditingEnabled(bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DashboardDisplayPreviewModel m_model;
    QLabel* m_count = nullptr;
    DashboardDisplayCanvas* m_canvas = nullptr;
    DashboardDisplayWindowList* m_list = nullptr;
};

} // namespace zen
