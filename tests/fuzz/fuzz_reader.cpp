// Arbitrary bytes as the data file, with the fuzzer also choosing the delimiter, header handling, columns,
// missing marker, chromosome list, window, how the file is cut into pieces and whether it is compressed as bgzip.
// The same input is read once on one thread in one piece and once on 2 to 8 threads in small pieces: both reads
// must agree exactly. The same bytes are also read as standard input through a pipe, which must give the same
// outcome as the file: bgzip cut at a block edge, or damaged, fails from both.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "fuzz_support.h"
#include "settings/settings.h"
#include "base/write_all.h"
#include "reading/table_reader.h"

using namespace vennrick;
using vennrick::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const kDelims[] = {"tab", "space", "comma", "semicolon", "colon", "whitespace", "dash", "x"};
    static const char* const kChroms[] = {"1-23", "1", "1-22;X", "X", "", "3,,5", "0-2147483647", "1;1"};
    static const char* const kMissing[] = {"NA", "", "-", "."};
    static const char* const kRanges[] = {"10-20", "0:5", "1-2147483647", "5,4", "-"};
    static const char* const kIdNames[] = {"SNP", "ID", "x", ""};

    const test::ScratchDir& dir = fuzz::scratch();
    SwitchList switches{"-file", dir.file("data"), "-out", dir.file("hits")};
    auto add = [&](const char* name, std::string value) { switches.insert(switches.end(), {name, std::move(value)}); };
    // By name (a header is then declared), the delimiter may be left for the header line to tell.
    const bool byName = in.ConsumeBool();
    if (!byName || in.ConsumeBool()) add("-delim", in.PickValueInArray(kDelims));
    if (in.ConsumeBool()) add("-header", "yes");
    add("-header-size", std::to_string(fuzz::smallOrAny(in, 0, 3)));
    // Column numbers below 1 would stop the settings; every other 32-bit number is a column.
    auto column = [&] { return std::to_string(std::max(fuzz::smallOrAny(in, 1, 5), 1)); };
    if (byName) {
        static const char* const kNames[] = {"P", "CHR", "BP", "#CHROM", "pos", "x", ""};
        add("-names", "yes");
        for (const char* name : {"-column", "-idcolumn", "-poscolumn"})
            if (in.ConsumeBool()) add(name, in.PickValueInArray(kNames));
    } else {
        add("-column", column());
        add("-idcolumn", column());
        if (in.ConsumeBool()) add("-poscolumn", column());
    }
    // Hit records, for lead loci: by number they need a position column.
    if (in.ConsumeBool() && (byName || lookupSwitch(switches, "-poscolumn"))) {
        add("-leads", "yes");
        if (in.ConsumeBool()) add("-snpcolumn", byName ? in.PickValueInArray(kIdNames) : column());
    }
    add("-chr", in.PickValueInArray(kChroms));
    if (in.ConsumeBool()) add("-posrange", in.PickValueInArray(kRanges));
    add("-missing", in.PickValueInArray(kMissing));
    add("-div", std::to_string(fuzz::smallOrAny(in, 0, 1000)));
    add("-threshold", std::to_string(in.ConsumeIntegralInRange(-2, 12)));
    if (in.ConsumeBool()) add("-logp", "yes");
    const size_t chunkBytes = in.ConsumeIntegralInRange<size_t>(1, 512);
    // The table as bgzip, maybe with one byte changed: read on one thread by the BGZF reader and on several by
    // the bgzip inflater, which must agree.
    const bool asBgzip = in.ConsumeBool(), damaged = in.ConsumeBool();
    const size_t blockBytes = in.ConsumeIntegralInRange<size_t>(1, 60000), damageAt = in.ConsumeIntegral<size_t>();
    const auto damageMask = static_cast<char>(in.ConsumeIntegralInRange(1, 255));
    const int blocksCut = in.ConsumeIntegralInRange(0, 2);  // bgzip: the last blocks (the end block first) cut off
    const std::string plainTable = in.ConsumeRemainingBytesAsString();
    std::string table = plainTable;
    if (asBgzip) {
        table = fuzz::bgzipOf(plainTable, std::max(blockBytes, plainTable.size() / 64));
        if (blocksCut > 0) {
            std::vector<size_t> starts;
            for (size_t at = 0; at + 18 <= table.size();
                 at += (static_cast<unsigned char>(table[at + 16]) | static_cast<unsigned char>(table[at + 17]) << 8) + 1)
                starts.push_back(at);
            table.resize(starts[starts.size() - std::min<size_t>(static_cast<size_t>(blocksCut), starts.size())]);
        }
        if (damaged && !table.empty()) table[damageAt % table.size()] ^= damageMask;
    }
    test::writeFile(dir.file("data"), table);

    std::ostringstream settingsOut;
    Outcome<PlotSettings> settingsOutcome = readSettings(switches, settingsOut);
    require(std::holds_alternative<PlotSettings>(settingsOutcome), "generated settings are valid");
    const PlotSettings& settings = std::get<PlotSettings>(settingsOutcome);

    struct Read {
        std::string out, hits;
        std::optional<Fatal> fatal;
        PlotData data;
        PlotSettings settings;             // as read with: the columns found by name
        ReadSummary summary;
        std::vector<std::string> summaryLines;
        HitRows hitRows;
    };
    auto readWith = [&](unsigned threads, size_t chunk) {
        const ReadOptions options{threads, false, chunk};
        std::ostringstream out, err;
        Read r;
        std::remove(dir.file("hits").c_str());  // a read that stops before making the hit file leaves none
        Outcome<TableRead> outcome = readTable(settings, out, err, options);
        if (auto* fatal = std::get_if<Fatal>(&outcome)) {
            r.fatal = *fatal;
        } else {
            TableRead& read = std::get<TableRead>(outcome);
            require(!closeHitFile(read.hits), "the hit file closes cleanly");
            r.summaryLines = summaryLines(read.summary, read.data, read.settings);
            fuzz::requireOneLineEach(r.summaryLines);
            fuzz::requireOneLineEach({whyTooFewRows(read.summary, read.settings)});
            r.data = std::move(read.data), r.settings = std::move(read.settings), r.summary = read.summary;
            r.hitRows = std::move(read.hitRows);
        }
        r.out = out.str();
        r.hits = test::readFile(dir.file("hits"));
        return r;
    };
    // Standard input through a pipe, filled by a thread of its own; the pipe is closed under the writer when the
    // read stops early.
    auto readThroughPipe = [&] {
        static const bool pipeSignalIgnored = (signal(SIGPIPE, SIG_IGN), true);
        (void)pipeSignalIgnored;
        int ends[2];
        require(pipe(ends) == 0, "a pipe");
        const int savedInput = dup(STDIN_FILENO);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        std::thread writer([&] {
            writeAll(ends[1], table.data(), table.size());
            close(ends[1]);
        });
        PlotSettings fromPipe = settings;
        fromPipe.Filename = "-";
        std::ostringstream out, err;
        std::remove(dir.file("hits").c_str());
        Outcome<TableRead> outcome = readTable(fromPipe, out, err, ReadOptions{2, false, chunkBytes});
        std::optional<Fatal> fatal;
        if (auto* f = std::get_if<Fatal>(&outcome)) fatal = *f;
        else require(!closeHitFile(std::get<TableRead>(outcome).hits), "the hit file closes cleanly");
        dup2(savedInput, STDIN_FILENO);  // the pipe's last reading end goes: a writer still writing is let go
        close(savedInput);
        writer.join();
        return std::make_pair(fatal, test::readFile(dir.file("hits")));
    };

    const Read serial = readWith(1, size_t{1} << 20);
    const Read parallel = readWith(2 + static_cast<unsigned>(chunkBytes % 7), chunkBytes);  // 2 to 8 threads

    require(serial.fatal.has_value() == parallel.fatal.has_value(), "the same outcome on one and several threads");
    const auto [pipeFatal, pipeHits] = readThroughPipe();
    if (pipeFatal.has_value() != serial.fatal.has_value()) {  // what the finding was, for whoever reads it
        if (const char* dump = std::getenv("VENNRICK_FUZZ_TABLE")) test::writeFile(dump, table);
        for (const std::string& word : switches) std::fprintf(stderr, "%s ", word.c_str());
        std::fprintf(stderr, "(pieces of %zu bytes)\nfrom the file: %s\nthrough a pipe: %s\n", chunkBytes,
                     serial.fatal ? serial.fatal->detail.c_str() : "(read)", pipeFatal ? pipeFatal->detail.c_str() : "(read)");
    }
    require(pipeFatal.has_value() == serial.fatal.has_value(), "the same outcome from a file and through a pipe");
    if (!(asBgzip && damaged && serial.fatal)) require(pipeHits == serial.hits, "the same hits through a pipe");
    // Damaged bgzip fails on both; the rows before the failure are those of the whole 64 KiB units before it with
    // the bgzip inflater, and depend on how the reads fall with the BGZF reader on one thread.
    if (!(asBgzip && damaged && serial.fatal))
        require(serial.out == parallel.out && serial.hits == parallel.hits, "pieces and threads change nothing");
    if (serial.fatal) {
        require(serial.fatal->message == parallel.fatal->message, "the same fatal message");
        fuzz::requireOneLineEach({serial.fatal->detail.empty() ? "-" : serial.fatal->detail});
    } else {
        const PlotSettings& settings = serial.settings;
        const RowCounts& c = serial.summary.counts;
        require(serial.summaryLines == parallel.summaryLines, "the same summary on one and two threads");
        require(serial.summary.rows == static_cast<uint64_t>(serial.data.maxX) + c.missing + c.zero + c.unselected +
                                           c.outsideWindow,
                "every row read is kept or skipped for one reason");
        const bool headerLine = serial.out.rfind("Header size", 0) == 0;
        require(static_cast<uint64_t>(std::count(serial.hits.begin(), serial.hits.end(), '\n')) == c.hits + headerLine,
                "the hits counted are the rows in the hit file");
        const PlotData& a = serial.data;
        const PlotData& b = parallel.data;
        // A record of each hit when lead loci are asked for, the same however the pieces fall.
        const HitRows& h = serial.hitRows;
        require(h.records.size() == (collectsHitRows(settings) ? c.hits : 0) && h.texts == parallel.hitRows.texts &&
                    h.records.size() == parallel.hitRows.records.size() &&
                    (h.records.empty() || h.records.back().row == parallel.hitRows.records.back().row),
                "one record per hit row, the same on one and two threads");
        require(a.maxX == b.maxX && a.Pos_list == b.Pos_list && a.ID_list.size() == b.ID_list.size(),
                "the same rows on one and several threads");
        for (size_t i = 0; i < a.Value_list.size(); ++i)
            require(a.Value_list[i] == b.Value_list[i] || (a.Value_list[i] != a.Value_list[i] && b.Value_list[i] != b.Value_list[i]),
                    "same values");
        int64_t counted = 0;
        for (size_t i = 0; i < a.ID_list.size(); ++i) {
            require(a.ID_list[i].id == b.ID_list[i].id && a.ID_list[i].count == b.ID_list[i].count, "same runs");
            require(a.ID_list[i].count >= 1 && (i == 0 || a.ID_list[i].id != a.ID_list[i - 1].id),
                    "runs are not empty, and adjacent runs differ");
            require(selectionContains(settings.SelChrom, a.ID_list[i].id), "only selected chromosomes are kept");
            counted += a.ID_list[i].count;
        }
        require(counted == a.maxX && static_cast<int64_t>(a.Value_list.size()) == a.maxX, "ID and value lists hold maxX");
        require(static_cast<int64_t>(a.Pos_list.size()) == (settings.poscolumn != 0 ? a.maxX : 0),
                "Pos_list holds maxX entries only with a position column");
        for (int32_t pos : a.Pos_list)
            require(!settings.window.posrangeallowed || (pos >= settings.window.startpos && pos <= settings.window.endpos),
                    "window respected");
    }
    fuzz::requireHitsAreInputLines(serial.hits, asBgzip && !damaged ? plainTable : table, settings.headeryes == 1);
    // With CRLF line ends the rows are cut field by field instead of by the listed stops: the same read. (Not for
    // a table refused by its content, such as a tar archive, whose marks the added bytes move in either direction.)
    auto refusedContent = [](const Read& r) { return r.fatal && r.fatal->detail.find(", not a table") != std::string::npos; };
    if (!asBgzip && !refusedContent(serial) && plainTable.find('\r') == std::string::npos) {
        std::string crlf;
        for (char c : plainTable) c == '\n' ? crlf += "\r\n" : crlf += c;
        test::writeFile(dir.file("data"), crlf);
        const Read other = readWith(1, size_t{1} << 20);
        if (refusedContent(other)) return 0;
        require(other.fatal.has_value() == serial.fatal.has_value() && other.out == serial.out &&
                    other.hits == serial.hits && other.summaryLines == serial.summaryLines,
                "the same read with CRLF line ends");
        if (serial.fatal) {
            require(other.fatal->message == serial.fatal->message && other.fatal->detail == serial.fatal->detail,
                    "the same fatal row with CRLF line ends");
        } else {
            const PlotData& a = serial.data;
            const PlotData& b = other.data;
            require(a.maxX == b.maxX && a.Pos_list == b.Pos_list && a.ID_list.size() == b.ID_list.size() &&
                        a.Value_list.size() == b.Value_list.size() &&
                        (a.Value_list.empty() ||
                         std::memcmp(a.Value_list.data(), b.Value_list.data(), a.Value_list.size() * sizeof(double)) == 0) &&
                        other.hitRows.texts == serial.hitRows.texts,
                    "the same rows with CRLF line ends");
            for (size_t i = 0; i < a.ID_list.size(); ++i)
                require(a.ID_list[i].id == b.ID_list[i].id && a.ID_list[i].count == b.ID_list[i].count,
                        "the same runs with CRLF line ends");
        }
    }
    return 0;
}
