// The classic figure on the figure model: the same axis lines, ticks, texts and points as the documented picture,
// in a frame of any size and resolution, for every image but the documented 800 x 533 raster at 96 dpi (which
// the classic renderer paints, pixel for pixel as documented). Here the points are three layers, blue, grey and
// the hits, and the hits lie over every other point.
#pragma once

#include "figure/figure.h"
#include "classic/plot_layout.h"

namespace vennrick {

// The figure of a layout made in its frame (layoutPlot with classicFrame) at dpi pixels per inch. With many
// rows, up to `threads` threads gather the points; the figure is the same for every thread count.
Figure classicFigure(const PlotLayout& layout, const PlotData& data, int dpi, unsigned threads = 2);

}  // namespace vennrick
