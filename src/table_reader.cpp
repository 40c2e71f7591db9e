#include "table_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "numbers.h"
#include "table_source.h"
#include "write_all.h"

namespace vennrick {
namespace {

const char kPvalueMessage[] = "Cannot read p-value. Did you forget to specify header?\n";
const char kPosMessage[] = "Cannot read pos value. Did you forget to specify header?\n";
constexpr size_t kHitBufferBytes = size_t{1} << 20;  // hit rows are written in pieces of about this size

// ---------------------------------------------------------------------------------------------------------
// Hit file

void writeOrRemember(HitFile& hits, const char* bytes, size_t size) {
    if (hits.failed || size == 0) return;
    if (!writeAll(hits.fd, bytes, size)) {
        hits.failed = true;
        hits.error = errno != 0 ? errno : EIO;
    }
}

void flushHits(HitFile& hits) {
    writeOrRemember(hits, hits.buffer.data(), hits.buffer.size());
    hits.buffer.clear();
}

void appendHits(HitFile& hits, const char* bytes, size_t size) {
    if (hits.buffer.size() + size > kHitBufferBytes) {
        flushHits(hits);
        if (size >= kHitBufferBytes) return writeOrRemember(hits, bytes, size);
    }
    hits.buffer.insert(hits.buffer.end(), bytes, bytes + size);
}

Fatal writeFailure(const HitFile& hits) {
    return Fatal{"", "cannot write the hit file '" + hits.path + "': " + std::strerror(hits.error)};
}

// ---------------------------------------------------------------------------------------------------------
// Rows

// What every row is tested against, taken once from the settings.
struct RowRules {
    Delimiter Delim;
    int32_t idcolumn = 0, column = 0, poscolumn = 0;  // 1-based; poscolumn 0 for none
    int32_t lastColumn = 0;                            // rows are split up to this column and no further
    std::array<int32_t, 3> wanted{};                   // the columns in use, ascending, each once
    int wantedCount = 0;                               // entries of wanted in use, >= 1
    std::string_view Missing;
    const ChromSelection* SelChrom = nullptr;
    PositionWindow window;
    int32_t divvalue = 1;
    double threshold = 0;  // the single-precision threshold widened to double
    bool logp = false;     // the p-value column already holds -log10(p)
};

enum class RowFault { none, tooFewFields, pvalue, pos };

// The kept rows of one piece of the file, in file order, and the hit rows among them.
struct PieceResult {
    std::vector<IdRun> runs;
    std::vector<double> values;
    std::vector<int32_t> positions;
    double minY = PlotData{}.minY;
    double maxY = PlotData{}.maxY;
    std::string hits;    // hit rows, each followed by "\n"
    uint64_t lines = 0;  // lines of the piece, empty ones included
    uint64_t rows = 0;   // non-empty lines
    RowFault fault = RowFault::none;  // the piece stops at its first fatal row
    uint64_t faultLine = 0;           // 1-based line of that row within the piece

    void reset() {
        runs.clear();
        values.clear();
        positions.clear();
        minY = PlotData{}.minY;
        maxY = PlotData{}.maxY;
        hits.clear();
        lines = rows = faultLine = 0;
        fault = RowFault::none;
    }
};

// What a parsing thread keeps from row to row. Rows of one chromosome come together: the selection answer
// for the last ID seen is kept, and whether the piece's last run has that ID.
struct ParserState {
    std::string id;            // ID of the last row tested against the selection
    bool selected = false;     // whether that ID is selected
    bool valid = false;        // id and selected hold an answer
    bool lastRunIsId = false;  // the last run of the piece being parsed has that ID
};

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

// Finds the delimiters and line ends of a piece 64 bytes at a time, as bit masks, so that a row is cut into its
// fields without a call or a loop per field. Rows are short (30 bytes in a typical table) and split up to
// their last column in use, where memchr per field and per line would cost a call per few bytes.
// Reads whole 64-byte blocks: up to kScanSlack bytes after the end must be readable (their content is ignored).
constexpr size_t kScanSlack = 64;

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

// ---------------------------------------------------------------------------------------------------------
// Pieces of whole lines

struct Piece {
    std::vector<char> bytes;  // storage, kept at its size between uses; lines are [begin, end)
    size_t begin = 0, end = 0;
    PieceResult result;
    bool parsed = false;  // guarded by the pool's mutex while workers run
};

// Cuts the data into pieces of about chunkBytes that end at a line end (or at the end of the data).
struct LineChunker {
    DataSource* source = nullptr;
    size_t chunkBytes = 0;
    std::vector<char> carry;  // the start of a line whose end has not been read yet
    bool atEnd = false;
    bool first = true;           // the next piece starts the data: a byte-order mark is skipped
    std::optional<Fatal> error;  // a read failure; the data ends before it
};

bool nextPiece(LineChunker& c, Piece& piece) {
    size_t used = c.carry.size();
    if (piece.bytes.size() < used + c.chunkBytes) piece.bytes.resize(used + c.chunkBytes);
    if (used > 0) std::memcpy(piece.bytes.data(), c.carry.data(), used);
    c.carry.clear();
    size_t scanFrom = used;
    while (!c.atEnd) {
        if (piece.bytes.size() - used < c.chunkBytes / 2) piece.bytes.resize(piece.bytes.size() + c.chunkBytes);
        Outcome<size_t> n = readBlock(*c.source, piece.bytes.data() + used, piece.bytes.size() - used);
        if (Fatal* fatal = std::get_if<Fatal>(&n)) {
            // The whole lines before the failure are read as usual and the error is reported after them;
            // the incomplete line is dropped.
            c.error = *fatal;
            c.atEnd = true;
            const char* last = used > 0 ? static_cast<const char*>(memrchr(piece.bytes.data(), '\n', used)) : nullptr;
            used = last != nullptr ? static_cast<size_t>(last - piece.bytes.data()) + 1 : 0;
            break;
        }
        if (std::get<size_t>(n) == 0) {
            c.atEnd = true;
            break;
        }
        used += std::get<size_t>(n);
        const char* data = piece.bytes.data();
        const char* last = static_cast<const char*>(memrchr(data + scanFrom, '\n', used - scanFrom));
        if (last != nullptr) {
            size_t cut = static_cast<size_t>(last - data) + 1;
            c.carry.assign(data + cut, data + used);
            used = cut;
            break;
        }
        scanFrom = used;  // no line end yet: a line longer than a piece, read on
    }
    piece.begin = 0;
    piece.end = used;
    if (piece.bytes.size() < used + kScanSlack) piece.bytes.resize(used + kScanSlack);
    if (c.first && used >= 3 && std::memcmp(piece.bytes.data(), "\xEF\xBB\xBF", 3) == 0) piece.begin = 3;
    c.first = false;
    return used > 0;
}

// Reads the rest of the data without parsing it, to learn whether it is intact.
void checkRestOfData(LineChunker& c) {
    std::vector<char> scratch(size_t{1} << 20);
    while (!c.atEnd) {
        Outcome<size_t> n = readBlock(*c.source, scratch.data(), scratch.size());
        if (Fatal* fatal = std::get_if<Fatal>(&n)) c.error = *fatal;
        c.atEnd = c.error || std::get<size_t>(n) == 0;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Worker threads

// Parses pieces on worker threads; the reading thread hands them out and merges them in file order.
struct ParsePool {
    std::mutex mutex;
    std::condition_variable workReady, pieceParsed;
    std::deque<Piece*> queue;
    bool stopping = false;
    std::vector<std::thread> workers;

    ~ParsePool() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            queue.clear();
        }
        workReady.notify_all();
        for (std::thread& worker : workers) worker.join();
    }
};

void workerLoop(ParsePool& pool, const RowRules& rules) {
    ParserState state;
    for (;;) {
        Piece* piece;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.workReady.wait(lock, [&] { return pool.stopping || !pool.queue.empty(); });
            if (pool.stopping) return;
            piece = pool.queue.front();
            pool.queue.pop_front();
        }
        parseLines(piece->bytes.data() + piece->begin, piece->bytes.data() + piece->end, rules, state, piece->result);
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            piece->parsed = true;
        }
        pool.pieceParsed.notify_all();
    }
}

// ---------------------------------------------------------------------------------------------------------
// Progress on a terminal

struct Progress {
    std::ostream* err = nullptr;  // null when no progress is shown
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw = start;
    bool drawn = false;

    void update(uint64_t consumed, uint64_t total, uint64_t rows) {
        if (err == nullptr) return;
        auto now = std::chrono::steady_clock::now();
        if (now - lastDraw < std::chrono::milliseconds(250)) return;
        lastDraw = now;
        double seconds = std::chrono::duration<double>(now - start).count();
        char line[96];
        int percent = total > 0 ? static_cast<int>(std::min<uint64_t>(100, consumed * 100 / total)) : 0;
        std::snprintf(line, sizeof line, "\rreading: %3d%%  %.1f M rows/s ", percent,
                      seconds > 0 ? static_cast<double>(rows) / seconds / 1e6 : 0.0);
        *err << line << std::flush;
        drawn = true;
    }
    ~Progress() {
        if (drawn) *err << '\r' << std::string(40, ' ') << '\r' << std::flush;
    }
};

// ---------------------------------------------------------------------------------------------------------
// Merging

struct MergeState {
    uint64_t linesMerged = 0;  // data lines (after the header) in merged pieces
    uint64_t rowsMerged = 0;   // non-empty lines among them
    uint64_t bytesMerged = 0;  // bytes of merged pieces
};

// An upper bound of the kept rows of the whole file, from the rows per byte so far, so that the lists are
// reserved once near their final size instead of doubling past it. Reserved pages that are never written
// cost no memory.
size_t estimateRows(const MergeState& state, const DataSource& source) {
    if (source.fileBytes == 0 || state.bytesMerged == 0) return 0;
    double plainTotal = static_cast<double>(source.fileBytes);
    if (source.bgzf != nullptr) {
        uint64_t consumed = fileBytesConsumed(source);
        if (consumed == 0) return 0;
        plainTotal = static_cast<double>(source.plainBytesRead) * static_cast<double>(source.fileBytes) /
                     static_cast<double>(consumed);
    }
    double rows = static_cast<double>(state.rowsMerged) / static_cast<double>(state.bytesMerged) * plainTotal;
    return static_cast<size_t>(rows * 1.05) + 4096;
}

// The kept-row lists reach hundreds of megabytes, written page by page as pieces are merged, and every new
// page costs a fault: measured, the faults took longer than the copying. The whole pages a piece is about to
// fill are asked for in one call instead. Only advice: where the system lacks it, the faults happen as before.
void prepareToWrite(const void* begin, size_t bytes) {
#if defined(MADV_POPULATE_WRITE)
    static const uintptr_t pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + pageSize - 1) & ~(pageSize - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(pageSize - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)bytes;
#endif
}

template <class T>
void appendReserved(std::vector<T>& list, const std::vector<T>& more, size_t estimate) {
    size_t need = list.size() + more.size();
    if (need > list.capacity()) list.reserve(std::max({need, estimate, list.capacity() + list.capacity() / 4}));
    prepareToWrite(list.data() + list.size(), more.size() * sizeof(T));
    list.insert(list.end(), more.begin(), more.end());
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

// Adds a parsed piece to the plot data and its hit rows to the hit file; a fatal row ends the read.
std::optional<Fatal> mergePiece(Piece& piece, PlotData& data, HitFile& hits, MergeState& state,
                                const RowRules& rules, const DataSource& source, uint64_t headerLines) {
    PieceResult& res = piece.result;
    state.rowsMerged += res.rows;
    state.bytesMerged += piece.end;
    const size_t estimate = estimateRows(state, source);
    appendReserved(data.Value_list, res.values, estimate);
    if (rules.poscolumn != 0) appendReserved(data.Pos_list, res.positions, estimate);
    for (IdRun& run : res.runs) {
        if (!data.ID_list.empty() && data.ID_list.back().id == run.id) {
            data.ID_list.back().count += run.count;
        } else {
            data.ID_list.push_back(std::move(run));
        }
    }
    data.maxX += static_cast<int64_t>(res.values.size());
    if (res.minY < data.minY) data.minY = res.minY;
    if (res.maxY > data.maxY) data.maxY = res.maxY;
    appendHits(hits, res.hits.data(), res.hits.size());
    if (res.fault != RowFault::none)
        return rowFatal(res, rules, source.path, headerLines + state.linesMerged + res.faultLine);
    state.linesMerged += res.lines;
    if (hits.failed) return writeFailure(hits);
    return std::nullopt;
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

// Ends the read on a fatal outcome: what was written so far reaches the hit file.
Fatal stopWith(Fatal fatal, HitFile& hits) {
    closeHitFile(hits);
    return fatal;
}

}  // namespace

std::optional<Fatal> refuseOverwritingData(const PlotSettings& settings) {
    struct stat dataFile;
    if (stat(settings.Filename.c_str(), &dataFile) != 0) return std::nullopt;  // reported when it is opened
    for (const std::string& name : {settings.Outname, settings.Outname + ".jpg"}) {
        struct stat outFile;
        if (stat(name.c_str(), &outFile) == 0 && outFile.st_dev == dataFile.st_dev && outFile.st_ino == dataFile.st_ino)
            return Fatal{"", "refusing to run: writing '" + name + "' would overwrite the data file '" +
                                 settings.Filename + "'"};
    }
    return std::nullopt;
}

std::optional<Fatal> closeHitFile(HitFile& hits) {
    if (hits.fd < 0) return std::nullopt;
    flushHits(hits);
    if (close(hits.fd) != 0 && !hits.failed) {
        hits.failed = true;
        hits.error = errno;
    }
    hits.fd = -1;
    hits.buffer = std::vector<char>();
    if (hits.failed) return writeFailure(hits);
    return std::nullopt;
}

Outcome<TableRead> readTable(const PlotSettings& settings, std::ostream& out, std::ostream& err,
                             const ReadOptions& options) {
    TableRead read;
    HitFile& hits = read.hits;
    PlotData& data = read.data;
    hits.path = settings.Outname;
    hits.fd = open(settings.Outname.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (hits.fd < 0)
        return Fatal{"", "cannot open the hit file '" + settings.Outname + "' for writing: " + std::strerror(errno)};
    hits.buffer.reserve(kHitBufferBytes);

    const unsigned threads = std::max(options.threads, 1u);
    clearUpperVectorState();  // before any thread is started: the decompression threads inherit it too
    Outcome<DataSource> opened = openDataSource(settings.Filename, threads);
    if (Fatal* fatal = std::get_if<Fatal>(&opened)) return stopWith(*fatal, hits);
    DataSource& source = std::get<DataSource>(opened);

    const RowRules rules = rulesFrom(settings);
    const size_t slotCount = threads > 1 ? threads + 2 : 1;
    std::vector<Piece> pieces(slotCount);
    LineChunker chunker;
    chunker.source = &source;
    chunker.chunkBytes = std::max<size_t>(options.chunkBytes, 64);

    // Header: the first line pieces are read here, line by line; the rest of the piece holds the first rows.
    Piece& first = pieces[0];
    bool haveData = nextPiece(chunker, first);
    auto ensureLine = [&] {
        while (haveData && first.begin == first.end) haveData = nextPiece(chunker, first);
        return haveData;
    };
    uint64_t headerLines = 0;
    if (ensureLine() && settings.headeryes == 1) {
        out << "Header size " << settings.headersize << "\n";
        std::string lastHeaderLine;  // lines read past the end of the file are empty
        for (int32_t count = 0; count < settings.headersize && ensureLine(); ++count) {
            char* line = first.bytes.data() + first.begin;
            char* newline = static_cast<char*>(std::memchr(line, '\n', first.end - first.begin));
            char* lineEnd = newline != nullptr ? newline : first.bytes.data() + first.end;
            first.begin = newline != nullptr ? first.begin + static_cast<size_t>(newline - line) + 1 : first.end;
            ++headerLines;
            if (count == settings.headersize - 1) lastHeaderLine.assign(line, dropCarriageReturns(line, lineEnd));
        }
        lastHeaderLine += '\n';
        appendHits(hits, lastHeaderLine.data(), lastHeaderLine.size());
    } else {
        out << "No header" << "\n";
    }
    ensureLine();

    ParsePool pool;
    if (threads > 1) {
        for (unsigned i = 0; i < threads; ++i) pool.workers.emplace_back(workerLoop, std::ref(pool), std::cref(rules));
    }
    ParserState parser;  // of the reading thread, when it parses itself
    Progress progress;
    if (options.showProgress) progress.err = &err;
    MergeState state;

    // Pieces are parsed in any order and merged strictly in file order, so the outcome, including which
    // fatal row is reported, is the same as reading line by line.
    size_t submitted = 0, merged = 0;
    bool sourceDone = !haveData;
    for (;;) {
        while (!sourceDone && submitted - merged < slotCount) {
            Piece& piece = pieces[submitted % slotCount];
            if (submitted > 0 && !nextPiece(chunker, piece)) {
                sourceDone = true;
                break;
            }
            if (threads > 1) {
                {
                    std::lock_guard<std::mutex> lock(pool.mutex);
                    piece.parsed = false;
                    pool.queue.push_back(&piece);
                }
                pool.workReady.notify_one();
            } else {
                parseLines(piece.bytes.data() + piece.begin, piece.bytes.data() + piece.end, rules, parser, piece.result);
            }
            ++submitted;
        }
        if (merged == submitted) break;
        Piece& piece = pieces[merged % slotCount];
        if (threads > 1) {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.pieceParsed.wait(lock, [&] { return piece.parsed; });
        }
        if (std::optional<Fatal> fatal = mergePiece(piece, data, hits, state, rules, source, headerLines)) {
            // Damaged compressed data can decode to rows of garbage before the damage shows; such a row must
            // not be taken for the cause. The rest of the compressed data is checked first.
            if (piece.result.fault != RowFault::none && source.bgzf != nullptr) {
                checkRestOfData(chunker);
                if (chunker.error) return stopWith(*chunker.error, hits);
            }
            return stopWith(*fatal, hits);
        }
        ++merged;
        progress.update(fileBytesConsumed(source), source.fileBytes, state.rowsMerged);
    }
    if (chunker.error) return stopWith(*chunker.error, hits);
    if (hits.failed) return stopWith(writeFailure(hits), hits);
    return read;
}

}  // namespace vennrick
