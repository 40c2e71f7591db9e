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
#include "analysis/qq_stats.h"

namespace vennrick {

constexpr int kQqCanvas = 533;         // canvas width and height, pixels
constexpr double kQqLeft = 70.0;       // pixel x of expected 0: the y axis
constexpr double kQqBaseline = 473.0;  // pixel y of observed 0: the x axis
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

// The plotting position offset a: 3/8 for up to 10 values, 1/2 for more.
inline double plottingOffset(int64_t n) { return n <= 10 ? 0.375 : 0.5; }

// The expected -log10(p) of the usable value of ascending rank r (0-based) among n: its p-rank is i = n - r and
// its plotting position (i - a) / (n + 1 - 2a).
inline double expectedValue(int64_t r, int64_t n, double a) {
    return -std::log10((static_cast<double>(n - r) - a) / (static_cast<double>(n) + 1.0 - 2.0 * a));
}

// Pixel x of an expected value and pixel y of an observed one, truncated toward zero, for the axes' origin at
// (left, baseline).
inline int qqPixelX(double expected, double scale, double left = kQqLeft) {
    return truncatePixel(left + expected * scale);
}
inline int qqPixelY(double observed, double scale, double baseline = kQqBaseline) {
    return truncatePixel(baseline - observed * scale);
}

struct QqAxes {
    int step = 1;       // tick step in -log10(p) units, from the project's tick rounding
    double top = 1;     // the axes' maximum: the largest observed or expected value rounded up to a step, > 0
    double scale = 0;   // pixels per unit, the frame's side / top
    double left = kQqLeft, baseline = kQqBaseline;  // pixel position of the origin (expected 0, observed 0)
};

// The larger of the largest usable value and the largest expected value of `usable` values.
double qqLargest(double maxValue, int64_t usable);

// Axes for the largest usable value and the count of usable values, in the frame.
QqAxes qqAxes(double maxValue, int64_t usable, const QqFrame& frame = QqFrame{});

// The pixel of every usable value plotted at (its expected value, its value), each pixel once, in rows from
// the bottom up: the same set of pixels as sorting the values and placing every one of them. Takes one pass
// over the values, in which every value is also offered to gathering when one is given.
std::vector<PixelDot> qqDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                             MedianGathering* gathering = nullptr);

// The 95% band of the expected order statistics of n values on the axes, clipped to the plot square: for p-rank
// i of n, the 0.025 and 0.975 quantiles of Beta(i, n - i + 1), as -log10, at the rank's expected value. No
// vertices when an end is not finite.
FigurePolygon qqBand(int64_t n, const QqAxes& axes, double side, Colour colour);

// The whole figure, 533 x 533 by default, for `usable` values on these axes (made in the same frame) with their
// dots (from qqDots). title is the run's title; font1 and font2 are the title and axis font sizes; dpi the
// figure's resolution.
Figure layoutQq(int64_t usable, const QqAxes& axes, std::vector<PixelDot> dots, std::optional<double> lambda,
                const std::string& title, int font1, int font2, const QqFrame& frame = QqFrame{}, int dpi = 96);

}  // namespace vennrick
