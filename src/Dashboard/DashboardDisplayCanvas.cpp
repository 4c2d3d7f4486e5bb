#include "Dashboard/DashboardDisplayCanvas.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardDisplayPreviewLayout.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Shared/StringExtensions.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// Icon, application name and title inside a pictured window, each only where it fits: the
// thresholds use the window's own size, not the 10-point minimum it is drawn at.
void paintLabel(QPainter& p, const QRectF& contentRect, const QSizeF& size, const DashboardDisplayCanvas::PicturedWindow& w,
                const QPalette& palette)
{
    const double width = size.width();
    const double height = size.height();
    if (width < 22 || height < 22)
        return;
    const double x = contentRect.left();
    double y = contentRect.top();
    const double available = contentRect.width();

    const QRectF iconRect(x, y, 14, 14);
    {
        p.save();
        QPainterPath clip;
        clip.addRoundedRect(iconRect, 3, 3);
        p.setClipPath(clip, Qt::IntersectClip);
        w.identity.icon.paint(&p, iconRect.toAlignedRect());
        p.restore();
    }
    static const QFont nameFont = Style::font(Style::TextStyle::caption2, QFont::DemiBold);
    static const QFont titleFont = Style::font(Style::TextStyle::caption2);
    if (width >= 74 && height >= 34) {
        p.setFont(nameFont);
        p.setPen(Style::primary(palette));
        const QFontMetricsF metrics(nameFont);
        const double nameWidth = std::max(0.0, available - 14 - 4);
        const QString text = metrics.elidedText(w.identity.name, Qt::ElideRight, nameWidth);
        p.drawText(QRectF(x + 18, y, nameWidth, 14), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    y += 14 + 3;
    if (width >= 130 && height >= 58 && w.normalizedTitle) {
        p.setFont(titleFont);
        p.setPen(Style::secondary(palette));
        const QFontMetricsF metrics(titleFont);
        const QString text = metrics.elidedText(*w.normalizedTitle, Qt::ElideRight, available);
        p.drawText(QRectF(x, y, available, metrics.height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
}

void paintWindow(QPainter& p, const CGRect& frame, const DashboardDisplayCanvas::PicturedWindow& w,
                 const QPalette& palette)
{
    // Ratios from a damaged file may be infinite or not numbers: such a window has no place.
    if (!frame.isFinite())
        return;
    // Tiny windows are drawn at least 10 points on each side, centred where they were.
    const double width = std::max(frame.width(), 10.0);
    const double height = std::max(frame.height(), 10.0);
    const QRectF drawn(frame.midX() - width / 2, frame.midY() - height / 2, width, height);

    p.save();
    p.setOpacity(w.isDimmed ? 0.38 : 1.0);
    p.setClipRect(drawn, Qt::IntersectClip);
    const double lineWidth = w.isFullscreen ? 2 : 1;
    p.setPen(QPen(withAlpha(w.identity.accentColor, 0.82), lineWidth));
    p.setBrush(withAlpha(w.identity.accentColor, w.isFullscreen ? 0.48 : 0.36));
    const double half = lineWidth / 2;
    p.drawRoundedRect(drawn.adjusted(half, half, -half, -half), 6, 6);
    paintLabel(p, drawn.adjusted(5, 5, -5, -5), QSizeF(frame.width(), frame.height()), w, palette);
    p.restore();
}

} // namespace

DashboardDisplayCanvas::DashboardDisplayCanvas(const DisplayRecord& display, const std::vector<WindowRecord>& windows,
                                               DashboardAppIdentityResolver& appIdentityResolver, QWidget* parent)
    : QWidget(parent), m_resolver(appIdentityResolver)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(canvasHeight);
    setWindows(display, windows);
}

void DashboardDisplayCanvas::setWindows(const DisplayRecord& display, const std::vector<WindowRecord>& windows)
{
    m_displayFrame = display.frameRect();
    m_pictured = picturedWindows(display, windows, m_resolver);
    update();
}

std::vector<DashboardDisplayCanvas::PicturedWindow> DashboardDisplayCanvas::picturedWindows(
    const DisplayRecord& display, const std::vector<WindowRecord>& windows,
    DashboardAppIdentityResolver& appIdentityResolver)
{
    const CGRect displayFrame = display.frameRect();
    // Only the front-most window of each group is pictured: the others are never copied.
    const std::vector<std::size_t> fronts = DashboardSnapshotPresentation::previewGroupFronts(
        windows, DashboardSnapshotPresentation::restoreOrder(windows), displayFrame,
        DashboardSnapshotPresentation::windowOverlapThreshold);
    std::vector<PicturedWindow> pictured;
    pictured.reserve(fronts.size());
    for (const std::size_t i : fronts) {
        const WindowRecord& front = windows[i];
        pictured.push_back({front.id, appIdentityResolver.identity(front.bundleIdentifier),
                            DashboardSnapshotPresentation::previewFrame(front, displayFrame),
                            nonEmptyValue(front.windowTitle), front.isFullscreen,
                            front.isMinimized || !front.isVisible});
    }
    // Groups come front-most first; painting them in that order would put the back windows
    // over the front ones, the opposite of what a restore arranges. Paint back to front.
    std::reverse(pictured.begin(), pictured.end());
    return pictured;
}

void DashboardDisplayCanvas::paint(QPainter& p, const QSizeF& size, const CGRect& displayFrame,
                                   const std::vector<PicturedWindow>& windows, const QPalette& palette)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF canvas(QPointF(0, 0), size);
    // No clip to the canvas's own rounded shape: its outline lies inside that shape and the
    // display inside its insets. A clip path makes every later fill, outline and clip of the
    // picture go through a coverage mask, which costs more than all the rest together.
    p.setPen(QPen(withAlpha(Style::primary(palette), 0.08), 1));
    p.setBrush(withAlpha(Style::textBackground(palette), 0.45));
    p.drawRoundedRect(canvas.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

    const DashboardDisplayPreviewLayout layout {displayFrame, CGSize {size.width(), size.height()}};
    const CGRect surface = layout.scaledDisplayFrame();
    // A canvas narrower or lower than its insets has nothing to draw into.
    if (layout.scale() > 0 && surface.width() > 0 && surface.height() > 0) {
        p.translate(surface.minX(), surface.minY());
        const QRectF surfaceRect(0, 0, surface.width(), surface.height());
        QPainterPath surfaceClip;
        surfaceClip.addRoundedRect(surfaceRect, 7, 7);
        p.setPen(QPen(withAlpha(Style::primary(palette), 0.14), 1));
        p.setBrush(Style::windowBackground(palette));
        p.drawRoundedRect(surfaceRect.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
        p.save();
        // Parts of windows beyond their display are cut off at its edge.
        p.setClipPath(surfaceClip, Qt::IntersectClip);
        for (const PicturedWindow& window : windows)
            paintWindow(p, layout.surfaceLocalFrame(window.previewFrame), window, palette);
        p.restore();
    }
    p.restore();
}

QSize DashboardDisplayCanvas::sizeHint() const
{
    return QSize(256, canvasHeight);
}

QSize DashboardDisplayCanvas::minimumSizeHint() const
{
    return QSize(0, canvasHeight);
}

void DashboardDisplayCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QSizeF(size()), m_displayFrame, m_pictured, palette());
}

} // namespace zen
