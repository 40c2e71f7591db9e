// The documented picture's own painter, on the 800 x 533 canvas at 96 dpi. It stays beside the one painter of
// the figure model because the documented picture draws every point in row order, each overwriting the pixels
// of the ones before in its run's colour (a hit red, a later grey point grey over it), with the toolkit's
// unantialiased pens at whole pixels: the figure model paints a point layer per colour, the hits over the rest,
// which is the better figure but not the documented bytes. Every other classic image goes through the figure
// model (classic_figure.h).
#pragma once

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <string>

#include "classic/classic_labels.h"
#include "classic/plot_layout.h"

namespace vennrick {

// Writes point footprints straight into the pixel memory of a Format_RGB32 image, clipped to the image:
// the square dot a single point drawn with a square-capped pen of the style's width makes (2 x 2 at
// x-1..x, y-1..y; 3 x 3 at x-1..x+1, y-1..y+1), at a small fraction of the cost of a draw call per point.
struct PointWriter {
    explicit PointWriter(QImage& image);
    PointWriter(uint32_t* pixels, int64_t pixelsPerRow, int w, int h);
    void put(int x, int y, PointStyle style);

    uint32_t* bits;    // first pixel of the top row
    int64_t stride;    // pixels from one row to the next
    int width, height; // image size in pixels
    uint32_t colour[3];  // pixel value per PointStyle
};

// The whole picture: axis lines, ticks and labels, title and chromosome labels painted, then the points, then
// the names of the lead loci with their leader lines.
// With many points, up to `threads` consecutive parts of the rows are drawn at the same time (each later
// part on a layer laid over the image afterwards); the image is the same for every thread count.
QImage renderPlot(const PlotLayout& layout, const PlotData& data, unsigned threads = 2);

// The sizes of the axis font of the given point size (<= 0: the default size), in which lead loci are named.
LabelFont labelFont(int pointSize);

// Loads what the first picture of the calling thread would otherwise wait for, about 10 ms: the font
// database and the fonts of the plot with their digits. Nothing painted is kept.
void preparePainting(int font1, int font2);

inline void PointWriter::put(int x, int y, PointStyle style) {
    const uint32_t c = colour[static_cast<int>(style)];
    const int reach = style == PointStyle::highlight ? 1 : 0;  // block x-1..x+reach, y-1..y+reach
    if (x >= 1 && y >= 1 && x + reach < width && y + reach < height) {
        uint32_t* p = bits + (y - 1) * stride + (x - 1);
        if (reach == 0) {
            p[0] = c, p[1] = c;
            p[stride] = c, p[stride + 1] = c;
        } else {
            for (int r = 0; r < 3; ++r, p += stride) p[0] = c, p[1] = c, p[2] = c;
        }
        return;
    }
    for (int py = std::max(y - 1, 0); py <= std::min(y + reach, height - 1); ++py)
        for (int px = std::max(x - 1, 0); px <= std::min(x + reach, width - 1); ++px) bits[py * stride + px] = c;
}

}  // namespace vennrick
