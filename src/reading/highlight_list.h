// The variants of -highlight: a list of IDs and CHR:POS places read once, hashed, and tested against each kept
// row while the table is parsed, with no allocation per row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"

namespace vennrick {

struct HighlightList {
    std::vector<std::string> entries;  // the list's lines, distinct, blanks around them removed
    std::vector<int32_t> sameAs;       // per entry: the entry that stands for the same place (itself for most)
    std::vector<int32_t> idSlots;      // open addressing over entries by ID text; -1 empty; a power of 2 long
    std::vector<std::string> chroms;   // the chromosomes of the CHR:POS entries, as a figure shows them
    struct Place {
        int32_t chrom = 0, pos = 0, entry = 0;
    };
    std::vector<Place> places;         // the entries that read CHR:POS
    std::vector<int32_t> placeSlots;   // open addressing over places; -1 empty; a power of 2 long
};

// The rows found for the entries of a HighlightList: kept-row indices in row order, and per entry whether a row
// named it.
struct HighlightMatch {
    int64_t row = 0;    // kept-row index
    int32_t entry = 0;  // the entry it matched
};

// The list from its lines: one variant ID or CHR:POS a line; blank lines and lines starting with '#' are skipped.
HighlightList makeHighlightList(std::string_view text);

// The list in a file, plain or compressed as the data table may be. An unreadable file is fatal.
Outcome<HighlightList> readHighlightList(const std::string& path);

// The entry whose text is the ID; -1 for none.
int32_t findHighlightId(const HighlightList& list, std::string_view id);

// The index in chroms of a chromosome ID as a row holds it (compared as a figure shows it when tableNames, else
// as text); -1 when no entry is on it. Allocates: for each run of rows, not each row.
int32_t highlightChrom(const HighlightList& list, std::string_view id, bool tableNames);

// The entry at that chromosome index and position; -1 for none.
int32_t findHighlightPlace(const HighlightList& list, int32_t chrom, int32_t pos);

// Entries no row matched, from the matches of a read.
int64_t highlightMissing(const HighlightList& list, const std::vector<HighlightMatch>& matches);

}  // namespace vennrick
