// The switches of the regional plots (-region, -regions, -regionsmax, -flank, -ld, -ldref, -ldsamples, -genes,
// -genetypes): their values, read and refused before any file is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "settings/figure_options.h"
#include "settings/switches.h"

namespace vennrick {

// One window of -region CHR:START-END, positions as the table has them, both ends inclusive.
struct RegionWindow {
    std::string chrom;
    int32_t start = 0;
    int32_t end = 0;  // >= start
};

constexpr int32_t kDefaultRegionsMax = 20;
constexpr int32_t kDefaultFlank = 500000;
constexpr ImageSize kDefaultRegionSize{800, 600};

struct RegionOptions {
    std::vector<RegionWindow> windows;  // -region, in the order given
    bool leads = false;                 // -regions leads: one region per lead locus
    int32_t regionsMax = kDefaultRegionsMax;  // -regionsmax: the strongest loci that get a region
    int32_t flank = kDefaultFlank;            // -flank: base pairs added on each side of a locus
    std::string ldFile;     // -ld: a table of r2 pairs; empty: none
    std::string ldRef;      // -ldref: an indexed VCF or BCF; empty: none
    std::string ldSamples;  // -ldsamples: the panel's samples to use, one a line; empty: all
    std::string genesFile;  // -genes: GTF, GFF3 or BED; empty: none
    std::vector<std::string> geneTypes{"protein_coding"};  // -genetypes; empty list: every biotype
    ImageSize size = kDefaultRegionSize;  // the -size of the run when given, else 800 x 600
    int32_t allele1column = 0, allele2column = 0;  // 1-based allele columns found by name; 0: none
};

// "CHR:START-END[,CHR:START-END...]"; nullopt for anything else (an empty name, a bound that is no whole number
// from 0 to 2147483647, START after END).
std::optional<std::vector<RegionWindow>> parseRegionList(std::string_view text);

// Reads the switches above; a value they do not take is fatal. sizeGiven: -size was given (its size is size).
Outcome<RegionOptions> readRegionOptions(const SwitchList& switches, bool sizeGiven, ImageSize size);

// Whether any regional plot is asked for.
inline bool regionsAsked(const RegionOptions& r) { return r.leads || !r.windows.empty(); }

// A chromosome name without a leading "chr" (any letter case): "chr1" and "1" name the same chromosome.
std::string_view withoutChrPrefix(std::string_view name);

}  // namespace vennrick
