// The paper style's Manhattan figure as data on the figure model: chromosomes in natural order, each laid out by
// position (by row order without a position column) with a small gap between them, a label centred under each
// chromosome that has room for one, labels never overlapping; the -log10(p) axis from 0 in round steps; axis
// titles; the dashed significance line and, when asked for, the suggestive line; the points as antialiased dots,
// alternating two colours per chromosome, hits larger in a third.
//
// Every length is physical: given in points (1/72 inch) and drawn at the figure's resolution, so that the same
// figure at three times the pixels and three times the dpi is the same figure, three times as sharp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chromosome_order.h"
#include "fatal.h"
#include "figure.h"
#include "plot_data.h"
#include "settings.h"

namespace vennrick {

constexpr char kPaperFont[] = "Calibri";  // every text; Carlito, of the same widths, where Calibri is missing

// The paper style's lengths, points.
constexpr double kPaperMargin = 8;        // around the figure
constexpr double kPaperPad = 3;           // between a text and what it names
constexpr double kPaperTick = 3.5;        // tick mark length
constexpr double kPaperAxisWidth = 0.8;   // axis and tick lines
constexpr double kPaperGuideWidth = 0.8;  // significance and suggestive lines
constexpr double kPaperDot = 2.4;         // point diameter
constexpr double kPaperHitDot = 3.6;      // hit point diameter
// The gap between two chromosomes, as a share of the plot's width, and the most that all gaps together take.
constexpr double kPaperGapShare = 0.005;
constexpr double kPaperGapsMostShare = 0.2;

const Colour kPaperInk{0, 0, 0};                  // axes, ticks, texts
const Colour kPaperSignificance{80, 80, 80};      // the significance line, dashed
const Colour kPaperSuggestive{150, 150, 150};     // the suggestive line, dashed

// The -log10(p) axis: 0 to top in steps of 1, 2 or 5 times a power of ten, 4 to 10 of them; whole steps when the
// largest value is above 3.
struct PaperAxis {
    double step = 1;        // -log10(p) units between ticks
    int64_t intervals = 1;  // steps from 0 to the top, 1 to 10
    double top = 1;         // the axis's top value, intervals * step
    int decimals = 0;       // decimals of the tick labels: none for whole steps
};

// The axis for a largest value (not finite or not above 0: the axis of 1).
PaperAxis paperAxis(double largest);

// A tick label: the value with the axis's decimals ("7", "0.5"); values from 1e15 on in scientific form.
std::string tickText(double value, int decimals);

// A chromosome label and the row of labels it stands in (0 right under the axis, 1 under that).
struct PaperLabel {
    size_t chromosome;  // index in the order
    int row;
    FigureRect box;  // pixels, the text centred in it
};

struct PaperPlot {
    Figure figure;
    ChromosomeOrder order;
    std::vector<double> chromosomeLeft, chromosomeRight;  // pixel x where each chromosome's rows start and end
    std::vector<PaperLabel> labels;                       // in the order of the chromosomes
    PaperAxis axis;
    double axisX = 0;  // pixel x of the y axis
    double top = 0;    // pixel y of the axis's top value
    double zero = 0;   // pixel y of 0
    double right = 0;  // pixel x where the plot area ends
};

// Pixel y of a -log10(p) value on the plot.
inline double paperY(const PaperPlot& plot, double value) {
    return plot.zero - value / plot.axis.top * (plot.zero - plot.top);
}

// The paper figure of the kept rows at the settings' size, resolution, fonts, colours, threshold and suggestive
// line. Fewer than two kept rows is fatal, as for the classic figure. With many rows, up to `threads` threads
// place the points; the figure is the same for every thread count.
Outcome<PaperPlot> layoutPaper(const PlotData& data, const PlotSettings& settings, unsigned threads = 2);

}  // namespace vennrick
