// The kept rows of a run, as the reading stage collects them and the plotting stages draw them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vennrick {

// A run of consecutive kept rows whose chromosome IDs are equal as text.
struct IdRun {
    std::string id;     // the ID field text
    int64_t count = 0;  // kept rows in the run, >= 1
};

// The kept rows, in file order. Entry k of Value_list and Pos_list belongs to the k-th kept row.
struct PlotData {
    std::vector<IdRun> ID_list;     // chromosome IDs of the kept rows, as runs (counts add up to maxX)
    std::vector<double> Value_list;  // -log10(p) of each kept row
    std::vector<int32_t> Pos_list;   // position of each kept row (divided by divvalue unless a window is in force); empty without a position column
    int64_t maxX = 0;                // number of kept rows
    double minY = 9999999.9;         // smallest value of the kept rows
    double maxY = -9999999.9;        // largest value of the kept rows
};

}  // namespace vennrick
