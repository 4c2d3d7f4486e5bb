#pragma once

#include "Shared/Geometry.h"

namespace zen {

// Fits a saved display into the preview canvas: aspect ratio kept, centred inside a 10-point
// inset. Frames use a top-left origin with y growing downwards, like widget coordinates, so
// nothing is flipped.
struct DashboardDisplayPreviewLayout {
    static constexpr double inset = 10;

    CGRect displayFrame;
    CGSize size;

    // The display rectangle the scale is computed from: a 1x1 square stands in for an empty
    // or unusable frame.
    CGRect sourceFrame() const;
    // Never negative: a canvas smaller than its insets scales everything to nothing rather
    // than mirroring the picture.
    double scale() const;
    CGRect scaledDisplayFrame() const;
    // A rectangle of the saved global space in canvas coordinates.
    CGRect scaledFrame(const CGRect& frame) const;
    // The same, relative to the scaled display's top-left corner.
    CGRect surfaceLocalFrame(const CGRect& frame) const;
};

} // namespace zen
