// The row parser: cuts whole lines into the fields in use and tests each row, in the documented order, for
// the plot data and the hit file. Runs on the parsing threads, one piece of the file at a time.
#include "row_parser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "numbers.h"

namespace vennrick {
namespace {

const char kPvalueMessage[] = "Cannot read p-value. Did you forget to specify header?\n";
const char kPosMessage[] = "Cannot read pos value. Did you forget to specify header?\n";

struct RowFields {
    std::string_view id, value, pos;
};

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

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
    int32_t col = 1;
    if (r.Delim.whitespaceRuns) {
        while (p < end && isBlank(*p)) ++p;
        for (;;) {
            if (p == end) return false;
            const char* fieldEnd = p;
            while (fieldEnd < end && !isBlank(*fieldEnd)) ++fieldEnd;
            takeField(col, p, fieldEnd, r, f);
            if (col == r.lastColumn) return true;
            p = fieldEnd;
            while (p < end && isBlank(*p)) ++p;
            ++col;
        }
    }
    for (;;) {
        const char* delim = static_cast<const char*>(std::memchr(p, r.Delim.ch, static_cast<size_t>(end - p)));
        const char* fieldEnd = delim != nullptr ? delim : end;
        takeField(col, p, fieldEnd, r, f);
        if (col == r.lastColumn) return true;
        if (delim == nullptr) return false;
        p = delim + 1;
        ++col;
    }
}

// Tests one non-empty row, already split, in the documented order and, when it is kept, adds it to the
// piece's result.
RowFault handleRow(const char* begin, const char* end, const RowFields& f, const RowRules& r, ParserState& state,
                   PieceResult& res) {
    if (sameText(f.value, r.Missing)) return RowFault::none;

    double value;
    std::optional<double> number = parseDouble(f.value);
    if (r.logp) {
        if (number) {
            value = *number;
        } else if (std::optional<double> tiny = minusLog10OfTinyNumber(f.value)) {
            value = std::isnan(*tiny) ? -0.0 : 0.0;  // a -log10(p) too close to 0 for a double: it is 0
        } else {
            return RowFault::pvalue;
        }
    } else if (number) {
        if (*number == 0) return RowFault::none;
        value = -std::log10(*number);
    } else if (std::optional<double> tiny = minusLog10OfTinyNumber(f.value)) {
        value = *tiny;  // a p-value below the double range, e.g. 1e-400: very significant, not 0
    } else {
        return RowFault::pvalue;
    }

    if (!state.valid || !sameText(state.id, f.id)) {
        state.selected = selectionContains(*r.SelChrom, f.id);
        state.id.assign(f.id);
        state.valid = true;
        state.lastRunIsId = !res.runs.empty() && res.runs.back().id == f.id;
    }
    if (!state.selected) return RowFault::none;

    if (r.poscolumn != 0) {
        std::optional<int32_t> pos = parseInt(f.pos);
        if (!pos) return RowFault::pos;
        if (r.window.posrangeallowed == 1) {
            if (*pos < r.window.startpos || *pos > r.window.endpos) return RowFault::none;
            res.positions.push_back(*pos);
        } else {
            res.positions.push_back(*pos / r.divvalue);
        }
    }

    if (state.lastRunIsId) {
        ++res.runs.back().count;
    } else {
        res.runs.push_back(IdRun{std::string(f.id), 1});
        state.lastRunIsId = true;
    }
    res.values.push_back(value);
    if (value < res.minY) res.minY = value;
    if (value > res.maxY) res.maxY = value;
    if (value >= r.threshold) {
        res.hits.append(begin, static_cast<size_t>(end - begin));
        res.hits.push_back('\n');
    }
    return RowFault::none;
}

// Finds the delimiters and line ends of a piece 64 bytes at a time, as bit masks, so that a row is cut into its
// fields without a call or a loop per field. Rows are short (30 bytes in a typical table) and split up to
// their last column in use, where memchr per field and per line would cost a call per few bytes.
// Reads whole 64-byte blocks: up to kScanSlack bytes after the end must be readable (their content is ignored).
class StopScanner {
public:
    struct Stop {
        const char* at;  // the delimiter or line end; the end of the data when there is none
        bool lineEnd;    // a line end or the end of the data
    };

    StopScanner(const char* begin, const char* end, char delimiter)
        : block_(begin), end_(end), delimiter_(delimiter) {
        loadBlock();
    }

    Stop nextStop() {
        while (pending_ == 0) {
            if (!nextBlock()) return Stop{end_, true};
        }
        const uint64_t lowest = pending_ & (~pending_ + 1);
        pending_ ^= lowest;
        return Stop{block_ + __builtin_ctzll(lowest), (lineEnds_ & lowest) != 0};
    }

    // The next line end, passing over the delimiters before it; the end of the data when there is none.
    const char* nextLineEnd() {
        while ((pending_ & lineEnds_) == 0) {
            if (!nextBlock()) return end_;
        }
        const uint64_t lineEnds = pending_ & lineEnds_;
        const uint64_t lowest = lineEnds & (~lineEnds + 1);
        pending_ &= ~(lowest << 1) + 1;  // keeps the bits above the line end
        return block_ + __builtin_ctzll(lowest);
    }

private:
    bool nextBlock() {
        if (end_ - block_ <= 64) return false;
        block_ += 64;
        loadBlock();
        return true;
    }

    void loadBlock() {
        uint64_t delimiters = 0, lineEnds = 0;
#if defined(__SSE2__)
        const __m128i delimiter = _mm_set1_epi8(delimiter_), newline = _mm_set1_epi8('\n');
        for (int i = 0; i < 4; ++i) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block_ + 16 * i));
            delimiters |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, delimiter))))
                          << (16 * i);
            lineEnds |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))))
                        << (16 * i);
        }
#else
        for (int i = 0; i < 64; ++i) {
            delimiters |= static_cast<uint64_t>(block_[i] == delimiter_) << i;
            lineEnds |= static_cast<uint64_t>(block_[i] == '\n') << i;
        }
#endif
        const ptrdiff_t left = end_ - block_;
        const uint64_t valid = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
        lineEnds_ = lineEnds & valid;
        pending_ = (delimiters | lineEnds) & valid;
    }

    const char* block_;  // start of the 64-byte block the masks describe; bit i stands for block_[i]
    const char* end_;
    char delimiter_;
    uint64_t lineEnds_ = 0;  // the line ends of the block
    uint64_t pending_ = 0;   // the delimiters and line ends of the block not yet passed
};

// Parses whole lines [p, end) of a piece without carriage returns, split at a single delimiter character.
// Only the fields of the columns in use are kept, so the work and memory of a row follow its length, never
// the column numbers.
void parsePlainLines(const char* p, const char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    StopScanner scanner(p, end, r.Delim.ch);
    while (p < end) {
        ++res.lines;
        StopScanner::Stop stop = scanner.nextStop();
        if (stop.at == p && stop.lineEnd) {  // an empty line
            p = stop.at + 1;
            continue;
        }
        ++res.rows;
        RowFields f;
        const char* fieldBegin = p;
        for (int32_t col = 1, w = 0;; ++col) {
            if (col == r.wanted[w]) {
                takeField(col, fieldBegin, stop.at, r, f);
                if (++w == r.wantedCount) break;
            }
            if (stop.lineEnd) {
                res.fault = RowFault::tooFewFields;
                res.faultLine = res.lines;
                return;
            }
            fieldBegin = stop.at + 1;
            stop = scanner.nextStop();
        }
        const char* lineEnd = stop.lineEnd ? stop.at : scanner.nextLineEnd();
        RowFault fault = handleRow(p, lineEnd, f, r, state, res);
        if (fault != RowFault::none) {
            res.fault = fault;
            res.faultLine = res.lines;
            return;
        }
        if (lineEnd == end) return;  // the last line had no line end
        p = lineEnd + 1;
    }
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
    std::array<int32_t, 3> columns = {s.idcolumn, s.column, s.poscolumn};
    std::sort(columns.begin(), columns.end());
    for (int32_t col : columns) {
        if (col >= 1 && (r.wantedCount == 0 || r.wanted[r.wantedCount - 1] != col)) r.wanted[r.wantedCount++] = col;
    }
    r.Missing = s.Missing;
    r.SelChrom = &s.SelChrom;
    r.window = s.window;
    r.divvalue = s.divvalue;
    r.threshold = static_cast<double>(s.threshold);
    r.logp = s.logpyes == 1;
    return r;
}

Fatal rowFatal(const PieceResult& res, const RowRules& rules, const std::string& path, uint64_t lineNumber) {
    const std::string where = "'" + path + "' line " + std::to_string(lineNumber) + ": ";
    switch (res.fault) {
        case RowFault::tooFewFields:
            return Fatal{kPvalueMessage, where + "the row has fewer than " + std::to_string(rules.lastColumn) + " fields"};
        case RowFault::pos:
            return Fatal{kPosMessage, where + "the position field is not a 32-bit integer"};
        default:
            return Fatal{kPvalueMessage, where + "the p-value field is not a number"};
    }
}

// Parses whole lines [p, end), stopping at the first fatal row.
void parseLines(char* p, char* end, const RowRules& r, ParserState& state, PieceResult& res) {
    clearUpperVectorState();
    res.reset();
    state.lastRunIsId = false;
    const bool hasCarriageReturn = p < end && std::memchr(p, '\r', static_cast<size_t>(end - p)) != nullptr;
    if (!hasCarriageReturn && !r.Delim.whitespaceRuns) return parsePlainLines(p, end, r, state, res);
    while (p < end) {
        char* newline = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        char* lineEnd = newline != nullptr ? newline : end;
        char* next = newline != nullptr ? newline + 1 : end;
        ++res.lines;
        if (hasCarriageReturn) lineEnd = dropCarriageReturns(p, lineEnd);
        if (lineEnd != p) {
            ++res.rows;
            RowFields f;
            RowFault fault = splitRow(p, lineEnd, r, f) ? handleRow(p, lineEnd, f, r, state, res) : RowFault::tooFewFields;
            if (fault != RowFault::none) {
                res.fault = fault;
                res.faultLine = res.lines;
                return;
            }
        }
        p = next;
    }
}

}  // namespace vennrick
