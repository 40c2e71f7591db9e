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

#include "figure.h"
#include "plot_layout.h"
#include "qq_stats.h"

namespace vennrick {

constexpr int kQqCanvas = 533;         // canvas width and height, pixels
constexpr double kQqLeft = 70.0;       // pixel x of expected 0: the y axis
constexpr double kQqBaseline = 473.0;  // pixel y of observed 0: the x axis
constexpr double kQqSide = 413.0;      // pixels from 0 to the axes' maximum, on both axes
constexpr double kQqLabelChar = 7.0;   // pixels per character of a tick label, generous for the default font
constexpr double kQqLabelSpace = 8.0;  // least space between two tick labels, pixels

// The plotting position offset a: 3/8 for up to 10 values, 1/2 for more.
inline double plottingOffset(int64_t n) { return n <= 10 ? 0.375 : 0.5; }

// The expected -log10(p) of the usable value of ascending rank r (0-based) among n: its p-rank is i = n - r and
// its plotting position (i - a) / (n + 1 - 2a).
inline double expectedValue(int64_t r, int64_t n, double a) {
    return -std::log10((static_cast<double>(n - r) - a) / (static_cast<double>(n) + 1.0 - 2.0 * a));
}

// Pixel x of an expected value and pixel y of an observed one, truncated toward zero.
inline int qqPixelX(double expected, double scale) { return truncatePixel(kQqLeft + expected * scale); }
inline int qqPixelY(double observed, double scale) { return truncatePixel(kQqBaseline - observed * scale); }

struct QqAxes {
    int step = 1;       // tick step in -log10(p) units, from the project's tick rounding
    double top = 1;     // the axes' maximum: the largest observed or expected value rounded up to a step, > 0
    double scale = 0;   // pixels per unit, kQqSide / top
};

// Axes for the largest usable value and the count of usable values.
QqAxes qqAxes(double maxValue, int64_t usable);

// The pixel of every usable value plotted at (its expected value, its value), each pixel once, in rows from
// the bottom up: the same set of pixels as sorting the values and placing every one of them. Takes one pass
// over the values, in which every value is also offered to gathering when one is given.
std::vector<PixelDot> qqDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                             MedianGathering* gathering = nullptr);

// The whole figure, 533 x 533, for `usable` values on these axes with their dots (from qqDots). title is the
// run's title; font1 and font2 are the title and axis font sizes.
Figure layoutQq(int64_t usable, const QqAxes& axes, std::vector<PixelDot> dots, std::optional<double> lambda,
                const std::string& title, int font1, int font2);

}  // namespace vennrick
