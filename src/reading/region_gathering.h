// Gathering the rows of the regional plots as the table is read: the rows inside a -region window, or with
// -regions leads any row close enough to a hit to fall in a lead locus's region (the hits are not known before
// the rows around them are read, so rows wait in a window behind the last row until a hit takes them or they
// fall behind). Every other row costs only its place in three short lists of the piece it was parsed in.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "reading/region_rows.h"
#include "reading/row_parser.h"
#include "settings/settings.h"

namespace vennrick {

// The gathering across the pieces of a table, which are handed to it in file order.
struct RegionGathering {
    bool on = false;
    // What is gathered.
    Delimiter delim;
    int32_t pColumn = 0, idColumn = 0, a1Column = 0, a2Column = 0;  // 1-based; 0: none
    std::vector<RegionWindow> windows;  // -region
    bool leads = false;                 // -regions leads
    int64_t reach = 0;                  // leads: a row this close to a hit of its chromosome may lie in a region
    double threshold = 0;               // a row at or above it is a hit
    // Rows waiting for a hit within reach (leads), in row order from `head` on.
    struct Waiting {
        int64_t row;
        uint64_t piece;  // sequence number of the piece whose bytes hold it
        uint32_t start, length;
        int32_t pos;
        double value;
    };
    std::vector<Waiting> waiting;
    size_t head = 0;
    struct KeptBytes {
        uint64_t piece;
        uint64_t offset;  // of bytes[0] in the piece
        std::string bytes;
    };
    std::deque<KeptBytes> kept;  // bytes of earlier pieces that waiting rows point into
    uint64_t pieceNumber = 0;
    std::string chrom;           // chromosome of the last row seen
    bool haveChrom = false;
    int64_t forwardUntil = 0;    // rows of chrom up to this position follow a hit
    bool forward = false;
    int32_t lastPos = 0;
    std::vector<size_t> runWindows;            // the windows on the run being gathered
    std::vector<std::string_view> fields;      // the fields of the row being taken
    RegionRows rows;
};

// The gathering the settings ask for (off without regional plots); the columns must be known.
RegionGathering startRegionGathering(const PlotSettings& settings);

// Takes in the kept rows of a parsed piece, the next in file order, whose bytes start at base and whose first kept
// row is firstRow of the table. The piece's runs must still be in res.
void gatherRegionRows(RegionGathering& g, const char* base, const PieceResult& res, int64_t firstRow);

}  // namespace vennrick
