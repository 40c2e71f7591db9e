// Reading the data table into PlotData and writing the hit file.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fatal.h"
#include "settings.h"

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

// The open hit file: hit rows are written through a large buffer.
struct HitFile {
    int fd = -1;               // open descriptor; -1 once closed
    std::string path;          // for messages
    std::vector<char> buffer;  // bytes not yet written
    bool failed = false;       // a write has failed; the error is reported on close
    int error = 0;             // errno of the first failed write
};

struct ReadOptions {
    unsigned threads = 2;                 // parsing threads
    bool showProgress = false;            // progress on standard error (only when it is a terminal)
    size_t chunkBytes = size_t{1} << 20;  // bytes of whole lines parsed as one piece of work
};

struct TableRead {
    PlotData data;
    HitFile hits;
};

// Refuses a run whose hit file or image file would overwrite the data file (same device and inode).
std::optional<Fatal> refuseOverwritingData(const PlotSettings& settings);

// Opens the hit file, then the data file; handles the header and reads every row. On a fatal stop the hits
// written so far are flushed and the hit file is closed.
Outcome<TableRead> readTable(const PlotSettings& settings, std::ostream& out, std::ostream& err,
                             const ReadOptions& options);

// Writes out what the hit file still holds and closes it; a failed write or close is fatal.
std::optional<Fatal> closeHitFile(HitFile& hits);

}  // namespace vennrick
