// The reading stage through readTable: header, row tests and their order, PlotData, the hit file, compressed
// input, and the parallel read against the serial one.
#include "table_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

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
    return {closeHitFile(read->hits), std::move(read->data), out.str(), readFile(path + ".out"), summary, hitRows};
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
    const std::vector<std::string> pos{"-poscolumn", "3", "-chr", "1"}, window{"-poscolumn", "3", "-posrange", "100-200",
                                                                              "-chr", "1"};
    const std::vector<std::string> aligned{"-delim", "whitespace", "-column", "4", "-poscolumn", "3"};
    std::string wide = "1\t";  // a row of 1500 fields, its p-value last
    for (int i = 0; i < 1498; ++i) wide += "x\t";
    wide += "1e-9\n";
    const std::string logs = "1\t0\n1\t7.3\n1\t8\n1\tNA\n1\t-1\n2\t1e-400\n", none = "| | | 0 1e+07 -1e+07";
    const struct {
        const char* name;
        std::string content;
        std::vector<std::string> switches;  // after "-file"
        std::string fatal;   // the fatal message; empty: the read succeeds
        std::string hits;    // the hit file's bytes
        std::string kept;    // summary of a read that succeeds; empty: not checked
        std::string out;     // the reader's console text; empty: not checked
        std::string detail;  // expected inside the fatal detail
    } cases[] = {
        {"header of 3 lines, empty ones among them: its last line is written", "\n\r\nCHR P\n1 1e-9\n",
         {"-delim", "space", "-header", "yes", "-header-size", "3", "-threshold", "1"}, "", "CHR P\n1 1e-9\n",
         "1x1 | 9 | | 1 9 9", "Header size 3\n"},
        {"header longer than the file: an empty last header line", "a\tb\n1\t1e-9\n",
         {"-header", "yes", "-header-size", "2000000000"}, "", "\n", none, "Header size 2000000000\n"},
        {"undeclared header is read as a row", "CHR\tP\n1\t1e-9\n", {}, kPvalue, "", "", "No header\n",
         "line 1: the p-value field 'P' is not a number; if line 1 holds column names, add -header yes"},
        {"a comma table read with tabs", "1,1e-9\n", {}, kPvalue, "", "", "", "line 1: the row has 1 field, fewer than "
         "the 2 the columns need; it is one field with -delim tab but holds ',': try -delim comma"},
        {"quoted fields", "1\t\"0.5\"\n", {}, kPvalue, "", "", "", "the p-value field '\"0.5\"' is not a number; the quotes "
         "are part of the field: remove them from the table"},
        {"empty file with a header declared", "", {"-header", "yes"}, "", "", none, "No header\n"},
        {"byte-order mark before the header", "\xEF\xBB\xBF" "CHR\tP\n1\t1e-9\n", {"-header", "yes"}, "",
         "CHR\tP\n1\t1e-9\n", "1x1 | 9 | | 1 9 9"},
        {"byte-order mark before a row", "\xEF\xBB\xBF" "1\t1e-9\n", {}, "", "1\t1e-9\n", "1x1 | 9 | | 1 9 9"},
        // NA and p = 0 skipped, p = 1 gives -0, a negative p NaN (kept, never a hit, no extreme), the double 7.3
        // no hit, 1e-400 (below the double range) 400, blanks and a sign accepted.
        {"p-values and the threshold",
         "1\tNA\n1\t0\n1\t1\n1\t10\n1\t-0.5\n1\t5.011872336272725e-08\n1\t5e-8\n2\t1e-400\n1\t +.5e-1 \n",
         {}, "", "1\t5e-8\n2\t1e-400\n", "1x5 2x1 1x1 | -0 -1 nan 7.3 7.30103 400 1.30103 | | 7 -1 400"},
        {"an empty p-value field is not missing", "1\t1e-9\n1\t\n", {}, kPvalue, "1\t1e-9\n", "", "",
         "line 2: the p-value field '' is not a number"},
        {"an empty missing marker", "1\t1e-9\n1\t\n", {"-missing", ""}, "", "1\t1e-9\n", "1x1 | 9 | | 1 9 9"},
        {"the marker is whole, case-sensitive text", "1\tna\n", {}, kPvalue, ""},
        {"carriage returns dropped, empty lines skipped, no last line end",
         "1\t1e-9\tx\r\n\r\n\n1\t1e-10\ta\rb\r\n2\t1e-11\t\xFF\xFE", {"-threshold", "1"}, "",
         "1\t1e-9\tx\n1\t1e-10\tab\n2\t1e-11\t\xFF\xFE\n", "1x2 2x1 | 9 10 11 | | 3 9 11"},
        {"space delimiter: a double space shifts the columns", "1 1e-9 x\n1  1e-9\n", {"-delim", "space"}, kPvalue,
         "1 1e-9 x\n", "", "", "line 2"},
        {"a row shorter than the position column", "1\t1e-9\n", {"-poscolumn", "3"}, kPvalue, ""},
        {"of an unreadable p-value and a short row, the first counts", "1\t1e-9\n1\tx\n1\n", {}, kPvalue, "1\t1e-9\n", "",
         "", "line 2: the p-value field 'x'"},
        {"of a short row and an unreadable p-value, the first counts", "1\t1e-9\n\n1\n1\tx\n", {}, kPvalue, "1\t1e-9\n",
         "", "", "line 3: the row has 1 field"},
        {"a line of blanks is a row", "   \n", {}, kPvalue, ""},
        {"a column beyond the first thousand fields", wide + "2\tshort\n", {"-column", "1500"}, kPvalue, wide, "", "",
         "line 2: the row has 2 fields, fewer than the 1500"},
        {"IDs compared as whole text; a returning ID starts a run",
         "1\t0.5\n1\t0.5\n01\t0.5\nchr1\t0.5\n1 \t0.5\nX\t0.5\n2\t0.5\n1\t0.5\n", {"-chr", "1-22,X"}, "", "",
         "1x2 Xx1 2x1 1x1 | 0.30103 0.30103 0.30103 0.30103 0.30103 | | 5 0.30103 0.30103"},
        {"a bad position matters only on a kept row", "1\tNA\tbad\n1\t0\tbad\n2\t1e-9\tbad\n1\t1e-9\t12345\n1\t0.1\t-15\n",
         pos, "", "1\t1e-9\t12345\n", "1x2 | 9 1 | 1234 -1 | 2 1 9"},
        {"a bad position on a kept row", "1\t1e-9\t5\n1\t0.5\t1.5\n", pos, kPos, "1\t1e-9\t5\n", "", "",
         "line 2: the position field '1.5' is not a 32-bit integer"},
        {"an unreadable p-value on an unselected chromosome", "2\tabc\t5\n", pos, kPvalue, ""},
        {"a hit of an unselected chromosome", "2\t1e-20\t5\n1\t0.5\t7\n", pos, "", "",
         "1x1 | 0.30103 | 0 | 1 0.30103 0.30103"},
        {"window bounds inclusive, positions as read", "1\t0.5\t99\n1\t0.5\t100\n1\t0.5\t200\n1\t0.5\t201\n", window, "",
         "", "1x2 | 0.30103 0.30103 | 100 200 | 2 0.30103 0.30103"},
        {"a bad position outside the window", "1\t0.5\t2147483648\n", window, kPos, ""},
        {"whitespace: runs of blanks, none at the ends; hits keep their padding",
         "  1  rs1\t 100   5e-9 \r\n\t1 rs2 200\t\t0.5\t\n 2   rs3 300 NA  \n", aligned, "", "  1  rs1\t 100   5e-9 \n",
         "1x2 | 8.30103 0.30103 | 10 20 | 2 0.30103 8.30103"},
        {"whitespace: three fields only", " 1 rs1 100\n", aligned, kPvalue, "", "", "", "the row has 3 fields, fewer than "
         "the 4 the columns need"},
        {"space: a leading space is an empty field", " 1 1e-9\n", {"-delim", "space", "-idcolumn", "2", "-column", "3"},
         "", " 1 1e-9\n", "1x1 | 9 | | 1 9 9"},
        {"-logp yes: the values as they are, 0 kept; a value equal to the threshold is a hit", logs,
         {"-logp", "yes", "-threshold", "8"}, "", "1\t8\n",
         "1x4 2x1 | 0 7.3 8 -1 0 | | 5 -1 8"},
        {"-logp yes: a value that is no number", "1\tx\n", {"-logp", "yes"}, kPvalue, ""},
        {"-logp with another value reads p-values", logs, {"-logp", "Yes"}, "", "2\t1e-400\n",
         "1x3 2x1 | -0.863323 -0.90309 nan 400 | | 4 -0.90309 400"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        ReadRun run = readContent(dir, c.content, c.switches);
        EXPECT_EQ(run.fatal ? run.fatal->message : "", c.fatal) << c.name;
        EXPECT_EQ(run.hits, c.hits) << c.name;
        if (!c.kept.empty()) EXPECT_EQ(summary(run.data), c.kept) << c.name;
        if (!c.out.empty()) EXPECT_EQ(run.out, c.out) << c.name;
        if (run.fatal) EXPECT_NE(run.fatal->detail.find(c.detail), std::string::npos) << c.name << ": " << run.fatal->detail;
    }
}

TEST(table_reader_test, parallel_read_equals_serial_read) {
    // Thousands of rows over several chromosomes, with hits, skips, CRLF lines and empty lines, read in pieces
    // of 700 bytes.
    std::vector<std::string> lines;
    for (int i = 0; i < 6000; ++i) {
        const std::string p = i % 97 == 0 ? "NA" : i % 89 == 0 ? "0" : i % 31 == 0 ? "1e-" + std::to_string(8 + i % 300)
                                                                              : "0." + std::to_string(1000 + i * 7 % 9000);
        lines.push_back(std::to_string(1 + i / 500) + "\t" + p + "\t" + std::to_string(i * 37) +
                        (i % 3 ? "\trs" + std::to_string(i) : "") + (i % 13 ? "" : "\r"));
        if (i % 211 == 0) lines.push_back("");
    }
    auto join = [](const std::vector<std::string>& rows) {
        std::string text = "CHR\tP\tBP\n";
        for (const std::string& row : rows) text += row + "\n";
        return text;
    };
    const std::vector<std::string> cols = {"-poscolumn", "3", "-header", "yes", "-chr", "1-5,7-12", "-leads", "yes",
                                           "-snpcolumn", "4"};
    ScratchDir dir;
    const ReadRun one = readContent(dir, join(lines), cols, 1, 700);
    ASSERT_FALSE(one.fatal);
    EXPECT_GT(one.data.maxX, 4000);
    EXPECT_GT(one.hits.size(), 1000u);
    // A record of every hit, with its kept-row index, position as read, ID (empty where the row ends before
    // it) and p-value text.
    EXPECT_EQ(std::count(one.hitRows.begin(), one.hitRows.end(), ' '), std::count(one.hits.begin(), one.hits.end(), '\n') - 1);
    EXPECT_EQ(one.hitRows.substr(0, 54), "30:1147:rs31:1e-39 61:2294:rs62:1e-70 91:3441::1e-101 ");
    // 2, 3 and 8 parsing threads (more than this machine may have) against one.
    for (unsigned threads : {2u, 3u, 8u}) {
        const ReadRun many = readContent(dir, join(lines), cols, threads, 700);
        ASSERT_FALSE(many.fatal) << threads;
        EXPECT_EQ(summary(one.data, 17), summary(many.data, 17)) << threads;
        EXPECT_EQ(one.hits, many.hits) << threads;
        EXPECT_EQ(one.hitRows, many.hitRows) << threads;
        // The counts and the IDs of the skipped rows add up the same, however the pieces fall.
        EXPECT_EQ(one.summary, many.summary) << threads;
    }
    EXPECT_NE(one.summary.at(0).find(" skipped (62 missing ('NA'), 67 with p = 0, 490 on chromosomes not selected ('6'))"),
              std::string::npos) << one.summary[0];

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

TEST(table_reader_test, real_association_tables_match_a_reference_read) {
    // The reference splits rows with a stream (runs of blanks) or getline (one tab) and reads p-values with
    // strtod; chromosomes 1 to 23, positions divided by 10, the default threshold.
    const struct {
        const char* file;
        std::vector<std::string> switches;
        bool whitespace;
        size_t bp, p;  // 0-based columns; the chromosome is the first
    } tables[] = {
        {"plink19_dummy.assoc.txt", {"-delim", "whitespace", "-poscolumn", "3", "-column", "9", "-header", "yes"}, true,
         2, 8},
        {"plink2_dummy_qt.QT.glm.linear.txt", {"-poscolumn", "2", "-column", "12", "-header", "yes"}, false, 1, 11},
    };
    ScratchDir dir;
    for (const auto& t : tables) {
        const std::string path = std::string(VENNRICK_FIXTURES) + "/reader/" + t.file;
        ValueList values;
        PositionList positions;
        std::ifstream file(path);
        std::string line, field;
        std::getline(file, line);
        std::string hits = line + "\n";
        while (std::getline(file, line)) {
            std::vector<std::string> fields;
            std::istringstream row(line);
            while (t.whitespace ? static_cast<bool>(row >> field) : static_cast<bool>(std::getline(row, field, '\t')))
                fields.push_back(field);
            const double p = std::strtod(fields[t.p].c_str(), nullptr);
            const long chromosome = std::strtol(fields[0].c_str(), nullptr, 10);
            if (fields[t.p] == "NA" || p == 0 || chromosome < 1 || chromosome > 23) continue;
            positions.push_back(static_cast<int32_t>(std::stol(fields[t.bp]) / 10));
            values.push_back(-std::log10(p));
            if (values.back() >= static_cast<double>(7.3f)) hits += line + "\n";
        }
        ASSERT_GT(values.size(), 19000u) << t.file;
        ASSERT_GE(std::count(hits.begin(), hits.end(), '\n'), 7) << t.file;
        for (unsigned threads : {1u, 2u}) {
            const ReadRun run = readContent(dir, readFile(path), t.switches, threads, 100000);
            ASSERT_FALSE(run.fatal) << t.file;
            EXPECT_EQ(run.data.Value_list, values) << t.file;
            EXPECT_EQ(run.data.Pos_list, positions) << t.file;
            EXPECT_EQ(run.hits, hits) << t.file;
        }
    }
}
