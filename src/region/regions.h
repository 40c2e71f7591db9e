// Which regions get a regional plot: the -region windows as given, and with -regions leads the strongest lead
// loci extended by -flank on each side; the table's rows inside each, and the variant r2 is taken with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/lead_loci.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"
#include "reading/region_rows.h"
#include "settings/settings.h"

namespace vennrick {

struct Region {
    std::string chrom;       // as the table (or -region) names it
    int32_t start = 0;       // inclusive
    int32_t end = 0;         // inclusive
    std::optional<int64_t> leadRow;  // from a lead locus: the kept row of its lead
    std::string stem;        // Outname.region.CHR_START_END: the figure adds .<ext>, the data .tsv
};

// The regions of the run, -region windows first, then the lead loci strongest first (at most -regionsmax); a
// region named twice is drawn once. leads: the lead loci of the run's hits (used with -regions leads).
std::vector<Region> planRegions(const PlotSettings& settings, const LeadLoci& leads, const HitRows& hits);

// Outname.region.CHR_START_END, with every character of CHR but letters, digits, '.', '-' and '_' as '_'.
std::string regionStem(const std::string& outname, const std::string& chrom, int32_t start, int32_t end);

// The gathered rows inside the region (its chromosome, "chr" or not, and its positions), ordered by position
// and then by row; indexes of rows.records.
std::vector<size_t> rowsInRegion(const RegionRows& rows, const Region& region);

// The index (into inside) of the region's lead: the lead locus's lead row when it is inside, otherwise the row of
// the largest -log10(p), the first of equals. nullopt when inside is empty.
std::optional<size_t> regionLead(const RegionRows& rows, const std::vector<size_t>& inside, const Region& region);

}  // namespace vennrick
