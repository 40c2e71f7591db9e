// The reading stage through readTable: header, row tests and their order, PlotData, the hit file, the
// decisions on odd input, and the parallel read against the serial one.
#include "table_reader.h"

#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
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
    std::string out, err, hits;
};

// Writes content as the data file and reads it with the switches given after "-file".
ReadRun readContent(const ScratchDir& dir, const std::string& content, std::vector<std::string> switches,
                    ReadOptions options = {}) {
    const std::string path = dir.file("data.txt");
    writeFile(path, content);
    switches.insert(switches.begin(), {"-file", path});
    std::ostringstream notices, out, err;
    Outcome<PlotSettings> settings = readSettings(switches, notices);
    EXPECT_TRUE(std::holds_alternative<PlotSettings>(settings));
    options.showProgress = false;
    Outcome<TableRead> outcome = readTable(std::get<PlotSettings>(settings), out, err, options);
    ReadRun run;
    if (Fatal* fatal = std::get_if<Fatal>(&outcome)) {
        run.fatal = *fatal;
    } else {
        TableRead& read = std::get<TableRead>(outcome);
        run.fatal = closeHitFile(read.hits);
        run.data = std::move(read.data);
    }
    run.out = out.str();
    run.err = err.str();
    run.hits = readFile(path + ".out");
    return run;
}

// Every field of PlotData as text, values to the last bit.
std::string describe(const PlotData& d) {
    std::string text;
    char number[64];
    for (const IdRun& run : d.ID_list) text += run.id + "x" + std::to_string(run.count) + " ";
    text += "|";
    for (double v : d.Value_list) {
        std::snprintf(number, sizeof number, " %a", v);
        text += number;
    }
    text += " |";
    for (int32_t p : d.Pos_list) text += " " + std::to_string(p);
    std::snprintf(number, sizeof number, " | %lld %a %a", static_cast<long long>(d.maxX), d.minY, d.maxY);
    return text + number;
}

// The text as one gzip member, written by zlib.
std::string gzipBytes(const std::string& text) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string bytes(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_out = static_cast<uInt>(bytes.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    bytes.resize(z.total_out);
    deflateEnd(&z);
    return bytes;
}

// The text in bgzip blocks, written by the BGZF writer (blocks of at most 64 KiB, then the end block).
std::string bgzipBytes(const ScratchDir& dir, const std::string& text) {
    const std::string path = dir.file("written.bgz");
    BGZF* file = bgzf_open(path.c_str(), "w");
    EXPECT_EQ(bgzf_write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(bgzf_close(file), 0);
    return readFile(path);
}

const std::vector<std::string> kChrPValue = {"-idcolumn", "1", "-column", "2"};

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

}  // namespace

TEST(table_reader_test, header_lines) {
    ScratchDir dir;
    // Size 3 with empty lines among the header lines: line 3 goes to the hit file, the data start at line 4.
    ReadRun run = readContent(dir, "\n\r\nCHR P\n1 1e-9\n", with(kChrPValue, {"-delim", "space", "-header", "yes", "-header-size", "3", "-threshold", "1"}));
    EXPECT_EQ(run.out, "Header size 3\n");
    EXPECT_EQ(run.hits, "CHR P\n1 1e-9\n");
    EXPECT_FALSE(run.fatal);

    run = readContent(dir, "h1\nh2\nCHR\tP\n1\t1e-9\n", with(kChrPValue, {"-header", "yes", "-header-size", "3"}));
    EXPECT_EQ(run.hits, "CHR\tP\n1\t1e-9\n");
    EXPECT_EQ(run.data.maxX, 1);

    // A header longer than the file ends at the end of the file, at once, with an empty last header line.
    run = readContent(dir, "a\tb\n1\t1e-9\n", with(kChrPValue, {"-header", "yes", "-header-size", "2000000000"}));
    EXPECT_EQ(run.out, "Header size 2000000000\n");
    EXPECT_EQ(run.hits, "\n");
    EXPECT_EQ(run.data.maxX, 0);
    EXPECT_FALSE(run.fatal);

    // Undeclared header: its first line is read as a row.
    run = readContent(dir, "CHR\tP\n1\t1e-9\n", kChrPValue);
    EXPECT_EQ(run.out, "No header\n");
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    EXPECT_NE(run.fatal->detail.find("line 1"), std::string::npos) << run.fatal->detail;

    // An empty data file with a header declared: no header, nothing written.
    run = readContent(dir, "", with(kChrPValue, {"-header", "yes"}));
    EXPECT_EQ(run.out, "No header\n");
    EXPECT_EQ(run.hits, "");
    EXPECT_FALSE(run.fatal);

    // A byte-order mark is not part of the first line, header or row.
    run = readContent(dir, "\xEF\xBB\xBF" "CHR\tP\n1\t1e-9\n", with(kChrPValue, {"-header", "yes"}));
    EXPECT_EQ(run.hits, "CHR\tP\n1\t1e-9\n");
    run = readContent(dir, "\xEF\xBB\xBF" "1\t1e-9\n", kChrPValue);
    EXPECT_EQ(run.data.maxX, 1);
    EXPECT_EQ(run.hits, "1\t1e-9\n");
}

TEST(table_reader_test, p_values_and_threshold) {
    ScratchDir dir;
    // The double p whose -log10 is exactly 7.3 lies below the widened threshold 7.300000190734863.
    const double p73 = 5.011872336272725e-08;
    ASSERT_EQ(-std::log10(p73), 7.3);
    char p73text[40];
    std::snprintf(p73text, sizeof p73text, "%.17g", p73);

    const std::string table = std::string("1\tNA\n") +  // missing marker: skipped
                              "1\t0\n" +                  // p = 0: skipped
                              "1\t1\n" +                  // value -0
                              "1\t10\n" +                 // value -1: the new minY
                              "1\t-0.5\n" +               // NaN: kept, no min/max, never a hit
                              "1\t" + p73text + "\n" +    // 7.3: not a hit
                              "1\t5e-8\n" +               // 7.30103: a hit
                              "2\t1e-400\n" +             // below the double range: value 400
                              "1\t +.5e-1 \n";            // blanks and a sign are accepted
    ReadRun run = readContent(dir, table, kChrPValue);
    ASSERT_FALSE(run.fatal);
    ASSERT_EQ(run.data.maxX, 7);
    const std::vector<double>& v = run.data.Value_list;
    EXPECT_TRUE(v[0] == 0 && std::signbit(v[0]));
    EXPECT_EQ(v[1], -1);
    EXPECT_TRUE(std::isnan(v[2]));
    EXPECT_EQ(v[3], 7.3);
    EXPECT_NEAR(v[4], 7.30103, 1e-5);
    EXPECT_DOUBLE_EQ(v[5], 400);
    EXPECT_DOUBLE_EQ(v[6], 1.3010299956639813);
    EXPECT_EQ(run.data.minY, -1);
    EXPECT_DOUBLE_EQ(run.data.maxY, 400);
    EXPECT_EQ(run.hits, "1\t5e-8\n2\t1e-400\n");

    // An empty p-value field is not missing and stops the run; with an empty marker it is missing.
    run = readContent(dir, "1\t1e-9\n1\t\n", kChrPValue);
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    run = readContent(dir, "1\t1e-9\n1\t\n", with(kChrPValue, {"-missing", ""}));
    EXPECT_FALSE(run.fatal);
    EXPECT_EQ(run.data.maxX, 1);
    // The marker is compared as whole, case-sensitive text.
    run = readContent(dir, "1\tna\n", kChrPValue);
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
}

TEST(table_reader_test, lines_fields_and_exact_hit_bytes) {
    ScratchDir dir;
    // Carriage returns are dropped anywhere in a line; empty lines are skipped; the last line needs no end.
    ReadRun run = readContent(dir, "1\t1e-9\tx\r\n\r\n\n1\t1e-10\ta\rb\r\n2\t1e-11\t\xFF\xFE", with(kChrPValue, {"-threshold", "1"}));
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(run.data.maxX, 3);
    EXPECT_EQ(run.hits, "1\t1e-9\tx\n1\t1e-10\tab\n2\t1e-11\t\xFF\xFE\n");

    // With the space delimiter every single space makes a field: a double space shifts the columns.
    run = readContent(dir, "1 1e-9 x\n1  1e-9\n", with(kChrPValue, {"-delim", "space"}));
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    EXPECT_NE(run.fatal->detail.find("line 2"), std::string::npos);
    EXPECT_EQ(run.data.maxX, 0);

    // A row shorter than the highest column in use is an unreadable p-value, whichever column is missing.
    run = readContent(dir, "1\t1e-9\n", with(kChrPValue, {"-poscolumn", "3"}));
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    run = readContent(dir, "   \n", kChrPValue);  // a line of blanks is a row, not an empty line
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);

    // IDs are compared as whole text; runs of consecutive equal IDs are counted, a returning ID starts a run.
    run = readContent(dir, "1\t0.5\n1\t0.5\n01\t0.5\nchr1\t0.5\n1 \t0.5\nX\t0.5\n2\t0.5\n1\t0.5\n",
                      with(kChrPValue, {"-chr", "1-22,X"}));
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(describe(run.data).substr(0, 14), "1x2 Xx1 2x1 1x");
}

TEST(table_reader_test, order_of_the_row_tests) {
    ScratchDir dir;
    const auto cols = with(kChrPValue, {"-poscolumn", "3", "-chr", "1"});
    // A bad position only matters on a row with a readable, non-zero p-value of a selected chromosome.
    ReadRun run = readContent(dir, "1\tNA\tbad\n1\t0\tbad\n2\t1e-9\tbad\n1\t1e-9\t12345\n1\t0.1\t-15\n", cols);
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(run.data.Pos_list, (std::vector<int32_t>{1234, -1}));

    run = readContent(dir, "1\t1e-9\t5\n1\t0.5\t1.5\n", cols);
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPos);
    EXPECT_NE(run.fatal->detail.find("line 2"), std::string::npos);
    EXPECT_EQ(run.hits, "1\t1e-9\t5\n");  // hits met before the fatal row are in the file

    // An unreadable p-value stops the run even on a chromosome that is not selected.
    run = readContent(dir, "2\tabc\t5\n", cols);
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);

    // With a window, a bad position stops the run whether or not the window would keep the row, and
    // positions are stored as read; the bounds are inclusive.
    const auto window = with(cols, {"-posrange", "100-200"});
    run = readContent(dir, "1\t0.5\t99\n1\t0.5\t100\n1\t0.5\t200\n1\t0.5\t201\n", window);
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(run.data.Pos_list, (std::vector<int32_t>{100, 200}));
    run = readContent(dir, "1\t0.5\t2147483648\n", window);
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPos);

    // A hit of an unselected chromosome is neither kept nor written.
    run = readContent(dir, "2\t1e-20\t5\n1\t0.5\t7\n", cols);
    EXPECT_EQ(run.hits, "");
    EXPECT_EQ(run.data.maxX, 1);
}

TEST(table_reader_test, file_decisions) {
    ScratchDir dir;
    const std::string data = dir.file("d.txt");
    writeFile(data, "1\t1e-9\n");
    PlotSettings s;
    s.Filename = data;
    // Another spelling, a hard link and a symbolic link to the data file, as hit file or as image file.
    ASSERT_EQ(link(data.c_str(), dir.file("hard").c_str()), 0);
    ASSERT_EQ(symlink(data.c_str(), dir.file("soft.jpg").c_str()), 0);
    for (const std::string& outname : {dir.path + "/./d.txt", dir.file("hard"), dir.file("soft")}) {
        s.Outname = outname;
        std::optional<Fatal> refused = refuseOverwritingData(s);
        ASSERT_TRUE(refused) << outname;
        EXPECT_EQ(refused->message, "");
        EXPECT_NE(refused->detail.find("overwrite"), std::string::npos);
        EXPECT_EQ(refused->detail.find('\n'), std::string::npos);
    }
    s.Outname = dir.file("d.txt.out");
    EXPECT_FALSE(refuseOverwritingData(s));
    EXPECT_EQ(readFile(data), "1\t1e-9\n");

    std::ostringstream out, err;
    s.column = 2;
    s.idcolumn = 1;
    s.SelChrom = parseChromList("1-23");
    // The hit file cannot be created: nothing else happens, the reason is given.
    s.Outname = dir.file("no/such/dir/hits");
    Outcome<TableRead> outcome = readTable(s, out, err, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(outcome));
    EXPECT_EQ(std::get<Fatal>(outcome).message, "");
    EXPECT_NE(std::get<Fatal>(outcome).detail.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(out.str(), "");

    // The data file cannot be opened: the hit file has been created already.
    s.Outname = dir.file("hits");
    s.Filename = dir.file("missing.txt");
    outcome = readTable(s, out, err, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(outcome));
    EXPECT_NE(std::get<Fatal>(outcome).detail.find("missing.txt': No such file or directory"), std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("hits")));
    s.Filename = dir.path;  // a directory is no data file either
    outcome = readTable(s, out, err, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(outcome));
    EXPECT_NE(std::get<Fatal>(outcome).detail.find("Is a directory"), std::string::npos);

    // A full disk is an error, whether it shows while reading or when the rest is written at the end.
    s.Filename = data;
    s.Outname = "/dev/full";
    s.threshold = 0;
    outcome = readTable(s, out, err, {});
    ASSERT_TRUE(std::holds_alternative<TableRead>(outcome));
    std::optional<Fatal> closed = closeHitFile(std::get<TableRead>(outcome).hits);
    ASSERT_TRUE(closed);
    EXPECT_NE(closed->detail.find("No space left on device"), std::string::npos);
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "1\t1e-9\tpadding padding padding\n";
    writeFile(data, many);
    outcome = readTable(s, out, err, {});
    ASSERT_TRUE(std::holds_alternative<Fatal>(outcome));
    EXPECT_NE(std::get<Fatal>(outcome).detail.find("No space left on device"), std::string::npos);
}

TEST(table_reader_test, parallel_read_equals_serial_read) {
    ScratchDir dir;
    // Thousands of rows over several chromosomes, with hits, skips, CRLF lines and empty lines.
    std::vector<std::string> lines;
    for (int i = 0; i < 6000; ++i) {
        const int chr = 1 + i / 500;
        std::string p = i % 97 == 0 ? "NA" : i % 89 == 0 ? "0" : i % 31 == 0 ? "1e-" + std::to_string(8 + i % 300)
                                                                               : "0." + std::to_string(1000 + i * 7 % 9000);
        lines.push_back(std::to_string(chr) + "\t" + p + "\t" + std::to_string(i * 37) + (i % 13 == 0 ? "\r" : ""));
        if (i % 211 == 0) lines.push_back("");
    }
    auto join = [](const std::vector<std::string>& rows) {
        std::string text = "CHR\tP\tBP\n";
        for (const std::string& row : rows) text += row + "\n";
        return text;
    };
    const auto cols = with(kChrPValue, {"-poscolumn", "3", "-header", "yes", "-chr", "1-5,7-12"});
    ReadOptions serial, parallel;
    serial.threads = 1;
    serial.chunkBytes = 700;
    parallel.threads = 2;
    parallel.chunkBytes = 700;

    ReadRun one = readContent(dir, join(lines), cols, serial);
    ReadRun two = readContent(dir, join(lines), cols, parallel);
    ASSERT_FALSE(one.fatal);
    ASSERT_FALSE(two.fatal);
    EXPECT_GT(one.data.maxX, 4000);
    EXPECT_GT(one.hits.size(), 1000u);
    EXPECT_EQ(describe(one.data), describe(two.data));
    EXPECT_EQ(one.hits, two.hits);

    // Two fatal rows: the first in file order is the one reported, wherever the pieces are cut, and every
    // hit before it is in the hit file.
    for (size_t at : {size_t{40}, size_t{41}, size_t{42}, size_t{43}, size_t{3000}, size_t{5999}}) {
        std::vector<std::string> bad = lines;
        bad[at] = "3\t0.5\tnot-a-position";
        bad[std::min(at + 3, bad.size() - 1)] = "4\tnot-a-p-value\t1";
        ReadRun a = readContent(dir, join(bad), cols, serial);
        ReadRun b = readContent(dir, join(bad), cols, parallel);
        ASSERT_TRUE(a.fatal && b.fatal) << at;
        EXPECT_EQ(a.fatal->message, kPos) << at;
        EXPECT_EQ(a.fatal->detail, b.fatal->detail) << at;
        EXPECT_NE(a.fatal->detail.find("line " + std::to_string(at + 2)), std::string::npos)
            << a.fatal->detail;
        EXPECT_EQ(a.hits, b.hits) << at;
        EXPECT_EQ(a.hits, one.hits.substr(0, a.hits.size())) << at;
    }
}

TEST(table_reader_test, compressed_input_reads_as_its_text) {
    ScratchDir dir;
    std::string text = "\xEF\xBB\xBF" "CHR\tP\tBP\r\n";
    for (int i = 0; i < 30000; ++i)
        text += std::to_string(1 + i / 2000) + "\t" + (i % 53 == 0 ? "1e-" + std::to_string(9 + i % 40) : "0.0" + std::to_string(i + 1)) +
                "\t" + std::to_string(i * 101) + (i % 7 == 0 ? "\r\n" : "\n");
    ASSERT_GT(text.size(), size_t{4} << 16);  // several bgzip blocks
    const std::string gz = gzipBytes(text);
    const size_t cut = text.size() / 3 + 5;  // the second member starts inside a line
    const std::string variants[][2] = {{"gzip", gz},
                                       {"multi-member gzip", gzipBytes(text.substr(0, cut)) + gzipBytes(text.substr(cut))},
                                       {"bgzip", bgzipBytes(dir, text)}};
    const auto cols = with(kChrPValue, {"-header", "yes", "-poscolumn", "3"});
    ReadRun plain = readContent(dir, text, cols);
    ASSERT_FALSE(plain.fatal);
    EXPECT_EQ(plain.data.maxX, 30000);
    for (const auto& [name, bytes] : variants) {
        for (unsigned threads : {1u, 2u}) {
            ReadOptions options;
            options.threads = threads;
            options.chunkBytes = threads == 1 ? size_t{8} << 20 : 5000;
            ReadRun run = readContent(dir, bytes, cols, options);
            EXPECT_FALSE(run.fatal) << name << ": " << (run.fatal ? run.fatal->detail : "");
            EXPECT_EQ(run.out, plain.out) << name;
            EXPECT_EQ(run.hits, plain.hits) << name;
            EXPECT_EQ(describe(run.data), describe(plain.data)) << name;
        }
    }

    // Damaged compressed data is an error naming the file, never a clean end of the data.
    std::string bgz = variants[2][1];
    std::string flipped = bgz;
    flipped[flipped.size() / 2] ^= 0x55;
    flipped[flipped.size() / 2 + 1] ^= 0x55;
    std::string corruptGz = gz;
    corruptGz[gz.size() / 2] ^= 0x55;
    const std::string damaged[][2] = {{"gzip cut short", gz.substr(0, gz.size() - 6)},
                                      {"gzip cut in the middle", gz.substr(0, gz.size() / 2)},
                                      {"corrupt gzip", corruptGz},
                                      {"bgzip cut inside a block", bgz.substr(0, bgz.size() / 2)},
                                      {"bgzip without its end block", bgz.substr(0, bgz.size() - 28)},
                                      {"corrupt bgzip", flipped}};
    for (const auto& [name, bytes] : damaged) {
        for (unsigned threads : {1u, 2u}) {
            ReadOptions options;
            options.threads = threads;
            ReadRun run = readContent(dir, bytes, cols, options);
            ASSERT_TRUE(run.fatal) << name;
            EXPECT_EQ(run.fatal->message, "") << name;
            EXPECT_NE(run.fatal->detail.find("data.txt': the compressed data is corrupt or truncated"), std::string::npos)
                << name << ": " << run.fatal->detail;
        }
    }

    // In intact compressed data a bad row is reported as such.
    ReadRun bad = readContent(dir, gzipBytes("1\t1e-9\t5\n1\tx\t6\n1\t1e-9\t7\n"), cols);
    ASSERT_TRUE(bad.fatal);
    EXPECT_EQ(bad.fatal->message, kPvalue);

    // An empty gzip member is an empty data file.
    ReadRun empty = readContent(dir, gzipBytes(""), cols);
    EXPECT_FALSE(empty.fatal);
    EXPECT_EQ(empty.out, "No header\n");
    EXPECT_EQ(empty.hits, "");
}

TEST(table_reader_test, whitespace_delimiter_and_logp) {
    ScratchDir dir;
    // Runs of blanks separate; blanks at either end make no field; hit rows keep their padding.
    const auto aligned = std::vector<std::string>{"-delim", "whitespace", "-idcolumn", "1", "-column", "4", "-poscolumn", "3"};
    ReadRun run = readContent(dir, "  1  rs1\t 100   5e-9 \r\n\t1 rs2 200\t\t0.5\t\n 2   rs3 300 NA  \n", aligned);
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(run.data.maxX, 2);
    EXPECT_EQ(run.data.Pos_list, (std::vector<int32_t>{10, 20}));
    EXPECT_EQ(run.hits, "  1  rs1\t 100   5e-9 \n");
    run = readContent(dir, " 1 rs1 100\n", aligned);  // three fields only
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    // "space" keeps making a field of every single space.
    run = readContent(dir, " 1 1e-9\n", {"-delim", "space", "-idcolumn", "2", "-column", "3"});
    EXPECT_EQ(run.hits, " 1 1e-9\n");
    run = readContent(dir, " 1 1e-9\n", {"-delim", "space", "-idcolumn", "1", "-column", "2"});
    EXPECT_FALSE(run.fatal);  // the ID is the empty first field, the p-value is "1"
    EXPECT_EQ(run.data.maxX, 0);

    // With -logp yes the column holds -log10(p): used as is, 0 kept, the rest unchanged.
    const std::string logs = "1\t0\n1\t7.3\n1\t8\n1\tNA\n1\t-1\n2\t1e-400\n";
    run = readContent(dir, logs, with(kChrPValue, {"-logp", "yes"}));
    ASSERT_FALSE(run.fatal);
    EXPECT_EQ(run.data.Value_list, (std::vector<double>{0, 7.3, 8, -1, 0}));
    EXPECT_EQ(run.data.minY, -1);
    EXPECT_EQ(run.data.maxY, 8);
    EXPECT_EQ(run.hits, "1\t8\n");
    run = readContent(dir, "1\tx\n", with(kChrPValue, {"-logp", "yes"}));
    ASSERT_TRUE(run.fatal);
    EXPECT_EQ(run.fatal->message, kPvalue);
    // Any other value changes nothing: p-values, 0 skipped.
    run = readContent(dir, logs, with(kChrPValue, {"-logp", "Yes"}));
    EXPECT_EQ(run.data.maxX, 4);
    EXPECT_DOUBLE_EQ(run.data.Value_list[0], std::log10(1 / 7.3));
}

namespace {

// Reference for a real table: rows split with a stream (runs of blanks) or getline (one tab), p-values
// read with strtod; chromosomes 1 to 23, positions divided by 10, default threshold.
struct Reference {
    std::vector<double> values;
    std::vector<int32_t> positions;
    std::string hits;
};

Reference referenceRead(const std::string& path, bool whitespace, size_t chr, size_t bp, size_t p) {
    Reference ref;
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    ref.hits = line + "\n";
    while (std::getline(file, line)) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        std::string field;
        if (whitespace) {
            while (row >> field) fields.push_back(field);
        } else {
            while (std::getline(row, field, '\t')) fields.push_back(field);
        }
        if (fields[p] == "NA") continue;
        const double pvalue = std::strtod(fields[p].c_str(), nullptr);
        const long chromosome = std::strtol(fields[chr].c_str(), nullptr, 10);
        if (pvalue == 0 || chromosome < 1 || chromosome > 23) continue;
        ref.positions.push_back(static_cast<int32_t>(std::stol(fields[bp]) / 10));
        ref.values.push_back(-std::log10(pvalue));
        if (ref.values.back() >= static_cast<double>(7.3f)) ref.hits += line + "\n";
    }
    return ref;
}

}  // namespace

TEST(table_reader_test, real_association_tables_match_a_reference_read) {
    ScratchDir dir;
    struct Table {
        const char* file;
        std::vector<std::string> switches;
        bool whitespace;
        size_t chr, bp, p;  // 0-based
    };
    const Table tables[] = {
        {"plink19_dummy.assoc.txt", {"-delim", "whitespace", "-idcolumn", "1", "-poscolumn", "3", "-column", "9"}, true, 0, 2, 8},
        {"plink2_dummy_qt.QT.glm.linear.txt", {"-idcolumn", "1", "-poscolumn", "2", "-column", "12"}, false, 0, 1, 11},
    };
    for (const Table& t : tables) {
        const std::string path = std::string(VENNRICK_FIXTURES) + "/reader/" + t.file;
        const Reference ref = referenceRead(path, t.whitespace, t.chr, t.bp, t.p);
        ASSERT_GT(ref.values.size(), 19000u) << t.file;
        ASSERT_GT(ref.hits.find('\n'), 0u);
        for (unsigned threads : {1u, 2u}) {
            ReadOptions options;
            options.threads = threads;
            options.chunkBytes = 100000;
            ReadRun run = readContent(dir, readFile(path), with(t.switches, {"-header", "yes"}), options);
            ASSERT_FALSE(run.fatal) << t.file;
            EXPECT_EQ(run.data.Value_list, ref.values) << t.file;
            EXPECT_EQ(run.data.Pos_list, ref.positions) << t.file;
            EXPECT_EQ(run.hits, ref.hits) << t.file;
            EXPECT_GE(std::count(run.hits.begin(), run.hits.end(), '\n'), 6) << t.file;
        }
    }
}
