// The QQ plot as a Figure: observed -log10(p), sorted, against the expected -log10 of the uniform plotting
// positions; the diagonal, the shaded 95% band of the expected order statistics, both axes from 0 to one round
// maximum with their ticks, the title, the axis titles and lambda. The points are found per pixel row from
// stretches of ranks, never by sorting, and are exactly the pixels a full sort would give.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "figure/figure.h"
#include "classic/plot_layout.h"
#include "figure/qq_geometry.h"
#include "analysis/qq_stats.h"

namespace vennrick {

constexpr int kQqCanvas = 533;         // canvas width and height, pixels
constexpr double kQqSide = 413.0;      // pixels from 0 to the axes' maximum, on both axes
constexpr double kQqLabelChar = 7.0;   // pixels per character of a tick label, generous for the default font
constexpr double kQqLabelSpace = 8.0;  // least space between two tick labels, pixels

// Where the plot lies on its square canvas: the documented 533 pixels at 96 dpi by default. On a larger or
// smaller canvas the plot area fills it; at another resolution every margin, mark, text box, pen and point grows
// with the dpi, as the texts do.
struct QqFrame {
    int canvas = kQqCanvas;         // width and height, pixels
    double unit = 1;                // pixels per pixel of the 533-pixel figure: dpi / 96
    double left = kQqLeft;          // pixel x of expected 0: the y axis
    double baseline = kQqBaseline;  // pixel y of observed 0: the x axis
    double side = kQqSide;          // pixels from 0 to the axes' maximum, on both axes
};

// The frame of a canvas of `canvas` pixels a side at dpi: margins of 70 (left), 50 (right) and 60 (top and
// bottom) pixels at 96 dpi, and at least one pixel of plot.
QqFrame qqFrame(int canvas, int dpi);






// Axes for the largest usable value and the count of usable values, in the frame.
// With a cap (-ymax, above 0) the y axis ends at the cap.
QqAxes qqAxes(double maxValue, int64_t usable, const QqFrame& frame = QqFrame{}, double cap = 0);



// The whole figure, 533 x 533 by default, for `usable` values on these axes (made in the same frame) with their
// dots (from qqDots) and the pixel columns of the values above a cap, drawn as triangles at the top. title is the run's title; font1 and font2 are the title and axis font sizes; dpi the
// figure's resolution.
Figure layoutQq(int64_t usable, const QqAxes& axes, std::vector<PixelDot> dots, std::optional<double> lambda,
                const std::string& title, int font1, int font2, const QqFrame& frame = QqFrame{}, int dpi = 96,
                const std::vector<int>& capped = {});

}  // namespace vennrick
