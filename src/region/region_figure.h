// The regional plot as a figure of the figure model, in the paper style's look: -log10(p) against position in
// Mb, points coloured by their r2 with the lead in five bins, the lead as a purple diamond with its name, a
// legend, the significance line(s), and below them the genes of the window stacked on rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "figure/figure.h"
#include "region/genes.h"
#include "settings/settings.h"

namespace vennrick {

struct RegionPoint {
    int32_t pos = 0;
    double value = 0;  // -log10(p)
    double r2 = 0;     // NaN: not known
};

struct RegionPlot {
    std::string chrom;
    int32_t start = 0, end = 0;         // the window, inclusive
    std::vector<RegionPoint> points;    // by position
    size_t lead = 0;                    // index of the lead in points
    std::string leadName;               // its ID, or CHR:POS
    bool ld = false;                    // r2 was asked for (-ld or -ldref); false: one neutral colour
    std::string ldNote;                 // why r2 is missing for the whole region, shown in the legend; empty: none
    bool genePanel = false;             // -genes was given
    std::vector<Gene> genes;            // overlapping the window
    std::string genesNote;              // why the genes are missing (a damaged file); empty: none
};

// The r2 bin: 0 for [0, 0.2), 1 for [0.2, 0.4), ... 4 for [0.8, 1]; -1 for an unknown r2.
int ldBin(double r2);

// The text of a bin: "0.8–1".
std::string ldBinText(int bin);

const Colour kLdColours[5] = {Colour{38, 57, 159}, Colour{135, 206, 250}, Colour{0, 166, 81}, Colour{255, 165, 0},
                              Colour{228, 26, 28}};
const Colour kLdUnknown{190, 190, 190};
const Colour kLeadColour{148, 0, 211};

struct RegionFigure {
    Figure figure;
    size_t genesLeftOut = 0;  // genes that found no row within the panel
};

// The figure at the settings' -size (the regional default 800 x 600 when none is given), -dpi, -font1, -font2,
// -threshold and -suggestive.
RegionFigure layoutRegion(const RegionPlot& plot, const PlotSettings& settings);

}  // namespace vennrick
