// Plot geometry as plain data: scales, axis lines, ticks, texts and points, in canvas pixels. No painting.
//
// Pixel coordinates are computed in double precision and truncated toward zero. A coordinate that is not a
// finite number leaves its element out of the picture; a finite one far outside the canvas is clamped to
// +-kFarPixel before the truncation, which keeps it off the canvas and never overflows an int.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "base/fatal.h"
#include "figure/figure.h"
#include "figure/pixels.h"
#include "settings/settings.h"
#include "reading/plot_data.h"

namespace vennrick {

// Canvas and plot area.
constexpr int kCanvasWidth = 800;         // pixels
constexpr int kCanvasHeight = 533;        // pixels
constexpr double kLeftEdge = 60.0;        // pixel x of plot x-coordinate 0; the y axis stands here
constexpr double kPlotWidth = 680.0;      // pixels from the y axis to the right margin
constexpr double kPlotHeight = 413.0;     // pixels from the baseline up to the top margin
constexpr double kBaseline = 473.0;       // pixel y of the smallest value, minY
constexpr int64_t kMaxTickPositions = 10000;  // more tick positions than this (only for a y range beyond
                                              // about 2e10, marks far closer than a pixel) draw no scale

constexpr Colour kBlue{50, 50, 255};     // y axis, ticks, labels, points of the 1st, 3rd, ... run
constexpr Colour kGrey{125, 125, 125};   // points of the 2nd, 4th, ... run
constexpr Colour kRed{255, 0, 0};        // points at or above the threshold




// One examined tick position of the y axis, in drawing order: its mark, then its label.
struct Tick {
    double value;                  // axis value k * ytick, an integer
    std::optional<Line> mark;      // absent below the skipped index or when its y is not finite
    std::optional<TextBox> label;  // absent when not due, skipped, minY is 0 or its y is not finite
};

// A point is a square dot: 2 x 2 pixels x-1..x, y-1..y for the run colours, 3 x 3 pixels x-1..x+1,
// y-1..y+1 for a highlight.
enum class PointStyle : uint8_t { blue, grey, highlight };

constexpr Colour pointColour(PointStyle s) {
    return s == PointStyle::highlight ? kRed : s == PointStyle::grey ? kGrey : kBlue;
}
constexpr int pointWidth(PointStyle s) { return s == PointStyle::highlight ? 3 : 2; }

// Chromosome label boxes under the horizontal axis.
constexpr int kRunLabelTop = 496;
constexpr int kRunLabelWidth = 120;
constexpr int kRunLabelHeight = 35;

// Where the classic figure lies on its canvas: the documented 800 x 533 pixels at 96 dpi by default. At another
// size the plot area stretches to fill the canvas; at another resolution every margin, mark, text box, pen and
// point grows with the dpi, as the texts do.
struct ClassicFrame {
    int width = kCanvasWidth, height = kCanvasHeight;  // canvas, pixels
    double unit = 1;                                   // pixels per pixel of the documented figure: dpi / 96
    double left = kLeftEdge;                           // pixel x of plot x-coordinate 0, the y axis
    double baseline = kBaseline;                       // pixel y of minY
    double plotWidth = kPlotWidth, plotHeight = kPlotHeight;  // pixels from the y axis and from the baseline
};

// The frame of a canvas of width x height pixels at dpi pixels per inch: margins of 60 pixels at 96 dpi all round
// (at least one pixel of plot area is left).
ClassicFrame classicFrame(int width, int height, int dpi);

struct PlotLayout {
    int64_t N = 0;            // kept rows, >= 2
    double pixPerX = 0;       // pixels per plot x unit, 680 / N
    double pixPerY = 0;       // pixels per value unit, 413 / yrange; may be infinite, 0 or NaN
    double yrange = 0;        // maxY - minY
    double minY = 0;          // value drawn on the baseline
    bool byPosition = false;  // points placed by the rewritten Pos_list; false: by row index
    double threshold = 0;     // the single-precision threshold widened; values >= it are highlighted
    double cap = std::numeric_limits<double>::infinity();  // -ymax beyond the documented picture: the axis ends
                                                            // there and larger values are drawn on it
    int32_t xnum = 1;         // a chromosome label on every xnum-th run; <= 0 for none
    int ytick = 1;            // tick step in value units, >= 1
    std::vector<Line> axisLines;  // y axis, zero line, baseline, in this order; non-finite ones left out
    std::vector<Tick> ticks;      // tick positions from the first unskipped one up
    TextBox title;                // title with the position-window suffix
    int font1 = 12;               // title font point size; <= 0 for the default size
    int font2 = 10;               // axis font point size (chromosome labels); <= 0 for the default size
    std::vector<TextBox> peakLabels;  // names of lead loci, painted after the points; none without -labels
    std::vector<Line> leaderLines;    // from a lead point to its label where the label had to move away
    ClassicFrame frame;           // the canvas and where the plot lies on it
};

// The step before the layout, named for what it does to the data: with a position column, rewrites
// data.Pos_list to plot x-coordinates (runs laid end to end, scaled to 0..N) and returns true, unless the last
// cumulative position is 0 or less: then the points are placed by row index, Pos_list is left as read and the
// result is false (also without a position column). With many rows, up to `threads` threads share the rewriting;
// the result is the same for every thread count. Call it once, on kept rows that checkKeptRows accepts.
bool rewritePositionsAsPlotX(PlotData& data, const PlotSettings& settings, unsigned threads = 2);

// The geometry of kept rows whose positions rewritePositionsAsPlotX has rewritten (byPosition: its result),
// laid out in frame, the documented canvas by default. Fewer than two kept rows is fatal ("Illegal range
// selected\n").
Outcome<PlotLayout> layoutPlot(const PlotData& data, const PlotSettings& settings, bool byPosition,
                               const ClassicFrame& frame = ClassicFrame{});

// The three steps in their order: checkKeptRows, rewritePositionsAsPlotX (with up to `threads` threads), and
// layoutPlot. The data's positions are rewritten.
Outcome<PlotLayout> rewritePositionsAndLayOut(PlotData& data, const PlotSettings& settings, unsigned threads = 2,
                                              const ClassicFrame& frame = ClassicFrame{});

// The raw y tick step: the y range / 10 truncated when the range exceeds 10; 1 otherwise, and 1 when the
// quotient is not a finite number that fits an int.
int ytickSeed(double yrange);

// Pixel y of value v, before truncation: baseline (473) - (v - minY) * pixPerY, where a difference of 0 (v equal
// to minY, infinite values included) or a scale of 0 (an infinite y range) places v on the baseline. NaN for
// a value that is NaN or has no finite place.
inline double pixelY(double v, double minY, double pixPerY, double baseline = kBaseline) {
    if (v == minY) return baseline;
    if (std::isnan(v)) return v;
    if (pixPerY == 0.0) return baseline;
    return baseline - (v - minY) * pixPerY;
}



// The pixel of the point of row i, as forEachPoint gives it; nullopt when that point is not drawn. The positions
// are those rewritePositionsAsPlotX has rewritten.
inline std::optional<Pixel> pointOfRow(const PlotLayout& layout, const PlotData& data, int64_t i) {
    const size_t row = static_cast<size_t>(i);
    const double y = pixelY(std::min(data.Value_list[row], layout.cap), layout.minY, layout.pixPerY, layout.frame.baseline);
    if (!std::isfinite(y)) return std::nullopt;
    const double u = layout.byPosition ? static_cast<double>(data.Pos_list[row]) : static_cast<double>(i);
    return Pixel{truncatePixel(u * layout.pixPerX + layout.frame.left), truncatePixel(y)};
}

// Calls visit(id, first row, row count) for every run: maximal stretches of consecutive rows whose IDs are
// equal as text. Adjacent list entries with equal IDs form one run; entries without rows are passed over.
template <class Visit>
void forEachRun(const std::vector<IdRun>& runs, Visit&& visit) {
    int64_t first = 0;
    size_t k = 0;
    while (k < runs.size()) {
        if (runs[k].count <= 0) { ++k; continue; }
        const std::string& id = runs[k].id;
        int64_t count = 0;
        for (; k < runs.size() && (runs[k].count <= 0 || runs[k].id == id); ++k)
            count += std::max<int64_t>(runs[k].count, 0);
        visit(id, first, count);
        first += count;
    }
}

namespace detail {

// Rewrites count positions of one run to plot x-coordinates as layoutPlot does: each plus shift (its
// cumulative position) times mx over bot, the product first, clamped to the int range and truncated toward
// zero. byEight: eight at a time, with AVX-512, which must be there (canRescaleByEight); the same results.
void rescaleRun(int32_t* pos, int64_t count, int64_t shift, double mx, double bot, bool byEight);
bool canRescaleByEight();

// The points of rows [begin, end) of one run. With a finite, non-zero scale and a finite minY, pixelY is
// the bare formula (v equal to minY gives 0 times the scale), so the per-row tests of the general case are
// left out of that loop; the results are the same.
template <bool ByPosition, bool PlainScale, class Visit>
void visitRunRows(const PlotLayout& layout, const PlotData& data, int64_t begin, int64_t end, PointStyle runStyle,
                  Visit& visit) {
    const double* values = data.Value_list.data();
    const int32_t* positions = data.Pos_list.data();
    const double pixPerX = layout.pixPerX, pixPerY = layout.pixPerY, minY = layout.minY;
    const double threshold = layout.threshold, left = layout.frame.left, baseline = layout.frame.baseline;
    const double cap = layout.cap;  // infinity unless capped: min leaves every value, NaN included, as it is
    for (int64_t i = begin; i < end; ++i) {
        const double v = values[i];
        const double shown = std::min(v, cap);
        const double y = PlainScale ? baseline - (shown - minY) * pixPerY : pixelY(shown, minY, pixPerY, baseline);
        if (!std::isfinite(y)) continue;
        const double u = ByPosition ? static_cast<double>(positions[i]) : static_cast<double>(i);
        visit(truncatePixel(u * pixPerX + left), truncatePixel(y),
              v >= threshold ? PointStyle::highlight : runStyle);
    }
}

}  // namespace detail

// Calls visit(x, y, style) for the drawable points of rows [begin, end), in drawing order (row order). A
// point whose y is not finite (a NaN value, or an infinite one on a finite scale) is left out.
template <class Visit>
void forEachPointInRows(const PlotLayout& layout, const PlotData& data, int64_t begin, int64_t end, Visit&& visit) {
    const bool plain = std::isfinite(layout.pixPerY) && layout.pixPerY != 0.0 && std::isfinite(layout.minY);
    auto rows = [&](auto byPosition, auto plainScale) {
        bool grey = false;  // runs alternate blue and grey from the first run on
        forEachRun(data.ID_list, [&](const std::string&, int64_t first, int64_t count) {
            const int64_t from = std::max(first, begin), to = std::min(first + count, end);
            if (from < to)
                detail::visitRunRows<decltype(byPosition)::value, decltype(plainScale)::value>(
                    layout, data, from, to, grey ? PointStyle::grey : PointStyle::blue, visit);
            grey = !grey;
        });
    };
    using yes = std::true_type;
    using no = std::false_type;
    if (layout.byPosition)
        plain ? rows(yes{}, yes{}) : rows(yes{}, no{});
    else
        plain ? rows(no{}, yes{}) : rows(no{}, no{});
}

// Calls visit(x, y, style) for every drawable point, in drawing order.
template <class Visit>
void forEachPoint(const PlotLayout& layout, const PlotData& data, Visit&& visit) {
    forEachPointInRows(layout, data, 0, layout.N, visit);
}

// Calls visit(const TextBox&) for every chromosome label, in run order. A run's label starts at the x of
// its middle row by row index (also when points are placed by position); every xnum-th run is labelled.
template <class Visit>
void forEachRunLabel(const PlotLayout& layout, const PlotData& data, Visit&& visit) {
    int64_t xcounter = 0;
    forEachRun(data.ID_list, [&](const std::string& id, int64_t first, int64_t count) {
        if (++xcounter != layout.xnum) return;
        xcounter = 0;
        const int textposition = truncatePixel(static_cast<double>(first + count / 2) * layout.pixPerX);
        const ClassicFrame& f = layout.frame;
        visit(TextBox{static_cast<int>(f.left) + textposition,
                      truncatePixel(f.baseline + (kRunLabelTop - kBaseline) * f.unit),
                      truncatePixel(kRunLabelWidth * f.unit), truncatePixel(kRunLabelHeight * f.unit),
                      TextAlign::leftMiddle, TextFont::axis, kBlue, id});
    });
}

}  // namespace vennrick
