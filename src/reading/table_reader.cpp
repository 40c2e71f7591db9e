// Reading the table: the reading thread cuts pieces, parsing threads parse them, results are placed in file order.
#include "reading/table_reader.h"

#include "reading/region_gathering.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "reading/column_names.h"
#include "reading/row_parser.h"
#include "reading/table_source.h"

namespace vennrick {
namespace {

// ---------------------------------------------------------------------------------------------------------
// Pieces of whole lines

struct Piece {
    std::vector<char> bytes;  // storage, kept at its size between uses; lines are [begin, end)
    size_t begin = 0, end = 0;
    PieceResult result;
    // Where the kept rows' values and positions go in the plot data, once the piece is placed; null: nowhere.
    double* values = nullptr;
    int32_t* positions = nullptr;
    bool parsed = false;  // guarded by the pool's mutex while workers run, as is copied
    bool copied = false;  // the kept rows are in the plot data: the piece's slot may take the next piece
};

// Cuts the data into pieces of about chunkBytes that end at a line end (or at the end of the data).
struct LineChunker {
    DataSource* source = nullptr;
    size_t chunkBytes = 0;
    size_t maxLineBytes = kMaxLineBytes;  // a longer line ends the data with lineTooLong
    std::vector<char> carry;  // the start of a line whose end has not been read yet
    bool atEnd = false;
    bool first = true;           // the next piece starts the data: a byte-order mark is skipped
    std::optional<Fatal> error;  // a read failure; the data ends before it
    bool lineTooLong = false;    // the data ends before a line longer than maxLineBytes (error is set too)
};

// Grows a piece by a chunk for a line longer than the piece: by doubling while it is small, so that a long line
// is not copied again for every chunk; past 4 MiB at once to the most the longest line allowed needs. Such an
// allocation is mapped by pages, and only the pages the line fills are ever touched: the peak stays within
// the line's length above the run's usual memory, with no copy of a quarter-gigabyte line into a larger one.
void growPiece(LineChunker& c, Piece& piece) {
    const size_t want = piece.bytes.size() + c.chunkBytes;
    if (want > piece.bytes.capacity()) {
        constexpr size_t kDoublingBytes = size_t{4} << 20;
        const size_t most = c.maxLineBytes + 2 * c.chunkBytes + kScanSlack;
        piece.bytes.reserve(std::max(want, want <= kDoublingBytes ? 2 * piece.bytes.capacity() : most));
    }
    piece.bytes.resize(want);
}

bool nextPiece(LineChunker& c, Piece& piece) {
    size_t used = c.carry.size();
    if (piece.bytes.size() < used + c.chunkBytes) piece.bytes.resize(used + c.chunkBytes);
    if (used > 0) std::memcpy(piece.bytes.data(), c.carry.data(), used);
    c.carry.clear();
    size_t scanFrom = used;
    while (!c.atEnd) {
        if (piece.bytes.size() - used < c.chunkBytes / 2) growPiece(c, piece);
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
        // The piece's first line, begun in an earlier read, may end here beyond the limit.
        if (last != nullptr && used > c.maxLineBytes &&
            static_cast<size_t>(static_cast<const char*>(std::memchr(data + scanFrom, '\n', used - scanFrom)) - data) >
                c.maxLineBytes)
            last = nullptr;
        if (last != nullptr) {
            size_t cut = static_cast<size_t>(last - data) + 1;
            c.carry.assign(data + cut, data + used);
            used = cut;
            break;
        }
        scanFrom = used;  // no line end yet: a line longer than a piece, read on
        if (used > c.maxLineBytes) {  // the piece is that one line: it is dropped, and the data ends before it
            c.error = Fatal{"", "no line end within " + std::to_string(c.maxLineBytes) + " bytes"};
            c.lineTooLong = true;
            c.atEnd = true;
            used = 0;
            break;
        }
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

// Parses pieces on worker threads, and copies the kept rows of placed pieces into the plot data; the reading
// thread hands the pieces out and places them in file order.
struct ParsePool {
    struct Task {
        Piece* piece;
        bool copy;  // copy the placed piece's kept rows; otherwise parse the piece
    };
    std::mutex mutex;
    std::condition_variable workReady, pieceDone;
    std::deque<Task> queue;
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

// The kept-row lists reach hundreds of megabytes, written page by page as pieces are copied in, and every new
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

template <class T, class Allocator>
void copyList(T* to, const std::vector<T, Allocator>& from) {
    if (to == nullptr || from.empty()) return;
    prepareToWrite(to, from.size() * sizeof(T));
    std::memcpy(to, from.data(), from.size() * sizeof(T));
}

// Copies a placed piece's kept rows to their place in the plot data.
void copyIntoPlace(Piece& piece) {
    copyList(piece.values, piece.result.values);
    copyList(piece.positions, piece.result.positions);
}

void workerLoop(ParsePool& pool, const RowRules& rules) {
    ParserState state;
    for (;;) {
        ParsePool::Task task;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.workReady.wait(lock, [&] { return pool.stopping || !pool.queue.empty(); });
            if (pool.stopping) return;
            task = pool.queue.front();
            pool.queue.pop_front();
        }
        Piece& piece = *task.piece;
        if (task.copy) {
            copyIntoPlace(piece);
        } else {
            parseLines(piece.bytes.data() + piece.begin, piece.bytes.data() + piece.end, rules, state, piece.result);
        }
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            (task.copy ? piece.copied : piece.parsed) = true;
        }
        pool.pieceDone.notify_all();
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
// Placing pieces in file order

struct PlaceState {
    uint64_t bytesPlaced = 0;  // bytes of placed pieces; their lines and rows are counted in the read's summary
    int32_t lastPosition = 0;  // the position of the last kept row placed, as kept
    RegionGathering regions;   // the rows of the regional plots
};

// An upper bound of the kept rows of the whole file, from the rows per byte so far, so that the lists are
// reserved once near their final size instead of doubling past it. Reserved pages that are never written
// cost no memory.
size_t estimateRows(const ReadSummary& summary, const PlaceState& state, const DataSource& source) {
    if (source.fileBytes == 0 || state.bytesPlaced == 0) return 0;
    double plainTotal = static_cast<double>(source.fileBytes);
    if (isDecompressed(source)) {
        uint64_t consumed = fileBytesConsumed(source);
        if (consumed == 0) return 0;
        plainTotal = static_cast<double>(source.plainBytesRead) * static_cast<double>(source.fileBytes) /
                     static_cast<double>(consumed);
    }
    double rows = static_cast<double>(summary.rows) / static_cast<double>(state.bytesPlaced) * plainTotal;
    return static_cast<size_t>(rows * 1.05) + 4096;
}

// Whether the lists can take `more` rows without moving.
bool haveRoom(const PlotData& data, size_t more, bool positions) {
    const size_t need = data.Value_list.size() + more;
    return need <= data.Value_list.capacity() && (!positions || need <= data.Pos_list.capacity());
}

// Reserves room for `more` rows: the estimate of the whole file, or a quarter more than now. The lists move,
// so no copy into them may be under way.
void makeRoom(PlotData& data, size_t more, size_t estimate, bool positions) {
    const size_t need = data.Value_list.size() + more;
    const size_t capacity = std::max({need, estimate, data.Value_list.capacity() + data.Value_list.capacity() / 4});
    data.Value_list.reserve(capacity);
    if (positions) data.Pos_list.reserve(capacity);
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

// Takes in a parsed piece, after the pieces before it: its counts to the summary and its hit rows to the hit
// file. A fatal row ends the read.
std::optional<Fatal> countPiece(const Piece& piece, TableRead& read, PlaceState& state, const RowRules& rules,
                                const DataSource& source) {
    const PieceResult& res = piece.result;
    ReadSummary& summary = read.summary;
    const uint64_t linesBefore = summary.headerLines + summary.lines;
    summary.lines += res.lines;
    summary.rows += res.rows;
    summary.counts.add(res.counts);
    addIdSamples(summary.unselectedIds, res.unselectedIds);
    state.bytesPlaced += piece.end;
    appendHits(read.hits, res.hits.data(), res.hits.size());
    if (res.fault != RowFault::none) return rowFatal(res, rules, source.path, linesBefore + res.faultLine);
    if (hitsFailed(read.hits)) return writeFailure(read.hits);
    return std::nullopt;
}

// Places a counted piece's kept rows after those before it: runs, extremes and hit records to the plot data, and
// room at the end of the lists, where piece.values and piece.positions then point; the copy is left to a worker.
// The lists must have room for the rows (haveRoom): they do not move here.
void placeRows(Piece& piece, TableRead& read, PlaceState& state, const RowRules& rules) {
    PieceResult& res = piece.result;
    PlotData& data = read.data;
    if (rules.collectHits) appendHitRows(read.hitRows, res.hitRows, data.maxX);
    if (rules.strongestKept > 0) {
        appendHitRows(read.strongest, res.strongest, data.maxX);
        if (read.strongest.records.size() >= 2 * rules.strongestKept) {
            double bar = rules.strongestBar->load(std::memory_order_relaxed);
            keepStrongest(read.strongest, rules.strongestKept, bar);
            rules.strongestBar->store(bar, std::memory_order_relaxed);  // only this thread raises it
        }
    }
    if (state.regions.on) gatherRegionRows(state.regions, res.base, res, data.maxX);
    for (const HighlightMatch& m : res.highlighted) read.highlighted.push_back(HighlightMatch{m.row + data.maxX, m.entry});
    if (rules.poscolumn != 0 && !res.positions.empty()) {
        // A run that goes on from the piece before: its first position against the one before it.
        if (!data.ID_list.empty() && data.ID_list.back().id == res.runs.front().id)
            read.summary.counts.positionsBack += res.positions.front() < state.lastPosition;
        state.lastPosition = res.positions.back();
    }
    for (IdRun& run : res.runs) {
        if (!data.ID_list.empty() && data.ID_list.back().id == run.id) {
            data.ID_list.back().count += run.count;
        } else {
            data.ID_list.push_back(std::move(run));
        }
    }
    const size_t offset = data.Value_list.size(), kept = res.values.size();
    data.Value_list.resize(offset + kept);  // left unset: the copy writes them
    piece.values = data.Value_list.data() + offset;
    if (rules.poscolumn != 0) {
        data.Pos_list.resize(offset + kept);
        piece.positions = data.Pos_list.data() + offset;
    }
    data.maxX += static_cast<int64_t>(kept);
    if (res.minY < data.minY) data.minY = res.minY;
    if (res.maxY > data.maxY) data.maxY = res.maxY;
}

// The fatal outcome that ended the data: a read failure, or a line too long, named with its line number (the
// lines before it have all been counted).
Fatal chunkerFatal(const LineChunker& c, const TableRead& read, const DataSource& source) {
    if (!c.lineTooLong) return *c.error;
    const uint64_t line = read.summary.headerLines + read.summary.lines + 1;
    return Fatal{"", "'" + source.path + "' line " + std::to_string(line) + ": " + c.error->detail};
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

    // Two pieces in flight per thread, and two more: while the reading thread reads, places or parses a piece
    // itself, the workers still find pieces waiting (measured: 7% less time than one per thread on the plain
    // 10 M-row table, a tenth less on bgzip, whose inflating threads keep a pace of their own).
    const size_t slotCount = threads > 1 ? 2 * threads + 2 : 1;
    std::vector<Piece> pieces(slotCount);
    LineChunker chunker;
    chunker.source = &source;
    chunker.chunkBytes = std::max<size_t>(options.chunkBytes, 64);
    chunker.maxLineBytes = std::max(options.maxLineBytes, chunker.chunkBytes);

    // Header: the first line pieces are read here, line by line; the rest of the piece holds the first rows.
    // The data must prove readable before the hit file is made.
    Piece& first = pieces[0];
    bool haveData = nextPiece(chunker, first);
    if (!haveData && chunker.error) return chunkerFatal(chunker, read, source);
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
    read.headerLine = lastHeaderLine;
    read.compression = compressionName(source);
    if (settings.names.on) {
        // The first data row tells whether a marker column reads CHR:POS (a header with neither column).
        std::string_view firstRow;
        if (ensureLine()) {
            const char* line = first.bytes.data() + first.begin;
            const auto* newline = static_cast<const char*>(std::memchr(line, '\n', first.end - first.begin));
            firstRow = std::string_view(line, static_cast<size_t>((newline != nullptr ? newline : first.bytes.data() + first.end) - line));
            if (!firstRow.empty() && firstRow.back() == '\r') firstRow.remove_suffix(1);
        }
        Outcome<ColumnChoice> chosen = chooseColumns(lastHeaderLine, header, settings, firstRow);
        if (Fatal* fatal = std::get_if<Fatal>(&chosen)) return *fatal;
        applyColumns(std::get<ColumnChoice>(chosen), settings);
        if (settings.quiet == 0) printLines(err, std::get<ColumnChoice>(chosen).notes);
        if (std::optional<Fatal> refused = refuseLociWithoutPositions(settings)) return *refused;
    }

    // The -highlight list is read before the hit file is made: a list that cannot be read leaves every file as it was.
    HighlightList highlight;
    if (!settings.highlightFile.empty()) {
        Outcome<HighlightList> listed = readHighlightList(settings.highlightFile);
        if (Fatal* fatal = std::get_if<Fatal>(&listed)) return *fatal;
        highlight = std::move(std::get<HighlightList>(listed));
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
    RowRules ruleSet = rulesFrom(settings);
    // With the report page, the bar of the strongest rows: pieces started later record fewer rows.
    std::atomic<double> strongestBar{-std::numeric_limits<double>::infinity()};
    if (ruleSet.strongestKept > 0) ruleSet.strongestBar = &strongestBar;
    if (!settings.highlightFile.empty()) ruleSet.highlight = &highlight;
    const RowRules& rules = ruleSet;

    ParsePool pool;  // its workers are started as pieces are handed out: a small table starts only those it needs
    ParserState parser;  // of the reading thread, which parses too
    Progress progress;
    if (options.showProgress) progress.err = &err;
    PlaceState state;
    state.regions = startRegionGathering(settings);
    const bool positions = rules.poscolumn != 0;

    // Without workers (one thread, or none could be started) the reading thread does every task at once.
    // While it waits, the reading thread parses the next piece no worker has taken yet: with one worker fewer
    // than threads, parsing uses `threads` threads in all, and the reading thread no longer sleeps and wakes
    // for every piece (measured: 5 to 10% less processor time on two cores). Copies it leaves to the workers.
    auto waitFor = [&](const Piece& piece, bool Piece::*done) {
        if (pool.workers.empty()) return;
        std::unique_lock<std::mutex> lock(pool.mutex);
        while (!(piece.*done)) {
            auto task = std::find_if(pool.queue.begin(), pool.queue.end(), [](const auto& t) { return !t.copy; });
            if (task == pool.queue.end()) {
                pool.pieceDone.wait(lock);
                continue;
            }
            Piece& next = *task->piece;
            pool.queue.erase(task);
            lock.unlock();
            parseLines(next.bytes.data() + next.begin, next.bytes.data() + next.end, rules, parser, next.result);
            lock.lock();
            next.parsed = true;
        }
    };
    auto isCopied = [&](const Piece& piece) {
        std::lock_guard<std::mutex> lock(pool.mutex);
        return piece.copied;
    };
    auto giveTask = [&](Piece& piece, bool copy) {
        if (pool.workers.empty()) {
            if (copy) {
                copyIntoPlace(piece);
                piece.copied = true;
            } else {
                parseLines(piece.bytes.data() + piece.begin, piece.bytes.data() + piece.end, rules, parser,
                           piece.result);
                piece.parsed = true;
            }
            return;
        }
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            if (copy) {
                pool.queue.push_front({&piece, true});  // first: its slot waits for it
            } else {
                piece.parsed = piece.copied = false;
                pool.queue.push_back({&piece, false});
            }
        }
        pool.workReady.notify_one();
    };

    // Pieces are parsed in any order and placed strictly in file order, so the outcome, including which
    // fatal row is reported, is the same as reading line by line. The reading thread only places them: the
    // workers copy the kept rows to their place, and a piece's slot takes the next piece once that is done.
    size_t submitted = 0, placed = 0, released = 0;  // pieces handed out, placed, and copied with slots free
    auto release = [&](bool wait) {
        for (; released < placed; ++released) {
            const Piece& piece = pieces[released % slotCount];
            if (wait) {
                waitFor(piece, &Piece::copied);
            } else if (!isCopied(piece)) {
                break;
            }
        }
    };
    bool sourceDone = !haveData;
    for (;;) {
        release(false);
        while (!sourceDone && submitted - released < slotCount) {
            Piece& piece = pieces[submitted % slotCount];
            if (submitted > 0 && !nextPiece(chunker, piece)) {
                sourceDone = true;
                break;
            }
            if (threads > 1 && pool.workers.size() < threads - 1) addWorker(pool, rules);
            piece.values = nullptr;
            piece.positions = nullptr;
            giveTask(piece, false);
            ++submitted;
        }
        if (placed == submitted) {
            if (sourceDone) break;
            waitFor(pieces[released % slotCount], &Piece::copied);  // every slot holds a piece being copied
            continue;
        }
        Piece& piece = pieces[placed % slotCount];
        waitFor(piece, &Piece::parsed);
        if (std::optional<Fatal> fatal = countPiece(piece, read, state, rules, source)) {
            // Damaged compressed data can decode to rows of garbage before the damage shows; such a row must
            // not be taken for the cause. The rest of the compressed data is checked first.
            if (piece.result.fault != RowFault::none && isDecompressed(source)) {
                checkRestOfData(chunker);
                if (chunker.error) return stopWith(chunkerFatal(chunker, read, source), hits);
            }
            return stopWith(*fatal, hits);
        }
        const size_t kept = piece.result.values.size();
        if (!haveRoom(read.data, kept, positions)) {
            release(true);  // the lists move: every copy into them must be done
            makeRoom(read.data, kept, estimateRows(read.summary, state, source), positions);
        }
        placeRows(piece, read, state, rules);
        ++placed;
        giveTask(piece, true);
        progress.update(fileBytesConsumed(source), source.fileBytes, read.summary.rows);
    }
    release(true);
    if (chunker.error) return stopWith(chunkerFatal(chunker, read, source), hits);
    if (hitsFailed(hits)) return stopWith(writeFailure(hits), hits);
    if (rules.strongestKept > 0) {
        double bar = -std::numeric_limits<double>::infinity();
        keepStrongest(read.strongest, rules.strongestKept, bar, true);
    }
    read.regionRows = std::move(state.regions.rows);
    if (!settings.highlightFile.empty()) {
        read.highlightEntries = static_cast<int64_t>(highlight.entries.size());
        read.highlightMissing = highlightMissing(highlight, read.highlighted);
    }
    return read;
}

}  // namespace vennrick
