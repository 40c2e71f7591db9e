// The reading stage through readTable: header, row tests and their order, PlotData, the hit file, compressed
// input, and the parallel read against the serial one (real tables are read by the golden runs).
#include "reading/table_reader.h"

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

// Sanitizer builds: the BGZF library's threaded reader leaks one small allocation when it meets corrupt
// blocks (its own thread, freed by nobody); that is the library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libhts.so\n"; }

namespace {

const std::string kPvalue = "Cannot read p-value. Did you forget to specify header?\n";
const std::string kPos = "Cannot read pos value. Did you forget to specify header?\n";

struct ReadRun {
    std::optional<Fatal> fatal;
    PlotData data;
    std::string out, hits;
    std::vector<std::string> summary;  // the end-of-read summary lines
    std::string hitRows;               // the hit records as "row:pos:id:p" items
    std::string highlighted;           // with -highlight: the matches as "row:entry" items, then the missing count
};

// Writes content as the data file and reads it with "-file", the switches, then "-idcolumn 1 -column 2" (the
// first occurrence of a switch wins).
ReadRun readContent(const ScratchDir& dir, const std::string& content, std::vector<std::string> switches,
                    unsigned threads = 2, size_t chunkBytes = size_t{1} << 20) {
    const std::string path = dir.file("data.txt");
    writeFile(path, content);
    switches.insert(switches.begin(), {"-file", path});
    switches.insert(switches.end(), {"-idcolumn", "1", "-column", "2"});
    std::ostringstream notices, out, err;
    Outcome<TableRead> outcome = readTable(std::get<PlotSettings>(readSettings(switches, notices)), out, err,
                                           ReadOptions{threads, false, chunkBytes});
    TableRead* read = std::get_if<TableRead>(&outcome);
    if (read == nullptr) return {std::get<Fatal>(outcome), PlotData{}, out.str(), readFile(path + ".out"), {}};
    std::vector<std::string> summary = summaryLines(read->summary, read->data, read->settings);
    std::string hitRows;
    for (const HitRecord& h : read->hitRows.records)
        hitRows += std::to_string(h.row) + ":" + std::to_string(h.pos) + ":" + std::string(read->hitRows.id(h)) + ":" +
                   std::string(read->hitRows.pText(h)) + " ";
    std::string highlighted;
    for (const HighlightMatch& m : read->highlighted) highlighted += std::to_string(m.row) + ":" + std::to_string(m.entry) + " ";
    if (read->highlightEntries > 0) highlighted += "missing " + std::to_string(read->highlightMissing);
    return {closeHitFile(read->hits), std::move(read->data), out.str(), readFile(path + ".out"), summary, hitRows,
            highlighted};
}

// The kept rows: runs, values (to 6 digits, or 17 to tell every double apart), positions, maxX, minY, maxY.
std::string summary(const PlotData& d, int digits = 6) {
    std::ostringstream s;
    s.precision(digits);
    for (const IdRun& run : d.ID_list) s << run.id << "x" << run.count << " ";
    s << "|";
    for (double v : d.Value_list) std::isnan(v) ? s << " nan" : s << " " << v;
    s << " |";
    for (int32_t p : d.Pos_list) s << " " << p;
    s << " | " << d.maxX << " " << d.minY << " " << d.maxY;
    return s.str();
}

}  // namespace

TEST(table_reader_test, rows_and_header) {
    // The p whose -log10 is exactly the double 7.3 lies below the widened threshold 7.300000190734863.
    ASSERT_EQ(-std::log10(5.011872336272725e-08), 7.3);
    ScratchDir dir;
    for (const Case& c : loadCases("table_reader.txt")) {
        ReadRun run = readContent(dir, c.get("content"), c.words("switches"));
        const std::string fatal = c.get("fatal");
        EXPECT_EQ(run.fatal ? run.fatal->message : "", fatal.empty() ? "" : fatal == "position" ? kPos : kPvalue) << c.name;
        EXPECT_EQ(run.hits, c.get("hits")) << c.name;
        if (c.has("kept")) EXPECT_EQ(summary(run.data), c.get("kept")) << c.name;
        if (c.has("out")) EXPECT_EQ(run.out, c.get("out")) << c.name;
        if (run.fatal) EXPECT_NE(run.fatal->detail.find(c.get("detail")), std::string::npos) << c.name << ": " << run.fatal->detail;
    }
}

TEST(table_reader_test, parallel_read_equals_serial_read) {
    // Thousands of rows over several chromosomes, with hits, skips, CRLF lines and empty lines, read in pieces
    // of 700 bytes.
    std::vector<std::string> lines;
    for (int i = 0; i < 6000; ++i) {
        const std::string p = i % 97 == 0 ? "NA" : i % 89 == 0 ? "0" : i % 31 == 0 ? "1e-" + std::to_string(8 + i % 300)
                                                                              : "0." + std::to_string(1000 + i * 7 % 9000);
        lines.push_back(std::to_string(1 + i / 500) + "\t" + p + "\t" + std::to_string(i % 50 == 7 || i % 50 == 8 ? 5 : i * 37) +
                        (i % 3 ? "\trs" + std::to_string(i) : "") + (i % 13 ? "" : "\r"));
        if (i % 211 == 0) lines.push_back("");
    }
    auto join = [](const std::vector<std::string>& rows) {
        std::string text = "CHR\tP\tBP\n";
        for (const std::string& row : rows) text += row + "\n";
        return text;
    };
    ScratchDir dir;
    // -highlight by ID (rs31, a hit; rs4000) and by place (line 501: 2:18500), one entry matching nothing.
    writeFile(dir.file("list.txt"), "rs31\nrs4000\n2:18500\nnope\n");
    const std::vector<std::string> cols = {"-poscolumn", "3", "-header", "yes", "-chr", "1-5,7-12", "-leads", "yes",
                                           "-snpcolumn", "4", "-highlight", dir.file("list.txt")};
    const ReadRun one = readContent(dir, join(lines), cols, 1, 700);
    ASSERT_FALSE(one.fatal);
    EXPECT_GT(one.data.maxX, 4000);
    EXPECT_GT(one.hits.size(), 1000u);
    // A record of every hit, with its kept-row index, position as read, ID (empty where the row ends before
    // it) and p-value text.
    EXPECT_EQ(std::count(one.hitRows.begin(), one.hitRows.end(), ' '), std::count(one.hits.begin(), one.hits.end(), '\n') - 1);
    EXPECT_EQ(one.hitRows.substr(0, 54), "30:1147:rs31:1e-39 61:2294:rs62:1e-70 91:3441::1e-101 ");
    EXPECT_EQ(one.highlighted, "30:2 489:0 3424:3 missing 1");  // entries sorted: 2:18500, nope, rs31, rs4000
    // 2, 3 and 8 parsing threads (more than this machine may have) against one.
    for (unsigned threads : {2u, 3u, 8u}) {
        const ReadRun many = readContent(dir, join(lines), cols, threads, 700);
        ASSERT_FALSE(many.fatal) << threads;
        EXPECT_EQ(summary(one.data, 17), summary(many.data, 17)) << threads;
        EXPECT_EQ(one.hits, many.hits) << threads;
        EXPECT_EQ(one.hitRows, many.hitRows) << threads;
        EXPECT_EQ(one.highlighted, many.highlighted) << threads;
        // The counts and the IDs of the skipped rows add up the same, however the pieces fall.
        EXPECT_EQ(one.summary, many.summary) << threads;
    }
    EXPECT_NE(one.summary.at(0).find(" skipped (62 missing ('NA'), 67 with p = 0, 490 on chromosomes not selected ('6'))"),
              std::string::npos) << one.summary[0];
    // Positions that go back are counted within each run of the kept rows, across the pieces' edges too.
    int64_t back = 0, row = 0;
    for (const IdRun& run : one.data.ID_list)
        for (int64_t end = row + run.count, first = row; row < end; ++row) back += row > first && one.data.Pos_list[row] < one.data.Pos_list[row - 1];
    EXPECT_GT(back, 50);
    EXPECT_NE(one.summary.back().find("positions go back " + std::to_string(back) + " times"), std::string::npos) << one.summary.back();

    // Long rows first, then short ones: the rows per byte of the first pieces put the estimate of the whole far
    // too low, and the lists grow while earlier pieces are being copied into them.
    std::vector<std::string> uneven;
    for (int i = 0; i < 20000; ++i)
        uneven.push_back("3\t0." + std::to_string(1 + i % 9) + "\t" + std::to_string(i) + "\t" +
                         (i < 1000 ? std::string(3000, 'x') : "r"));
    const ReadRun serial = readContent(dir, join(uneven), cols, 1, 64 << 10);
    ASSERT_EQ(serial.data.maxX, 20000);
    for (unsigned threads : {2u, 8u})
        EXPECT_EQ(summary(serial.data, 17), summary(readContent(dir, join(uneven), cols, threads, 64 << 10).data, 17));

    // Two fatal rows: the first in file order is the one reported, wherever the pieces are cut, and every hit
    // before it is in the hit file.
    for (size_t at : {40, 41, 42, 43, 3000, 5999}) {
        std::vector<std::string> bad = lines;
        bad[at] = "3\t0.5\tnot-a-position";
        bad[std::min(at + 3, bad.size() - 1)] = "4\tnot-a-p-value\t1";
        const ReadRun a = readContent(dir, join(bad), cols, 1, 700);
        ASSERT_TRUE(a.fatal) << at;
        EXPECT_EQ(a.fatal->message, kPos) << at;
        EXPECT_NE(a.fatal->detail.find("line " + std::to_string(at + 2)), std::string::npos) << a.fatal->detail;
        EXPECT_EQ(a.hits, one.hits.substr(0, a.hits.size())) << at;
        for (unsigned threads : {2u, 3u, 8u}) {
            const ReadRun b = readContent(dir, join(bad), cols, threads, 700);
            ASSERT_TRUE(b.fatal) << at << " " << threads;
            EXPECT_EQ(a.fatal->detail, b.fatal->detail) << at << " " << threads;
            EXPECT_EQ(a.hits, b.hits) << at << " " << threads;
        }
    }
}

TEST(table_reader_test, compressed_input_reads_as_its_text) {
    std::string text = "\xEF\xBB\xBF" "CHR\tP\tBP\r\n";
    for (int i = 0; i < 30000; ++i) {
        const std::string p = i % 53 ? "0.0" + std::to_string(i + 1) : "1e-" + std::to_string(9 + i % 40);
        text += std::to_string(1 + i / 2000) + "\t" + p + "\t" + std::to_string(i * 101) + (i % 7 ? "\n" : "\r\n");
    }
    ASSERT_GT(text.size(), size_t{4} << 16);  // several bgzip blocks
    const std::string gz = compressed(text, "wg"), bgz = compressed(text, "w");
    const size_t cut = text.size() / 3 + 5;  // the second member starts inside a line
    const std::pair<const char*, std::string> variants[] = {
        {"gzip", gz}, {"multi-member gzip", compressed(text.substr(0, cut), "wg") + compressed(text.substr(cut), "wg")},
        {"bgzip", bgz}};
    const std::vector<std::string> cols = {"-header", "yes", "-poscolumn", "3"};
    ScratchDir dir;
    const ReadRun plain = readContent(dir, text, cols);
    ASSERT_FALSE(plain.fatal);
    EXPECT_EQ(plain.data.maxX, 30000);
    for (const auto& [name, bytes] : variants)
        for (unsigned threads : {1u, 3u}) {
            const ReadRun run = readContent(dir, bytes, cols, threads, threads == 1 ? size_t{8} << 20 : 5000);
            EXPECT_FALSE(run.fatal) << name << ": " << (run.fatal ? run.fatal->detail : "");
            EXPECT_EQ(run.out, plain.out) << name;
            EXPECT_EQ(run.hits, plain.hits) << name;
            EXPECT_EQ(summary(run.data, 17), summary(plain.data, 17)) << name;
        }

    // Damaged compressed data is an error naming the file, never a clean end of the data.
    std::string flipped = bgz, corruptGz = gz;
    flipped[bgz.size() / 2] ^= 0x55;
    flipped[bgz.size() / 2 + 1] ^= 0x55;
    corruptGz[gz.size() / 2] ^= 0x55;
    const std::pair<const char*, std::string> damaged[] = {
        {"gzip cut short", gz.substr(0, gz.size() - 6)},      {"gzip cut in the middle", gz.substr(0, gz.size() / 2)},
        {"corrupt gzip", corruptGz},                          {"bgzip cut inside a block", bgz.substr(0, bgz.size() / 2)},
        {"bgzip without its end block", bgz.substr(0, bgz.size() - 28)}, {"corrupt bgzip", flipped}};
    for (const auto& [name, bytes] : damaged)
        for (unsigned threads : {1u, 2u}) {
            const ReadRun run = readContent(dir, bytes, cols, threads);
            ASSERT_TRUE(run.fatal) << name;
            EXPECT_EQ(run.fatal->message, "") << name;
            EXPECT_NE(run.fatal->detail.find("data.txt': the compressed data is corrupt or truncated"), std::string::npos)
                << name << ": " << run.fatal->detail;
        }

    // In intact compressed data a bad row is reported as such; an empty gzip member is an empty data file.
    EXPECT_EQ(readContent(dir, compressed("1\t1e-9\t5\n1\tx\t6\n", "wg"), cols).fatal->message, kPvalue);
    const ReadRun empty = readContent(dir, std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\x03\0\0\0\0\0\0\0\0\0", 20), cols);
    EXPECT_FALSE(empty.fatal);
    EXPECT_EQ(empty.out, "No header\n");
}

TEST(table_reader_test, rows_are_cut_the_same_in_pieces_of_any_length) {
    // Pieces of 1 MiB are cut in windows of a few KiB: rows across their edges, extra fields, empty lines, a
    // line longer than a window and a last line without its line end must give what the same table with
    // CRLF line ends gives, which is cut field by field.
    auto table = [](int rows, int longAt, bool lastLineEnd) {
        std::string text;
        for (int i = 0; i < rows; ++i) {
            text += std::to_string(1 + i / 700) + "\t" + (i % 29 ? "0." + std::to_string(10 + i * 7 % 990) : "3e-" + std::to_string(9 + i % 50)) +
                    "\t" + std::to_string(i * 13);
            for (int extra = 0; extra < i % 4; ++extra) text += "\tx" + std::to_string(extra);
            if (i == longAt) text += "\t" + std::string(40000, 'y');
            if (i % 97 == 0) text += "\n";
            if (i + 1 < rows || lastLineEnd) text += "\n";
        }
        return text;
    };
    // CRLF line ends from byte `from` on.
    auto withCrlf = [](const std::string& text, size_t from = 0) {
        std::string out = text.substr(0, from);
        for (char c : text.substr(std::min(from, text.size()))) c == '\n' ? out += "\r\n" : out += c;
        return out;
    };
    const std::vector<std::string> cols = {"-poscolumn", "3", "-leads", "yes"};
    ScratchDir dir;
    for (const auto& [longAt, lastLineEnd] : {std::pair{-1, true}, std::pair{1500, false}, std::pair{4000, true}}) {
        const std::string text = table(4000, longAt, lastLineEnd);
        const ReadRun lf = readContent(dir, text, cols, 1), crlf = readContent(dir, withCrlf(text), cols, 1);
        ASSERT_FALSE(lf.fatal) << longAt;
        EXPECT_EQ(lf.data.maxX, 4000) << longAt;
        EXPECT_EQ(summary(lf.data, 17), summary(crlf.data, 17)) << longAt;
        EXPECT_EQ(lf.hits, crlf.hits) << longAt;
        EXPECT_EQ(lf.hitRows, crlf.hitRows) << longAt;
        EXPECT_EQ(lf.summary, crlf.summary) << longAt;
        // Carriage returns from the middle on: the windows before them are cut by their lists, the rest line by line.
        const ReadRun mixed = readContent(dir, withCrlf(text, text.size() / 2), cols, 1);
        EXPECT_EQ(summary(lf.data, 17), summary(mixed.data, 17)) << longAt;
        EXPECT_EQ(lf.hits, mixed.hits) << longAt;
    }
    // A row with too few fields, at every row around the first window's edge (16 KiB): the same line and
    // field count.
    const std::string text = table(1200, -1, true);
    std::vector<size_t> lineStarts = {0};
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') lineStarts.push_back(i + 1);
    const auto edgeLine = static_cast<size_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), 16384) - lineStarts.begin());
    ASSERT_LT(edgeLine + 20, lineStarts.size() - 1);
    for (size_t line = edgeLine - 20; line < edgeLine + 20; ++line) {
        if (lineStarts[line + 1] - lineStarts[line] <= 1) continue;  // an empty line
        std::string bad = text;
        bad.replace(lineStarts[line], lineStarts[line + 1] - lineStarts[line] - 1, line % 2 ? "7\t0.5" : "7");
        const ReadRun lf = readContent(dir, bad, cols, 1), crlf = readContent(dir, withCrlf(bad), cols, 1);
        ASSERT_TRUE(lf.fatal) << line;
        EXPECT_EQ(lf.fatal->detail, crlf.fatal->detail) << line;
        EXPECT_NE(lf.fatal->detail.find("line " + std::to_string(line + 1) + ": the row has " + (line % 2 ? "2 fields" : "1 field")),
                  std::string::npos) << lf.fatal->detail;
        EXPECT_EQ(lf.hits, crlf.hits) << line;
    }
}

// A line longer than the limit ends the read with its line number, after the rows before it (their hits
// written), in a header or in the rows, in pieces of any size.
TEST(table_reader_test, a_line_longer_than_the_limit_stops_the_read_at_its_number) {
    ScratchDir dir;
    const std::string path = dir.file("data.txt");
    const std::string longLine(5000, '7');
    for (size_t chunk : {size_t{64}, size_t{1000}, size_t{4096}}) {
        for (const auto& [content, line, hits] :
             std::vector<std::tuple<std::string, int, std::string>>{
                 {"CHR\tP\n1\t1e-9\n2\t0.5\n" + longLine + "\n3\t1e-9\n", 4, "CHR\tP\n1\t1e-9\n"},
                 {"CHR\tP\n1\t1e-9\n" + longLine, 3, "CHR\tP\n1\t1e-9\n"},
                 {longLine + "\n1\t1e-9\n", 1, ""}}) {
            writeFile(path, content);
            std::ostringstream notices, out, err;
            const SwitchList switches = {"-file", path, "-header", "yes", "-idcolumn", "1", "-column", "2"};
            ReadOptions options{2, false, chunk};
            options.maxLineBytes = 4096;
            Outcome<TableRead> outcome = readTable(std::get<PlotSettings>(readSettings(switches, notices)), out, err, options);
            ASSERT_TRUE(std::holds_alternative<Fatal>(outcome)) << line << " " << chunk;
            EXPECT_EQ(std::get<Fatal>(outcome).detail,
                      "'" + path + "' line " + std::to_string(line) + ": no line end within " +
                          "4096 bytes")
                << chunk;
            EXPECT_EQ(readFile(path + ".out"), hits) << line << " " << chunk;
            std::filesystem::remove(path + ".out");
        }
    }
}
