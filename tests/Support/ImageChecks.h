#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

namespace zen::testsupport {

// What tests look for in a picture of the screen or of a widget. Distances are the sum of the
// red, green and blue differences.
int colorDistance(const QColor& a, const QColor& b);
// How many pixels of the area lie within `tolerance` of the colour.
int countNear(const QImage& image, const QRect& area, const QColor& color, int tolerance = 60);
bool containsColor(const QImage& image, const QRect& area, const QColor& color, int tolerance = 60);
// How many distinct colours a grid of every `step`-th pixel holds: a blank image has few.
int distinctColors(const QImage& image, int step = 4);
// The text in a picture as OCR reads it, with runs of white space as one space; empty only
// when the OCR program is not installed. `folder` takes the enlarged copy it reads.
QString recognisedText(const QImage& image, const QString& folder);
// The contrast a text drawn in the area reaches, from the pixels: its background is the area's
// most frequent colour, its ink the pixel farthest from that; 1 when nothing is drawn.
double drawnTextContrast(const QImage& image, const QRect& area);

} // namespace zen::testsupport
