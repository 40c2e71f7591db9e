// The row parser: cuts whole lines into the fields in use and tests each row, in the documented order, for
// the plot data and the hit file. Runs on the parsing threads, one piece of the file at a time.
#include "reading/row_parser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/numbers.h"
#include "reading/fields.h"
#include "reading/row_value.h"
#include "reading/stop_lists.h"
#include "reading/stop_scanner.h"

namespace vennrick {
namespace {

const char kPvalueMessage[] = "Cannot read p-value. Did you forget to specify header?\n";
const char kPosMessage[] = "Cannot read pos value. Did you forget to specify header?\n";

struct RowFields {
    std::string_view id, value, pos;
    uint64_t idKey = 0, valueKey = 0;  // shortTextKey of id and value
};

// The fields' keys, where 8 bytes from each field's start are readable, as in a piece.
inline void addKeys(RowFields& f) {
    f.idKey = shortTextKey(f.id);
    f.valueKey = shortTextKey(f.value);
}

// A marker field CHR:POS or CHR:POS:A1:A2 taken as the chromosome and the position fields. A marker without a colon
// is left whole in both, so that the position the row lacks is shown as it is.
inline void cutMarker(RowFields& f) {
    const std::string_view marker = f.id;
    const size_t colon = marker.find(':');
    if (colon == std::string_view::npos) return;
    f.id = marker.substr(0, colon);
    const std::string_view rest = marker.substr(colon + 1);
    f.pos = rest.substr(0, rest.find(':'));
}

// Equal texts; IDs and markers are a few bytes, where a library call would cost more than the comparison.
inline bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.size() > 16) return std::memcmp(a.data(), b.data(), a.size()) == 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

inline void takeField(int32_t col, const char* begin, const char* end, const RowRules& r, RowFields& f) {
    std::string_view field(begin, static_cast<size_t>(end - begin));
    if (col == r.idcolumn) f.id = field;
    if (col == r.column) f.value = field;
    if (col == r.poscolumn) f.pos = field;
}

// Cuts the fields up to the last column in use; false when the row has fewer fields.
bool splitRow(const char* p, const char* end, const RowRules& r, RowFields& f) {
    int32_t col = 0;
    forEachField(p, end, r.Delim, [&](const char* begin, const char* fieldEnd) {
        takeField(++col, begin, fieldEnd, r, f);
        return col != r.lastColumn;
    });
    return col == r.lastColumn;
}

// For a row of one field: the delimiter its text suggests, as a hint; empty when there is none.
std::string delimiterHint(std::string_view row, const Delimiter& inForce) {
    static constexpr std::pair<char, std::string_view> kCandidates[] = {
        {'\t', "tab"}, {',', "comma"}, {';', "semicolon"}, {' ', "whitespace"}};
    for (const auto& [ch, name] : kCandidates) {
        if (ch != inForce.ch && row.find(ch) != std::string_view::npos)
            return "it is one field with -delim " + delimiterName(inForce) + " but holds '" +
                   (ch == '\t' ? "\\t" : std::string(1, ch)) + "': try -delim " + std::string(name);
    }
    return "";
}

// Records a row with fewer fields than the last column in use, with its field count.
void recordShortRow(PieceResult& res, const char* begin, const char* end, int32_t fieldCount, const RowRules& r) {
    res.fault = RowFault::tooFewFields;
    res.faultLine = res.lines;
    res.faultFieldCount = fieldCount;
    if (fieldCount <= 1) res.faultHint = delimiterHint(std::string_view(begin, static_cast<size_t>(end - begin)), r.Delim);
}

// Records a row whose p-value or position cannot be read, with the field's text.
void recordBadField(PieceResult& res, RowFault fault, const RowFields& f) {
    res.fault = fault;
    res.faultLine = res.lines;
    res.faultField = shownText(fault == RowFault::pos ? f.pos : f.value);
}

// Notes the ID of a row that is not selected, for the summary, while the piece has fewer than kIdSamples.
void noteUnselected(PieceResult& res, std::string_view id) {
    if (res.unselectedIds.size() >= kIdSamples) return;
    for (const std::string& seen : res.unselectedIds) {
        if (seen == id) return;
    }
    res.unselectedIds.emplace_back(id);
}

// Field col (1-based) of the line [begin, end); empty when the line ends before it.
std::string_view nthField(const char* begin, const char* end, const Delimiter& d, int32_t col) {
    std::string_view found;
    int32_t at = 0;
    forEachField(begin, end, d, [&](const char* fieldBegin, const char* fieldEnd) {
        if (++at < col) return true;
        found = std::string_view(fieldBegin, static_cast<size_t>(fieldEnd - fieldBegin));
        return false;
    });
    return found;
}

// Keeps the record of a hit row [begin, end), kept row `row` of the piece, whose position has been read. Only
// hit rows pay for it: the ID is looked up and the position read again here, not on every row.
void recordHit(const char* begin, const char* end, const RowFields& f, int64_t row, const RowRules& r,
               HitRows& into) {
    constexpr size_t kLongest = UINT32_MAX;  // longer texts are cut
    const std::string_view id = r.snpcolumn != 0 ? nthField(begin, end, r.Delim, r.snpcolumn) : std::string_view();
    const std::string_view p = trimSpace(f.value);
    HitRecord h;
    h.row = row;
    h.textAt = into.texts.size();
    h.idLength = static_cast<uint32_t>(std::min(id.size(), kLongest));
    h.pLength = static_cast<uint32_t>(std::min(p.size(), kLongest));
    const std::string_view label =
        r.labelcolumn != 0 ? trimSpace(nthField(begin, end, r.Delim, r.labelcolumn)) : std::string_view();
    h.labelLength = static_cast<uint32_t>(std::min(label.size(), kLongest));
    h.pos = r.poscolumn != 0 ? parseInt(f.pos).value_or(0) : 0;
    into.texts.append(id.data(), h.idLength);
    into.texts.append(p.data(), h.pLength);
    into.texts.append(label.data(), h.labelLength);
    into.records.push_back(h);
}

// Records a row stronger than the piece's bar for the report page, kept row `row` of the piece; raises the bar
// when the piece holds twice the rows the page keeps. Rare after the first rows: the bar rises fast.
[[gnu::noinline]] void recordStrong(const char* begin, const char* end, const RowFields& f, int64_t row, double value,
                                    const RowRules& r, PieceResult& res, double& bar) {
    recordHit(begin, end, f, row, r, res.strongest);
    res.strongest.records.back().value = value;
    if (res.strongest.records.size() >= 2 * r.strongestKept) {
        keepStrongest(res.strongest, r.strongestKept, res.strongestBar);
        bar = res.strongestBar;
    }
}

// Notes a kept row, row `row` of the piece at position `pos` as read, when the -highlight list names its ID or
// its place. The ID field is found on its own, as for a hit record: rows are not split for it.
[[gnu::noinline]] void noteHighlight(const char* begin, const char* end, int32_t pos, int64_t row, const RowRules& r,
                                     const ParserState& state, PieceResult& res) {
    int32_t entry = -1;
    if (r.snpcolumn != 0) entry = findHighlightId(*r.highlight, nthField(begin, end, r.Delim, r.snpcolumn));
    if (entry < 0 && r.poscolumn != 0) entry = findHighlightPlace(*r.highlight, state.highlightChrom, pos);
    if (entry >= 0) res.highlighted.push_back(HighlightMatch{row, entry});
}

// Where a batch of rows puts its kept rows, and their running extremes and counts (outside (0, 1], positions
// going back): held apart from the piece's result while the batch is tested, so that they stay in registers instead of going through
// memory on every row, with a capacity test per list.
struct KeptRows {
    double* value;      // where the next kept value goes
    int32_t* position;  // where the next kept position goes; unused without a position column
    double minY, maxY;
    uint64_t outsideUnit;
    uint64_t positionsBack;
    int32_t lastPosition;  // of the piece's last kept row, when there is one
    double strongestBar;   // rows above it are recorded for the report page; infinity without the page
};

// Room for `rows` more kept rows at the end of the result's lists.
KeptRows openBatch(PieceResult& res, size_t rows, bool positions) {
    const size_t kept = res.values.size();
    res.values.resize(kept + rows);
    if (positions) res.positions.resize(kept + rows);
    const int32_t lastPosition = positions && kept > 0 ? res.positions[kept - 1] : 0;
    return KeptRows{res.values.data() + kept, positions ? res.positions.data() + kept : nullptr, res.minY, res.maxY, 0, 0,
                    lastPosition, res.strongestBar};
}

// Ends the lists after the rows kept, and takes in the batch's extremes and count.
void closeBatch(PieceResult& res, const KeptRows& out, bool positions) {
    res.values.resize(static_cast<size_t>(out.value - res.values.data()));
    if (positions) res.positions.resize(res.values.size());
    res.minY = out.minY;
    res.maxY = out.maxY;
    res.counts.outsideUnit += out.outsideUnit;
    res.counts.positionsBack += out.positionsBack;
    res.strongestBar = out.strongestBar;
}

// True when kept rows are noted for more than the plot and the hit file: -highlight, regional plots, the report
// page's strongest rows.
inline bool notesMore(const RowRules& r) {
    return r.highlight != nullptr || r.regionRows || r.strongestBar != nullptr;
}

// Tests one non-empty row, already split, in the documented order and, when it is kept, adds it to out and the
// piece's result. Inlined into the row loops: a call would cost more than a sixth of the row's own work. More:
// notesMore(r); without it the row loops skip those notes altogether (measured, 3% of the instructions of a plain run).
template <bool More>
[[gnu::always_inline]] inline RowFault handleRow(const char* begin, const char* end, const RowFields& f,
                                                 const RowRules& r, ParserState& state, PieceResult& res,
                                                 KeptRows& out) {
    // The marker compared as a word when both are short (no short text equals an empty or a longer marker).
    if (f.valueKey != 0 ? f.valueKey == r.missingKey : sameText(f.value, r.Missing)) {
        ++res.counts.missing;
        return RowFault::none;
    }

    const RowValue converted = state.memo.valueOf(f.value, f.valueKey);
    if (converted.kind != ValueKind::value) {
        if (converted.kind == ValueKind::unreadable) return RowFault::pvalue;
        ++res.counts.zero;
        return RowFault::none;
    }
    const double value = converted.value;

    if (!state.valid || (f.idKey != 0 ? f.idKey != state.idKey : !sameText(state.id, f.id))) {
        state.selected = selectionContains(*r.SelChrom, f.id);
        state.id.assign(f.id);
        state.idKey = f.idKey;
        state.valid = true;
        state.lastRunIsId = !res.runs.empty() && res.runs.back().id == f.id;
        if (!state.selected) noteUnselected(res, f.id);
        if (More && r.highlight != nullptr)
            state.highlightChrom = highlightChrom(*r.highlight, f.id, r.SelChrom->tableNames);
    }
    if (!state.selected) {
        ++res.counts.unselected;
        return RowFault::none;
    }

    int32_t kept = 0;  // the position as kept
    int32_t pos = 0;   // the position as read
    if (r.poscolumn != 0) {
        if (!parseIntInBuffer(f.pos, pos)) return RowFault::pos;
        if (r.window.posrangeallowed == 1) {
            if (pos < r.window.startpos || pos > r.window.endpos) {
                ++res.counts.outsideWindow;
                return RowFault::none;
            }
            kept = pos;
        } else {
            kept = r.divvalue.divide(pos);
        }
        *out.position++ = kept;
    }

    if (state.lastRunIsId) {
        ++res.runs.back().count;
        out.positionsBack += kept < out.lastPosition;  // the row kept before is in the same run
    } else {
        res.runs.push_back(IdRun{std::string(f.id), 1});
        state.lastRunIsId = true;
    }
    out.lastPosition = kept;
    if (More && r.regionRows) {
        res.rowStart.push_back(static_cast<uint32_t>(begin - res.base));
        res.rowLength.push_back(static_cast<uint32_t>(end - begin));
        res.rowPos.push_back(pos);
    }
    *out.value++ = value;
    if (value < out.minY) out.minY = value;
    if (value > out.maxY) out.maxY = value;
    out.outsideUnit += !(value >= 0);  // p above 1 gives a negative value, a negative p NaN
    if (value >= r.threshold) {
        ++res.counts.hits;
        res.hits.append(begin, static_cast<size_t>(end - begin));
        res.hits.push_back('\n');
        if (r.collectHits) recordHit(begin, end, f, out.value - 1 - res.values.data(), r, res.hitRows);
    }
    if (!More) return RowFault::none;
    if (r.highlight != nullptr) noteHighlight(begin, end, pos, out.value - 1 - res.values.data(), r, state, res);
    if (value > out.strongestBar)  // never without the page: its bar is infinity
        recordStrong(begin, end, f, out.value - 1 - res.values.data(), value, r, res, out.strongestBar);
    return RowFault::none;
}

// Doubles the list of field ends, up to the last column in use; returns its storage and sets reach to the columns
// it holds.
[[gnu::noinline, gnu::cold]] uintptr_t* growFieldEnds(std::vector<uintptr_t>& ends, int32_t lastColumn,
                                                      int32_t& reach) {
    const int64_t columns = std::min(int64_t{lastColumn}, std::max(int64_t{reach} * 2, int64_t{64}));
    ends.resize(static_cast<size_t>(columns) + 1);
    reach = static_cast<int32_t>(columns);
    return ends.data();
}

// Column numbers up to this size the list of field ends at once; beyond it, the list grows only as far as rows
// reach, so a column number beyond every row costs nothing.
constexpr int32_t kFieldEndsAtOnce = 1024;

// A row cut into the fields in use, waiting to be tested.
struct CutRow {
    const char* begin;  // the line, without its line end
    const char* end;
    RowFields f;
    uint64_t line;  // its line number in the piece
};

// Rows cut before any of them is tested. The memo slot of each row's p-value is asked for as the row is cut,
// so that by the time the row is tested it has arrived: measured, 5% less time than testing each row as it is
// cut, for more instructions.
constexpr int kBatchRows = 32;

// The rows of a batch, cut, and the row with too few fields that ended it, if one did.
struct Batch {
    CutRow rows[kBatchRows];
    int cut = 0;
    uint64_t rowsBefore = 0;            // the piece's rows before the batch
    const char* shortRow = nullptr;     // the row with too few fields, [shortRow, shortRowEnd)
    const char* shortRowEnd = nullptr;
    int32_t fieldCount = 0;             // the fields it has

    void start(uint64_t rows) {
        cut = 0;
        rowsBefore = rows;
        shortRow = nullptr;
    }

    // Adds the row [begin, end), line `line` of the piece, cut into the fields in use, and asks for the memo
    // slot of its p-value.
    void add(const char* begin, const char* end, std::string_view id, std::string_view value, std::string_view pos,
             uint64_t line, ParserState& state, bool markerPlace) {
        CutRow& row = rows[cut++];
        row.begin = begin;
        row.end = end;
        row.f.id = id;
        row.f.value = value;
        row.f.pos = pos;
        row.line = line;
        if (markerPlace) cutMarker(row.f);
        addKeys(row.f);
        state.memo.prefetch(row.f.valueKey);
    }
};

// Tests the cut rows of the batch in file order, with the piece's line and row counts after it; a fatal row
// is recorded with the counts up to it, and then a row with too few fields. False when the piece stops.
template <bool More>
bool testBatchWith(const Batch& batch, uint64_t lines, uint64_t rows, const RowRules& r, ParserState& state,
               PieceResult& res) {
    res.lines = lines;
    res.rows = rows;
    const bool positions = r.poscolumn != 0;
    KeptRows out = openBatch(res, static_cast<size_t>(batch.cut), positions);
    for (int i = 0; i < batch.cut; ++i) {
        const CutRow& row = batch.rows[i];
        RowFault fault = handleRow<More>(row.begin, row.end, row.f, r, state, res, out);
        if (fault != RowFault::none) {
            closeBatch(res, out, positions);
            res.lines = row.line;
            res.rows = batch.rowsBefore + static_cast<uint64_t>(i) + 1;
            recordBadField(res, fault, row.f);
            return false;
        }
    }
    closeBatch(res, out, positions);
    if (batch.shortRow == nullptr) return true;
    recordShortRow(res, batch.shortRow, batch.shortRowEnd, batch.fieldCount, r);
    return false;
}

bool testBatch(const Batch& batch, uint64_t lines, uint64_t rows, const RowRules& r, bool more, ParserState& state,
               PieceResult& res) {
    return more ? testBatchWith<true>(batch, lines, rows, r, state, res)
                : testBatchWith<false>(batch, lines, rows, r, state, res);
}

// Parses whole lines [p, end) of a piece without carriage returns, split at a single delimiter character, a
// batch of rows at a time. Grow: the list of field ends grows as rows reach further (a column number beyond
// kFieldEndsAtOnce).
template <bool Grow>
void parsePlainLinesWith(const char* p, const char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    StopScanner scanner(p, end, r.Delim.ch);
    // ends[c] is the address of the end of field c of the row being cut, up to the last column in use; ends[0]
    // is one before the line's start. Addresses as numbers, so that one before the data is no pointer.
    std::vector<uintptr_t>& endList = state.fieldEnds;
    const int32_t lastColumn = r.lastColumn;
    const size_t listed = static_cast<size_t>(lastColumn) + 1;
    if (!Grow && endList.size() < listed) endList.resize(listed);
    if (Grow && endList.size() < 2) endList.resize(2);
    uintptr_t* ends = endList.data();
    int32_t reach = static_cast<int32_t>(std::min<size_t>(endList.size() - 1, static_cast<size_t>(lastColumn)));
    // Copies, so that the stores of a row's fields are not taken to change them.
    const int32_t idcolumn = r.idcolumn, column = r.column, poscolumn = r.poscolumn;
    const bool markerPlace = r.markerPlace, more = notesMore(r);
    auto field = [&](int32_t col) {
        return std::string_view(reinterpret_cast<const char*>(ends[col - 1] + 1), ends[col] - ends[col - 1] - 1);
    };
    // Grow: the list of field ends grows as far as rows reach.
    auto makeRoom = [&](uintptr_t* list, int32_t count) {
        return count == reach ? growFieldEnds(endList, lastColumn, reach) : list;
    };
    uint64_t lines = res.lines, rows = res.rows;
    Batch batch;
    while (p < end) {
        // Cutting: up to kBatchRows rows, or up to a row with too few fields.
        batch.start(rows);
        while (batch.cut < kBatchRows && p < end) {
            ++lines;
            const char* lineEnd;
            const int32_t fieldCount = scanner.cutLine<Grow>(ends, lastColumn, lineEnd, makeRoom);
            if (Grow) ends = endList.data();
            if (lineEnd == p) {  // an empty line
                p = lineEnd + 1;
                continue;
            }
            ++rows;
            ends[0] = reinterpret_cast<uintptr_t>(p) - 1;
            if (fieldCount < lastColumn) {
                batch.shortRow = p;
                batch.shortRowEnd = lineEnd;
                batch.fieldCount = fieldCount;
                break;
            }
            batch.add(p, lineEnd, field(idcolumn), field(column),
                      poscolumn != 0 ? field(poscolumn) : std::string_view(), lines, state, markerPlace);
            p = lineEnd == end ? end : lineEnd + 1;  // the last line may have no line end
        }
        if (!testBatch(batch, lines, rows, r, more, state, res)) return;
    }
}

// The bytes of a piece whose stops are listed at a time: their lists stay in the first-level cache.
constexpr uint32_t kWindowBytes = 16384;

// Parses whole lines [p, end) of a piece, split at a single delimiter character that is not the line end, a
// window at a time: the window's stops (delimiters and line ends) and line ends are listed first, and a row's
// fields are then found by their place in the list, with no test per stop. Stops before a window that holds a
// carriage return or no line end (a line longer than a window) and returns the bytes parsed; the piece's
// counts go on from there.
size_t parseWindowedLines(const char* const begin, const char* end, const RowRules& r, ParserState& state,
                          PieceResult& res) {
    const char* p = begin;
    const auto lastColumn = static_cast<size_t>(r.lastColumn);
    const auto idcolumn = static_cast<size_t>(r.idcolumn), column = static_cast<size_t>(r.column);
    const auto poscolumn = static_cast<size_t>(r.poscolumn);
    const bool markerPlace = r.markerPlace, more = notesMore(r);
    // Room for the mark before the window, its stops, the entries written past them and an end mark for every
    // column after them.
    const size_t listRoom = size_t{kWindowBytes} + 17 + lastColumn + 1;
    if (state.stopAt.size() < listRoom) state.stopAt.resize(listRoom);
    if (state.lineEndAt.size() < kWindowBytes + 17) state.lineEndAt.resize(kWindowBytes + 17);
    uint32_t* const stopAt = state.stopAt.data();
    uint32_t* const lineEndAt = state.lineEndAt.data();
    stopAt[0] = UINT32_MAX;  // one before the window: the first row's first field starts after it
    uint64_t lines = res.lines, rows = res.rows;
    Batch batch;
    while (p < end) {
        const auto length = static_cast<uint32_t>(std::min<ptrdiff_t>(end - p, kWindowBytes));
        const StopCounts found = findStops(p, length, r.Delim.ch, stopAt + 1, lineEndAt);
        size_t stopCount = found.stops, lineCount = found.lineEnds;
        const bool lastWindow = p + length == end;
        if (lastWindow && (lineCount == 0 || lineEndAt[lineCount - 1] != length - 1)) {
            lineEndAt[lineCount++] = length;  // the last line has no line end
            stopAt[1 + stopCount++] = length;
        }
        if (found.carriageReturn || lineCount == 0) break;
        std::fill_n(stopAt + 1 + stopCount, lastColumn + 1, UINT32_MAX);
        size_t line = 0;
        const uint32_t* row0 = stopAt;  // the stop before the next row; the row's field c ends at row0[c]
        while (line < lineCount) {
            batch.start(rows);
            while (batch.cut < kBatchRows && line < lineCount) {
                const uint32_t lineEnd = lineEndAt[line++];
                const uint32_t start = row0[0] + 1;
                ++lines;
                if (lineEnd == start) {  // an empty line
                    ++row0;
                    continue;
                }
                ++rows;
                const uint32_t lastEnd = row0[lastColumn];  // past the line end: too few fields
                if (lastEnd > lineEnd) {
                    batch.fieldCount = 1;
                    while (row0[batch.fieldCount] < lineEnd) ++batch.fieldCount;
                    batch.shortRow = p + start;
                    batch.shortRowEnd = p + lineEnd;
                    break;
                }
                auto field = [&](size_t c) {
                    const uint32_t fieldStart = row0[c - 1] + 1;  // the mark before the window wraps to 0
                    return std::string_view(p + fieldStart, row0[c] - fieldStart);
                };
                batch.add(p + start, p + lineEnd, field(idcolumn), field(column),
                          poscolumn != 0 ? field(poscolumn) : std::string_view(), lines, state, markerPlace);
                row0 += lastColumn;
                while (*row0 < lineEnd) ++row0;  // the fields after the last in use
            }
            if (!testBatch(batch, lines, rows, r, more, state, res)) return 0;
        }
        p = lastWindow ? end : p + row0[0] + 1;
    }
    return static_cast<size_t>(p - begin);
}

void parsePlainLines(const char* p, const char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    if (r.lastColumn <= kFieldEndsAtOnce) return parsePlainLinesWith<false>(p, end, r, state, res);
    parsePlainLinesWith<true>(p, end, r, state, res);
}

}  // namespace

// Removes every carriage return from [begin, end) in place; returns the new end.
char* dropCarriageReturns(char* begin, char* end) {
    char* out = static_cast<char*>(std::memchr(begin, '\r', static_cast<size_t>(end - begin)));
    if (out == nullptr) return end;
    for (const char* in = out; in < end; ++in) {
        if (*in != '\r') *out++ = *in;
    }
    return out;
}

// Clears the upper halves of the vector registers when the processor has them. A thread starts with a
// copy of its creator's register state; after the GUI library's vector code that state can be "dirty",
// and then every plain SSE instruction, as in log10, pays a penalty: measured, it made reading 3 times
// slower.
void clearUpperVectorState() {
#if defined(__x86_64__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        asm volatile("vzeroupper" ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
                     "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
#endif
}

RowRules rulesFrom(const PlotSettings& s) {
    RowRules r;
    r.Delim = s.Delim;
    r.idcolumn = s.idcolumn;
    r.column = s.column;
    r.poscolumn = s.poscolumn;
    r.lastColumn = std::max({s.idcolumn, s.column, s.poscolumn});
    r.markerPlace = s.markerPlace;
    r.Missing = s.Missing;
    char missing[16] = {};  // the marker with readable bytes after it, as shortTextKey needs
    if (s.Missing.size() <= 8) std::memcpy(missing, s.Missing.data(), s.Missing.size());
    r.missingKey = s.Missing.size() <= 8 ? shortTextKey(std::string_view(missing, s.Missing.size())) : 0;
    r.SelChrom = &s.SelChrom;
    r.window = s.window;
    r.divvalue = Divisor(s.divvalue);
    r.threshold = static_cast<double>(s.threshold);
    r.logp = s.logpyes == 1;
    r.collectHits = collectsHitRows(s);
    r.snpcolumn = s.snpcolumn;
    r.labelcolumn = s.labelcolumn;
    r.strongestKept = s.htmlyes == 1 ? kStrongestRows : 0;
    r.regionRows = regionsAsked(s.region) && s.poscolumn != 0;
    return r;
}

Fatal rowFatal(const PieceResult& res, const RowRules& rules, const std::string& path, uint64_t lineNumber) {
    const std::string where = "'" + path + "' line " + std::to_string(lineNumber) + ": ";
    if (res.fault == RowFault::tooFewFields) {
        return Fatal{kPvalueMessage, where + "the row has " + std::to_string(res.faultFieldCount) +
                                         (res.faultFieldCount == 1 ? " field" : " fields") + ", fewer than the " +
                                         std::to_string(rules.lastColumn) + " the columns need" +
                                         (res.faultHint.empty() ? "" : "; " + res.faultHint)};
    }
    std::string detail = where + (res.fault == RowFault::pos
                                      ? "the position field '" + res.faultField + "' is not a 32-bit integer"
                                      : "the p-value field '" + res.faultField + "' is not a number");
    if (!res.faultField.empty() && (res.faultField[0] == '"' || res.faultField[0] == '\''))
        detail += "; the quotes are part of the field: remove them from the table";
    else if (lineNumber == 1)
        detail += "; if line 1 holds column names, add -header yes";
    return Fatal{res.fault == RowFault::pos ? kPosMessage : kPvalueMessage, detail};
}

std::vector<std::string_view> splitFields(std::string_view line, const Delimiter& delimiter) {
    std::vector<std::string_view> fields;
    forEachField(line.data(), line.data() + line.size(), delimiter, [&](const char* begin, const char* end) {
        fields.emplace_back(begin, static_cast<size_t>(end - begin));
        return true;
    });
    return fields;
}

namespace {

// Parses whole lines [p, end) a line at a time, with or without carriage returns, at a single delimiter
// character or at runs of blanks, continuing the piece's counts.
void parseLinesOneByOne(char* p, char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    const bool hasCarriageReturn = p < end && std::memchr(p, '\r', static_cast<size_t>(end - p)) != nullptr;
    if (!hasCarriageReturn && !r.Delim.whitespaceRuns) return parsePlainLines(p, end, r, state, res);
    const bool positions = r.poscolumn != 0;
    while (p < end) {
        KeptRows out = openBatch(res, kBatchRows, positions);
        for (int line = 0; line < kBatchRows && p < end; ++line) {
            char* newline = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            char* lineEnd = newline != nullptr ? newline : end;
            char* next = newline != nullptr ? newline + 1 : end;
            ++res.lines;
            if (hasCarriageReturn) lineEnd = dropCarriageReturns(p, lineEnd);
            if (lineEnd != p) {
                ++res.rows;
                RowFields f;
                if (!splitRow(p, lineEnd, r, f)) {
                    closeBatch(res, out, positions);
                    int32_t fieldCount = 0;
                    forEachField(p, lineEnd, r.Delim, [&](const char*, const char*) { return ++fieldCount > 0; });
                    return recordShortRow(res, p, lineEnd, fieldCount, r);
                }
                if (r.markerPlace) cutMarker(f);
                addKeys(f);
                RowFault fault = handleRow<true>(p, lineEnd, f, r, state, res, out);
                if (fault != RowFault::none) {
                    closeBatch(res, out, positions);
                    return recordBadField(res, fault, f);
                }
            }
            p = next;
        }
        closeBatch(res, out, positions);
    }
}

}  // namespace

// Parses whole lines [p, end), stopping at the first fatal row.
void parseLines(char* p, char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    clearUpperVectorState();
    res.reset();
    if (r.strongestBar != nullptr) res.strongestBar = r.strongestBar->load(std::memory_order_relaxed);
    res.base = p;
    state.memo.prepare(r.logp);
    state.lastRunIsId = false;
    state.valid = false;  // the piece notes its own unselected IDs, whichever piece this thread parsed before
    if (!r.Delim.whitespaceRuns && r.lastColumn <= kFieldEndsAtOnce && r.Delim.ch != '\n') {
        // The windows find carriage returns too: the lines from the first window that holds one on, and those
        // from a line longer than a window on, are parsed one by one.
        const size_t done = parseWindowedLines(p, end, r, state, res);
        if (res.fault != RowFault::none) return;
        p += done;
    }
    parseLinesOneByOne(p, end, r, state, res);
}

}  // namespace vennrick
