// The regional plots of a run: their regions planned from the settings and the lead loci once the table is read,
// their inputs read (r2 and genes), and then for each its figure and its data table, written whole. A problem with
// one region's r2 or genes skips that part of its figure with a warning; only a file that cannot be written is fatal.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "figure/figure.h"
#include "reading/table_reader.h"
#include "region/genes.h"
#include "region/ld_panel.h"
#include "region/ld_table.h"
#include "region/regions.h"

namespace vennrick {

// The regions of the run (none without -region or -regions leads). Needs the read's plot data and hit rows.
std::vector<Region> planRunRegions(const TableRead& read);

// What the regions take from files other than the table, read before any of them is drawn: each region's rows and
// lead, the genes of every window, the r2 pairs of every lead (-ld) and each region's r2 from the panel (-ldref).
// Nothing is written or printed, so the run can have it read while it writes its other images.
struct RegionInputs {
    std::vector<std::vector<size_t>> inside;    // per region: its rows, indexes of the gathered records
    std::vector<std::optional<size_t>> leads;   // per region: its lead among inside; none without rows
    GeneFile genes;
    std::vector<std::string> genesNotes;        // lines for standard error (without "vennrick: ")
    std::string genesNote;                      // on the gene panels; empty when the genes were read
    std::optional<LdTable> ldTable;
    std::vector<std::string> ldTableNotes;
    std::string ldTableNote;                    // on the figures; empty when the pairs were read
    std::vector<PanelR2> panel;                 // per region with -ldref (and a lead); empty otherwise
};

// Reads the inputs of the regions (needs the gathered rows; the settings' -genes, -ld and -ldref).
RegionInputs readRegionInputs(const std::vector<Region>& regions, const RegionRows& rows, const PlotSettings& settings);

// Writes a figure as the image file at path (the run's image type); false when it could not be written.
using FigureSaver = std::function<bool(const Figure& figure, const std::string& path)>;

// Draws every region from the rows gathered by the read and its inputs: Outname.region.CHR_START_END.<ext>, written
// by save, and .tsv. Warnings and a summary go to err unless -quiet yes.
std::optional<Fatal> drawRegions(const std::vector<Region>& regions, const RegionRows& rows, const RegionInputs& inputs,
                                 const PlotSettings& settings, const FigureSaver& save, std::ostream& err);

}  // namespace vennrick
