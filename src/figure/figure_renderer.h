// Painting a Figure: the one painter of every figure built as data, on an image or on any other paint device.
#pragma once

#include <QImage>
#include <QPainter>

#include "figure/figure.h"

namespace vennrick {

// The figure painted on a new image of its size (Format_RGB32) at its resolution. Polygons, lines and texts go
// through a painter, antialiased when the figure asks for it; the point layers are written straight into the
// pixels, with up to `threads` threads for many discs (the image is the same for every thread count).
QImage renderFigure(const Figure& figure, unsigned threads = 1);

// The figure painted by p, whose device is figure.width x figure.height units at figure.dpi units per inch (a
// PDF or SVG writer): background, polygons, lines and texts as the device's own shapes and text, the point
// layers as one image of their extent at one unit per pixel, transparent between the dots.
void paintFigure(QPainter& p, const Figure& figure, unsigned threads = 1);

}  // namespace vennrick
