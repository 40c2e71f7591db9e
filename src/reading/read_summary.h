// What became of the rows of a table, counted while it is read, and the summary that tells it on standard error at
// the end of reading: rows read, kept, skipped by reason and hits, and why too few rows were kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "reading/plot_data.h"
#include "settings/settings.h"

namespace vennrick {

// What became of the rows of a piece of the table, or of the whole table: plain counters, added piece by piece.
struct RowCounts {
    uint64_t missing = 0;        // skipped: the p-value is the missing marker
    uint64_t zero = 0;           // skipped: p = 0
    uint64_t unselected = 0;     // skipped: the chromosome is not selected
    uint64_t outsideWindow = 0;  // skipped: the position lies outside the window
    uint64_t hits = 0;           // kept rows written to the hit file
    uint64_t outsideUnit = 0;    // kept rows whose p lies outside (0, 1]: -log10(p) below 0 or not a number
    uint64_t positionsBack = 0;  // kept rows whose position (as kept) is below the one before in their run

    void add(const RowCounts& more);
};

constexpr size_t kIdSamples = 6;  // chromosome IDs of skipped rows a summary names at most

// The reading of a whole table, as the summary tells it.
struct ReadSummary {
    uint64_t headerLines = 0;                // header lines read
    uint64_t lines = 0;                      // lines after the header, empty ones included
    uint64_t rows = 0;                       // non-empty lines after the header
    RowCounts counts;                        // what became of them
    std::vector<std::string> unselectedIds;  // the first kIdSamples distinct IDs of rows not selected
};

// Adds the IDs of more that ids lacks, in order, while ids holds fewer than kIdSamples.
void addIdSamples(std::vector<std::string>& ids, const std::vector<std::string>& more);

// The end-of-read summary: rows read, kept, skipped by reason and hits; p-values outside (0, 1]; p = 0 rows;
// chromosomes met in more than one stretch of rows and positions that go back within a chromosome.
std::vector<std::string> summaryLines(const ReadSummary& summary, const PlotData& data, const PlotSettings& settings);

// Why fewer than two rows were kept, in the user's terms.
std::string whyTooFewRows(const ReadSummary& summary, const PlotSettings& settings);

}  // namespace vennrick
