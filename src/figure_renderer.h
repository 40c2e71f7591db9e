// Painting a Figure on an image: the one painter of every figure built as data.
#pragma once

#include <QImage>

#include "figure.h"

namespace vennrick {

// The figure painted on a new image of its size (Format_RGB32). Polygons, lines and texts go through a painter
// without antialiasing; the point layers are written straight into the pixels.
QImage renderFigure(const Figure& figure);

}  // namespace vennrick
