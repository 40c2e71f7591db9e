// Reading the data table into PlotData and writing the hit file: the reading thread cuts the data into pieces
// of whole lines, the parsing threads parse them, the reading thread places them in file order, and the
// parsing threads copy each placed piece's kept rows to their place in PlotData.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "reading/read_summary.h"
#include "base/fatal.h"
#include "reading/hit_file.h"
#include "reading/highlight_list.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"
#include "reading/region_rows.h"
#include "settings/settings.h"

namespace vennrick {

constexpr size_t kMaxLineBytes = size_t{256} << 20;  // 256 MiB: far beyond any table's header or row

struct ReadOptions {
    unsigned threads = 2;                 // parsing threads, the reading thread among them (the others are started as
                                          // pieces come); 1: the reading thread alone
    bool showProgress = false;            // progress on standard error (only when it is a terminal)
    // Bytes of whole lines parsed as one piece of work. Pieces in flight (threads + 2) are part of the peak
    // memory, at its highest when the plot data is nearly complete: 128 KiB pieces (measured no slower than
    // 1 MiB) leave room for the fonts, loaded while the table is read, and the parsing threads' value memos.
    size_t chunkBytes = size_t{1} << 17;
    // A line longer than this stops the run ("no line end within N bytes"): a table is lines of fields, and an
    // endless line (a file of zeros, a stream without line ends) would otherwise take memory without bound.
    // Reading such a line takes at most this much memory above the run's usual memory.
    size_t maxLineBytes = kMaxLineBytes;
};

struct TableRead {
    PlotData data;
    HitFile hits;
    PlotSettings settings;  // the settings read with: with -names yes, the columns found in the header
    ReadSummary summary;    // what became of the rows
    HitRows hitRows;        // when collectsHitRows(settings): a record of every hit row, in row order
    HitRows strongest;      // with -html yes: the kStrongestRows strongest kept rows, strongest first (values set)
    RegionRows regionRows;  // with regional plots: the rows that may lie in a region, in row order
    std::vector<HighlightMatch> highlighted;  // with -highlight: the kept rows it names, in row order
    int64_t highlightEntries = 0;             // with -highlight: the variants it lists
    int64_t highlightMissing = 0;             // of them, those no kept row matched
    std::string headerLine;   // the last header line, without its line end; empty without a header
    std::string compression;  // the input's compression as found: "none", "gzip" or "bgzip"
};

// Opens the data file and reads its header; with -names yes finds the columns in it (saying so on err unless
// quiet); only then creates the hit file, so that a data file that cannot be read, a name that is not in the
// header or lead loci asked for without a position column leave every file as they were. Then reads every
// row. On a fatal stop the hits written so far are flushed and the hit file is closed.
Outcome<TableRead> readTable(const PlotSettings& settings, std::ostream& out, std::ostream& err,
                             const ReadOptions& options);

}  // namespace vennrick
