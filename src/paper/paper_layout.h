// The paper style's Manhattan figure as data on the figure model: chromosomes in natural order, each laid out by
// position (by row order without a position column) with a small gap between them, a label centred under each
// chromosome that has room for one, labels never overlapping; the -log10(p) axis from 0 in round steps; axis
// titles; the dashed significance line and, when asked for, the suggestive line; the points as antialiased dots,
// alternating two colours per chromosome, hits larger in a third.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/chromosome_order.h"
#include "base/fatal.h"
#include "figure/figure.h"
#include "figure/label_placer.h"
#include "figure/pixels.h"
#include "reading/plot_data.h"

#include "paper/paper_style.h"
#include "settings/settings.h"

namespace vennrick {

// The gap between two chromosomes, as a share of the plot's width, and the most that all gaps together take.
constexpr double kPaperGapShare = 0.005;
constexpr double kPaperGapsMostShare = 0.2;

// A chromosome label and the row of labels it stands in (0 right under the axis, 1 under that).
struct PaperLabel {
    size_t chromosome;  // index in the order
    int row;
    FigureRect box;  // pixels, the text centred in it
};

// Where the kept rows lie along the x axis: pixel x = xAtLow[c] + (u - low[c]) * perUnit for a row of chromosome c
// at u, its position or, by row order, its rank within the chromosome.
struct PaperRows {
    std::vector<double> xAtLow;      // per chromosome: pixel x of its low end
    std::vector<int64_t> low;        // per chromosome: its low end (by row order: rank 0)
    double perUnit = 0;              // pixels per position unit (per row by row order)
    bool byPosition = false;         // u from Pos_list; false: ranks by row order
    std::vector<int64_t> runFirst;   // the first kept row of each run of ID_list, and the row count at the end
    std::vector<int64_t> rankOfRun;  // by row order: each run's first rank within its chromosome
};

struct PaperPlot {
    Figure figure;
    PaperRows rows;
    ChromosomeOrder order;
    std::vector<double> chromosomeLeft, chromosomeRight;  // pixel x where each chromosome's rows start and end
    std::vector<PaperLabel> labels;                       // in the order of the chromosomes
    PaperAxis axis;
    double axisX = 0;  // pixel x of the y axis
    double top = 0;    // pixel y of the axis's top value
    double zero = 0;   // pixel y of 0
    double right = 0;  // pixel x where the plot area ends
    bool capped = false;  // -ymax: the axis ends at the cap, and points above it are triangles at the top
    PixelRect labelArea;  // where peak labels may lie: inside the axes, below the title
    int hitReach = 1;     // pixels a hit's dot reaches from its centre
};

// Pixel y of a -log10(p) value on the plot.
inline double paperY(const PaperPlot& plot, double value) {
    return plot.zero - value / plot.axis.top * (plot.zero - plot.top);
}

// The pixel of the dot of kept row i, as the figure's point layers hold it; nullopt when the row has no dot.
std::optional<Pixel> paperPointOfRow(const PaperPlot& plot, const PlotData& data, int64_t i);

// The paper figure of the kept rows at the settings' size, resolution, fonts, colours, threshold and suggestive
// line. Fewer than two kept rows is fatal, as for the classic figure. With many rows, up to `threads` threads
// place the points; the figure is the same for every thread count.
Outcome<PaperPlot> layoutPaper(const PlotData& data, const PlotSettings& settings, unsigned threads = 2);

}  // namespace vennrick
