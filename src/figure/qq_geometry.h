// QQ geometry on a figure, for every style: observed -log10(p), sorted, against the expected -log10 of the uniform
// plotting positions, on axes with an origin and a scale; the points are found per pixel row from stretches of
// ranks, never by sorting, and are exactly the pixels a full sort would give; the shaded 95% band of the expected
// order statistics.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/qq_stats.h"
#include "figure/figure.h"
#include "figure/pixels.h"

namespace vennrick {

// The origin of the documented 533-pixel QQ figure, the default of the axes below.
constexpr double kQqLeft = 70.0;       // pixel x of expected 0: the y axis
constexpr double kQqBaseline = 473.0;  // pixel y of observed 0: the x axis

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

// Each axis is fitted to its own data: x from 0 to the largest expected value rounded up, y from 0 to the largest
// observed value rounded up; the plot frame is the same square of pixels for both.
struct QqAxes {
    int step = 1;        // y tick step in -log10(p) units, from the project's tick rounding
    double top = 1;      // the y axis's maximum: the largest observed value rounded up to a step, > 0
    double scale = 0;    // y pixels per unit, the frame's side / top
    int xStep = 1;       // x tick step
    double xTop = 1;     // the x axis's maximum: the largest expected value rounded up to a step, > 0
    double xScale = 0;   // x pixels per unit, the frame's side / xTop
    double left = kQqLeft, baseline = kQqBaseline;  // pixel position of the origin (expected 0, observed 0)
};

// The largest expected value of `usable` values (0 for none).
double qqLargestExpected(int64_t usable);

// The diagonal y = x from the origin to where it leaves the frame.
FigureLine qqDiagonal(const QqAxes& axes, Colour colour, double width);

// Where the lambda text of width x height pixels goes: the first corner of the plot frame (of `side` pixels,
// `inset` pixels in from its edges) that holds no dot (of `dotReach` pixels about its pixel), no part of the band
// and no part of the diagonal: lower right, upper left, upper right, lower left. nullopt when every corner is
// taken.
std::optional<FigureRect> qqFreeCorner(const QqAxes& axes, double side, double width, double height, double inset,
                                       const std::vector<PixelDot>& dots, double dotReach, const FigurePolygon& band,
                                       const FigureLine& diagonal);

// The pixel of every usable value plotted at (its expected value, its value), each pixel once, in rows from
// the bottom up: the same set of pixels as sorting the values and placing every one of them. Takes one pass
// over the values, in which every value is also offered to gathering when one is given.
// Values above the y axis's top (a cap) are not among the dots: the pixel columns of their ranks, each once, go to
// capped when it is given.
std::vector<PixelDot> qqDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                             MedianGathering* gathering = nullptr, std::vector<int>* capped = nullptr);

// The pixels of the usable values of the given rows (indices into values) as qqDots places them, a value above
// the y axis's top at the top: each at the expected value of the highest rank its value holds. One pass over the
// values, with a search among the rows' values for each.
std::vector<PixelDot> qqHighlightDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                                      const std::vector<int64_t>& rows);

// The 95% band of the expected order statistics of n values on the axes, clipped to the plot square (of `side`): for p-rank
// i of n, the 0.025 and 0.975 quantiles of Beta(i, n - i + 1), as -log10, at the rank's expected value. No
// vertices when an end is not finite.
FigurePolygon qqBand(int64_t n, const QqAxes& axes, double side, Colour colour);

}  // namespace vennrick
