#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Shared/Geometry.h"
#include "Snapshots/Snapshot.h"

#include <QPalette>
#include <QSizeF>
#include <QWidget>

#include <optional>
#include <vector>

class QPainter;

namespace zen {

class DashboardAppIdentityResolver;

// The scaled picture of one saved display with its windows as coloured rectangles. Read-only:
// no hover, selection or clicks. Of each cluster of heavily overlapping windows only the
// front-most is pictured.
class DashboardDisplayCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr int canvasHeight = 174;

    // One pictured window: the front-most of its overlap group.
    struct PicturedWindow {
        QUuid windowID;
        DashboardAppIdentity identity;
        CGRect previewFrame; // in the saved global space
        std::optional<QString> normalizedTitle;
        bool isFullscreen = false;
        bool isDimmed = false; // minimized or saved as not visible
    };

    DashboardDisplayCanvas(const DisplayRecord& display, const std::vector<WindowRecord>& windows,
                           DashboardAppIdentityResolver& appIdentityResolver, QWidget* parent = nullptr);

    void setWindows(const DisplayRecord& display, const std::vector<WindowRecord>& windows);

    // The pictured windows of a display, in drawing order: back to front, so the front-most
    // window is painted last, above the others.
    static std::vector<PicturedWindow> picturedWindows(const DisplayRecord& display,
                                                       const std::vector<WindowRecord>& windows,
                                                       DashboardAppIdentityResolver& appIdentityResolver);
    // Paints the whole canvas of the given size at the painter's origin.
    static void paint(QPainter& painter, const QSizeF& size, const CGRect& displayFrame,
                      const std::vector<PicturedWindow>& windows, const QPalette& palette);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DashboardAppIdentityResolver& m_resolver;
    CGRect m_displayFrame;
    std::vector<PicturedWindow> m_pictured;
};

} // namespace zen
