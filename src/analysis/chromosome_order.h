// Chromosomes in natural order, each with all its rows wherever they stand in the file: the numbers in numeric
// order (1, 2, ..., 22, and on: 23 ... as some tools write X, Y and MT), then X, Y, XY and MT, then every other
// name in the order in which it first appears. A leading "chr" in any letter case is passed over for the order
// ("chr2" before "chr10") and kept in the name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reading/plot_data.h"

namespace vennrick {

struct Chromosome {
    std::string id;       // the ID as in the table
    std::string shown;    // the name a figure shows: the ID, or with table names its shownChromosome
    int64_t rows = 0;     // kept rows
    size_t firstRun = 0;  // index in ID_list of its first run
};

struct ChromosomeOrder {
    std::vector<Chromosome> chromosomes;  // in natural order
    std::vector<uint32_t> ofRun;          // for each entry of ID_list, the index of its chromosome above
};

// True when chromosome a comes before b in natural order; false for names of the same place (10 and 010),
// which keep the order of first appearance.
bool naturallyBefore(std::string_view a, std::string_view b);

// The chromosomes of the runs, in natural order. With tableNames (-names yes) plink's 23, 24, 25, 26 are X, Y, XY,
// MT, in place and in the names shown.
ChromosomeOrder orderChromosomes(const std::vector<IdRun>& runs, bool tableNames = false);

}  // namespace vennrick
