// The row parser: what every row is tested against, the kept rows and hits of one piece of the file, and the
// parsing of whole lines into them.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "reading/read_summary.h"
#include "base/fatal.h"
#include "reading/highlight_list.h"
#include "reading/hit_rows.h"
#include "base/numbers.h"
#include "reading/plot_data.h"
#include "reading/row_value.h"
#include "settings/settings.h"

namespace vennrick {

// What every row is tested against, taken once from the settings.
struct RowRules {
    Delimiter Delim;
    int32_t idcolumn = 0, column = 0, poscolumn = 0;  // 1-based; poscolumn 0 for none
    int32_t lastColumn = 0;                            // rows are split up to this column and no further
    bool markerPlace = false;  // the ID and position fields are one marker field, CHR:POS[:A1:A2]: cut apart
    std::string_view Missing;
    uint64_t missingKey = 0;  // shortTextKey(Missing)
    const ChromSelection* SelChrom = nullptr;
    PositionWindow window;
    Divisor divvalue;  // of positions when no window is in force
    double threshold = 0;  // the single-precision threshold widened to double
    bool logp = false;     // the p-value column already holds -log10(p)
    bool collectHits = false;  // keep a record of every hit row (lead loci, labels)
    int32_t snpcolumn = 0;     // 1-based variant ID column of the hit records; 0 for none. Rows are not split
                               // for it: a hit row's ID is looked up on its own, and may be missing
    int32_t labelcolumn = 0;   // 1-based column of the hit records' label texts (-labelcolumn); 0 for none
    size_t strongestKept = 0;  // the report page: the strongest rows are recorded, this many in the end; 0 for none
    std::atomic<double>* strongestBar = nullptr;  // with strongestKept: the bar of the pieces placed so far, shared
    bool regionRows = false;   // note where every kept row lies and its position as read (regional plots)
    const HighlightList* highlight = nullptr;  // -highlight: kept rows whose ID (snpcolumn) or place is listed are noted
};

enum class RowFault { none, tooFewFields, pvalue, pos };

// The kept rows of one piece of the file, in file order, and the hit rows among them.
struct PieceResult {
    std::vector<IdRun> runs;
    ValueList values;
    PositionList positions;
    double minY = PlotData{}.minY;
    double maxY = PlotData{}.maxY;
    std::string hits;    // hit rows, each followed by "\n"
    HitRows hitRows;     // with RowRules::collectHits, a record of each hit row; row indices count in the piece
    HitRows strongest;   // with RowRules::strongestKept, records of the piece's strongest rows (values set)
    double strongestBar = std::numeric_limits<double>::infinity();  // rows above it are recorded
    uint64_t lines = 0;  // lines of the piece, empty ones included
    uint64_t rows = 0;   // non-empty lines
    RowCounts counts;    // skipped rows by reason, hits
    std::vector<std::string> unselectedIds;  // the first kIdSamples distinct IDs of the rows not selected
    RowFault fault = RowFault::none;  // the piece stops at its first fatal row
    uint64_t faultLine = 0;           // 1-based line of that row within the piece
    std::string faultField;           // that row's offending field, as a message shows it
    int32_t faultFieldCount = 0;      // tooFewFields: the fields the row has
    std::string faultHint;            // tooFewFields: the delimiter the row seems to use, or empty
    // With RowRules::regionRows, for each kept row: its first byte after base, its length and its position as read.
    const char* base = nullptr;
    std::vector<uint32_t> rowStart, rowLength;
    std::vector<int32_t> rowPos;
    std::vector<HighlightMatch> highlighted;  // with RowRules::highlight: the kept rows listed; rows count in the piece

    void reset() {
        runs.clear();
        values.clear();
        positions.clear();
        minY = PlotData{}.minY;
        maxY = PlotData{}.maxY;
        hits.clear();
        hitRows.clear();
        strongest.clear();
        strongestBar = std::numeric_limits<double>::infinity();
        lines = rows = faultLine = 0;
        counts = RowCounts{};
        unselectedIds.clear();
        fault = RowFault::none;
        faultField.clear();
        faultFieldCount = 0;
        faultHint.clear();
        rowStart.clear();
        rowLength.clear();
        rowPos.clear();
        highlighted.clear();
    }
};

// What a parsing thread keeps from row to row. Rows of one chromosome come together: the selection answer
// for the last ID seen is kept, and whether the piece's last run has that ID.
struct ParserState {
    std::string id;            // ID of the last row tested against the selection
    uint64_t idKey = 0;        // its shortTextKey
    bool selected = false;     // whether that ID is selected
    bool valid = false;        // id and selected hold an answer
    bool lastRunIsId = false;  // the last run of the piece being parsed has that ID
    std::vector<uintptr_t> fieldEnds;  // where each field of the row being cut ends, as far as rows reach
    std::vector<uint32_t> stopAt, lineEndAt;  // the stops and line ends of the window being cut
    ValueMemo memo;                      // values of recent p-value fields
    int32_t highlightChrom = -1;         // with RowRules::highlight: the list's index of that ID's chromosome
};

// The rules of the settings.
RowRules rulesFrom(const PlotSettings& s);

// Parses whole lines [p, end) into res (reset first), stopping at the first fatal row. Carriage returns are
// dropped in place. Up to kScanSlack bytes after end must be readable (their content is ignored).
constexpr size_t kScanSlack = 64;
void parseLines(char* p, char* end, const RowRules& r, ParserState& state, PieceResult& res);

// The fatal outcome of the piece's fatal row, at lineNumber of the file.
Fatal rowFatal(const PieceResult& res, const RowRules& rules, const std::string& path, uint64_t lineNumber);

// Removes every carriage return from [begin, end) in place; returns the new end.
char* dropCarriageReturns(char* begin, char* end);

// The fields of a line, cut as a data row is cut (for the header line; not the per-row path).
std::vector<std::string_view> splitFields(std::string_view line, const Delimiter& delimiter);

// Clears the upper halves of the vector registers when the processor has them. A thread starts with a
// copy of its creator's register state; after the GUI library's vector code that state can be "dirty",
// and then every plain SSE instruction, as in log10, pays a penalty: measured, it made reading 3 times
// slower.
void clearUpperVectorState();

}  // namespace vennrick
