// The regional plots of a run: their regions planned from the settings and the lead loci once the table is read,
// and then for each its r2, its genes, its figure and its data table, written whole. A problem with one region's
// r2 or genes skips that part of its figure with a warning; only a file that cannot be written is fatal.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "figure/figure.h"
#include "reading/table_reader.h"
#include "region/regions.h"

namespace vennrick {

// The regions of the run (none without -region or -regions leads). Needs the read's plot data and hit rows.
std::vector<Region> planRunRegions(const TableRead& read);

// Writes a figure as the image file at path (the run's image type); false when it could not be written.
using FigureSaver = std::function<bool(const Figure& figure, const std::string& path)>;

// Draws every region from the rows gathered by the read: Outname.region.CHR_START_END.<ext>, written by save, and
// .tsv. Warnings and a summary go to err unless -quiet yes.
std::optional<Fatal> drawRegions(const std::vector<Region>& regions, const RegionRows& rows,
                                 const PlotSettings& settings, const FigureSaver& save, std::ostream& err);

}  // namespace vennrick
