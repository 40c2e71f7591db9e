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
#include <system_error>
#include <thread>

#include "column_names.h"
#include "row_parser.h"
#include "table_source.h"

namespace vennrick {
namespace {

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

// Starts one more worker. Where no thread can be had, the workers there are do the work (none: the reading
// thread parses).
void addWorker(ParsePool& pool, const RowRules& rules) {
    try {
        pool.workers.emplace_back(workerLoop, std::ref(pool), std::cref(rules));
    } catch (const std::system_error&) {
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
    uint64_t bytesMerged = 0;  // bytes of merged pieces; their lines and rows are counted in the read's summary
};

// An upper bound of the kept rows of the whole file, from the rows per byte so far, so that the lists are
// reserved once near their final size instead of doubling past it. Reserved pages that are never written
// cost no memory.
size_t estimateRows(const ReadSummary& summary, const MergeState& state, const DataSource& source) {
    if (source.fileBytes == 0 || state.bytesMerged == 0) return 0;
    double plainTotal = static_cast<double>(source.fileBytes);
    if (isDecompressed(source)) {
        uint64_t consumed = fileBytesConsumed(source);
        if (consumed == 0) return 0;
        plainTotal = static_cast<double>(source.plainBytesRead) * static_cast<double>(source.fileBytes) /
                     static_cast<double>(consumed);
    }
    double rows = static_cast<double>(summary.rows) / static_cast<double>(state.bytesMerged) * plainTotal;
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

// Adds a piece's hit records, whose rows count from firstRow in the whole table.
void appendHitRows(HitRows& all, const HitRows& piece, int64_t firstRow) {
    const uint64_t textShift = all.texts.size();
    all.texts += piece.texts;
    const size_t at = all.records.size();
    all.records.insert(all.records.end(), piece.records.begin(), piece.records.end());
    for (size_t i = at; i < all.records.size(); ++i) {
        all.records[i].row += firstRow;
        all.records[i].textAt += textShift;
    }
}

// Adds a parsed piece to the plot data, its hit rows to the hit file and its counts to the summary; a fatal row
// ends the read.
std::optional<Fatal> mergePiece(Piece& piece, TableRead& read, MergeState& state, const RowRules& rules,
                                const DataSource& source) {
    PlotData& data = read.data;
    HitFile& hits = read.hits;
    ReadSummary& summary = read.summary;
    PieceResult& res = piece.result;
    const uint64_t linesBefore = summary.headerLines + summary.lines;
    summary.lines += res.lines;
    summary.rows += res.rows;
    summary.counts.add(res.counts);
    addIdSamples(summary.unselectedIds, res.unselectedIds);
    state.bytesMerged += piece.end;
    const size_t estimate = estimateRows(summary, state, source);
    if (rules.collectHits) appendHitRows(read.hitRows, res.hitRows, data.maxX);
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
    if (res.fault != RowFault::none) return rowFatal(res, rules, source.path, linesBefore + res.faultLine);
    if (hits.failed) return writeFailure(hits);
    return std::nullopt;
}

// Ends the read on a fatal outcome: what was written so far reaches the hit file.
Fatal stopWith(Fatal fatal, HitFile& hits) {
    closeHitFile(hits);
    return fatal;
}

}  // namespace

Outcome<TableRead> readTable(const PlotSettings& given, std::ostream& out, std::ostream& err,
                             const ReadOptions& options) {
    TableRead read;
    read.settings = given;
    PlotSettings& settings = read.settings;

    const unsigned threads = std::max(options.threads, 1u);
    clearUpperVectorState();  // before any thread is started: the decompression threads inherit it too
    Outcome<DataSource> opened = openDataSource(settings.Filename, threads);
    if (Fatal* fatal = std::get_if<Fatal>(&opened)) return *fatal;
    DataSource& source = std::get<DataSource>(opened);

    const size_t slotCount = threads > 1 ? threads + 2 : 1;
    std::vector<Piece> pieces(slotCount);
    LineChunker chunker;
    chunker.source = &source;
    chunker.chunkBytes = std::max<size_t>(options.chunkBytes, 64);

    // Header: the first line pieces are read here, line by line; the rest of the piece holds the first rows.
    // The data must prove readable before the hit file is made.
    Piece& first = pieces[0];
    bool haveData = nextPiece(chunker, first);
    if (!haveData && chunker.error) return *chunker.error;
    auto ensureLine = [&] {
        while (haveData && first.begin == first.end) haveData = nextPiece(chunker, first);
        return haveData;
    };
    const bool header = ensureLine() && settings.headeryes == 1;
    std::string lastHeaderLine;  // lines read past the end of the file are empty
    if (header) {
        for (int32_t count = 0; count < settings.headersize && ensureLine(); ++count) {
            char* line = first.bytes.data() + first.begin;
            char* newline = static_cast<char*>(std::memchr(line, '\n', first.end - first.begin));
            char* lineEnd = newline != nullptr ? newline : first.bytes.data() + first.end;
            first.begin = newline != nullptr ? first.begin + static_cast<size_t>(newline - line) + 1 : first.end;
            ++read.summary.headerLines;
            if (count == settings.headersize - 1) lastHeaderLine.assign(line, dropCarriageReturns(line, lineEnd));
        }
    }
    if (settings.names.on) {
        Outcome<ColumnChoice> chosen = chooseColumns(lastHeaderLine, header, settings);
        if (Fatal* fatal = std::get_if<Fatal>(&chosen)) return *fatal;
        applyColumns(std::get<ColumnChoice>(chosen), settings);
        if (settings.quiet == 0) printLines(err, std::get<ColumnChoice>(chosen).notes);
        if (std::optional<Fatal> refused = refuseLociWithoutPositions(settings)) return *refused;
    }

    Outcome<HitFile> hitOpened = openHitFile(settings.Outname);
    if (Fatal* fatal = std::get_if<Fatal>(&hitOpened)) return *fatal;
    read.hits = std::move(std::get<HitFile>(hitOpened));
    HitFile& hits = read.hits;
    if (header) {
        out << "Header size " << settings.headersize << "\n";
        lastHeaderLine += '\n';
        appendHits(hits, lastHeaderLine.data(), lastHeaderLine.size());
    } else {
        out << "No header" << "\n";
    }
    ensureLine();
    const RowRules rules = rulesFrom(settings);

    ParsePool pool;  // its workers are started as pieces are handed out: a small table starts only those it needs
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
            if (threads > 1 && pool.workers.size() < threads) addWorker(pool, rules);
            if (!pool.workers.empty()) {
                {
                    std::lock_guard<std::mutex> lock(pool.mutex);
                    piece.parsed = false;
                    pool.queue.push_back(&piece);
                }
                pool.workReady.notify_one();
            } else {
                parseLines(piece.bytes.data() + piece.begin, piece.bytes.data() + piece.end, rules, parser, piece.result);
                piece.parsed = true;
            }
            ++submitted;
        }
        if (merged == submitted) break;
        Piece& piece = pieces[merged % slotCount];
        if (!pool.workers.empty()) {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.pieceParsed.wait(lock, [&] { return piece.parsed; });
        }
        if (std::optional<Fatal> fatal = mergePiece(piece, read, state, rules, source)) {
            // Damaged compressed data can decode to rows of garbage before the damage shows; such a row must
            // not be taken for the cause. The rest of the compressed data is checked first.
            if (piece.result.fault != RowFault::none && isDecompressed(source)) {
                checkRestOfData(chunker);
                if (chunker.error) return stopWith(*chunker.error, hits);
            }
            return stopWith(*fatal, hits);
        }
        ++merged;
        progress.update(fileBytesConsumed(source), source.fileBytes, read.summary.rows);
    }
    if (chunker.error) return stopWith(*chunker.error, hits);
    if (hits.failed) return stopWith(writeFailure(hits), hits);
    return read;
}

}  // namespace vennrick
