#include "Dashboard/DashboardDisplayPreviewLayout.h"

#include <algorithm>
#include <cmath>

namespace zen {

namespace {

CGRect availableRect(const CGSize& size)
{
    const double inset = DashboardDisplayPreviewLayout::inset;
    return CGRect(inset, inset, size.width - 2 * inset, size.height - 2 * inset);
}

} // namespace

CGRect DashboardDisplayPreviewLayout::sourceFrame() const
{
    // A frame read from a damaged file may hold infinities or NaN; they would spread through
    // every coordinate of the picture.
    if (displayFrame.isEmpty() || !displayFrame.isFinite())
        return CGRect(0, 0, 1, 1);
    return displayFrame.standardized();
}

double DashboardDisplayPreviewLayout::scale() const
{
    const CGRect source = sourceFrame();
    const CGRect available = availableRect(size);
    const double s = std::min(available.size.width / std::max(source.width(), 1.0),
                              available.size.height / std::max(source.height(), 1.0));
    return std::isfinite(s) ? std::max(s, 0.0) : 0.0;
}

CGRect DashboardDisplayPreviewLayout::scaledDisplayFrame() const
{
    const CGRect source = sourceFrame();
    const CGRect available = availableRect(size);
    const double s = scale();
    const double width = source.width() * s;
    const double height = source.height() * s;
    return CGRect(available.origin.x + (available.size.width - width) * 0.5,
                  available.origin.y + (available.size.height - height) * 0.5, width, height);
}

CGRect DashboardDisplayPreviewLayout::scaledFrame(const CGRect& frame) const
{
    const CGRect source = sourceFrame();
    const CGRect d = scaledDisplayFrame();
    const double s = scale();
    return CGRect(d.minX() - s * source.minX() + s * frame.minX(), d.minY() - s * source.minY() + s * frame.minY(),
                  s * frame.width(), s * frame.height());
}

CGRect DashboardDisplayPreviewLayout::surfaceLocalFrame(const CGRect& frame) const
{
    const CGRect scaled = scaledFrame(frame);
    const CGRect d = scaledDisplayFrame();
    return CGRect(scaled.origin.x - d.minX(), scaled.origin.y - d.minY(), scaled.size.width, scaled.size.height);
}

} // namespace zen
