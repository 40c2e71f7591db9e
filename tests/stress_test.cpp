// Large and degenerate generated tables through the real binary: a line of 50 MB, a million rows, 100,000
// one-row runs, positions near 2^31, equal values and NaN values. Each ends with the documented result: exit
// status, console texts, hit file and an 800 x 533 image.
#include <gtest/gtest.h>

#include <QImage>
#include <charconv>
#include <cstdint>
#include <set>

#include "test_support.h"

using namespace vennrick::test;

namespace {

void appendInt(std::string& text, int64_t value) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A table: the text of the data file and the hit rows expected from it.
struct Table {
    std::string text;
    std::string hits;
    void row(const std::string& line, bool hit) {
        text += line;
        text += '\n';
        if (hit) (hits += line) += '\n';
    }
};

struct Options {
    std::string idcolumn = "1", column = "2", poscolumn;  // empty poscolumn: none
    bool divOne = false;                                 // "-div 1"
    bool header = false;                                 // "-header yes"
};

std::vector<std::string> runArgs(const Options& o) {
    std::vector<std::string> args = {"-M", "manhattan", "-file", "d.txt", "-out", "hits",
                                     "-idcolumn", o.idcolumn, "-column", o.column, "-figuretitle", "t"};
    if (!o.poscolumn.empty()) args.insert(args.end(), {"-poscolumn", o.poscolumn});
    if (o.divOne) args.insert(args.end(), {"-div", "1"});
    if (o.header) args.insert(args.end(), {"-header", "yes"});
    return args;
}

// Standard output of a complete run, the clock masked.
std::string completeRunText(const Options& o) {
    return expectedPreamble(runArgs(o)) + "Start: <clock>\n" + (o.divOne ? "" : "div = 10\n") + "f=8\n" +
           (o.poscolumn.empty() ? "Poscolumn not specifiedPoscolumn not specified\n" : "") +
           "Showing all x-axis ID's\nShowing all y-axis ID's\nUsing title default font of 12\n"
           "Using axis default font of 10\nrunning manhattan()\n\n" + (o.header ? "Header size 1\n" : "No header\n") +
           "\nDONE in <elapsed>\n\n";
}

// Runs the table in a fresh directory and checks a complete run; returns the decoded image.
QImage expectCompleteRun(const char* name, const std::string& text, const std::string& hits, const Options& o = {}) {
    ScratchDir dir;
    writeFile(dir.file("d.txt"), text);
    RunResult run = runVennrick(runArgs(o), dir.path);
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(maskClock(run.out), completeRunText(o)) << name;
    EXPECT_EQ(run.err, "") << name;
    EXPECT_TRUE(readFile(dir.file("hits")) == hits) << name << ": hit file differs";
    QImage image(QString::fromStdString(dir.file("hits.jpg")));
    EXPECT_EQ(image.size(), QSize(800, 533)) << name;
    return image;
}

// The columns of the image that hold red (highlighted) pixels.
std::set<int> redColumns(const QImage& image) {
    std::set<int> columns;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 150 && qGreen(p) < 110 && qBlue(p) < 110) columns.insert(x);
        }
    return columns;
}

constexpr size_t kHugeBytes = size_t{50} << 20;

}  // namespace

TEST(stress_test, a_line_of_50_megabytes) {
    // Two fields of 25 MB each before the ID and p-value columns: the row is cut past them and copied whole.
    {
        std::string line;
        line.reserve(kHugeBytes + 16);
        line.append(kHugeBytes / 2, 'a').append("\t").append(kHugeBytes / 2, 'b').append("\t1\t1e-9");
        Table t;
        t.text.reserve(line.size() + 32);
        t.row(line, true);
        t.row("x\ty\t2\t0.5", false);
        Options o;
        o.idcolumn = "3";
        o.column = "4";
        expectCompleteRun("huge fields", t.text, t.hits, o);
    }
    // A p-value of 50 MB, the last line of the file without a line end: 5e-9 followed by zeros.
    {
        std::string text;
        text.reserve(kHugeBytes + 32);
        text.append("2\t0.5\n1\t0.000000005").append(kHugeBytes, '0');
        expectCompleteRun("huge p-value", text, text.substr(6) + "\n");
    }
}

TEST(stress_test, a_header_line_of_50_megabytes) {
    // The header is read line by line apart from the rows; its last line is copied to the hit file.
    std::string text;
    text.reserve(kHugeBytes + 32);
    text.append(kHugeBytes, 'H').append("\n1\t1e-9\n2\t0.5\n");
    Options o;
    o.header = true;
    expectCompleteRun("huge header", text, text.substr(0, kHugeBytes + 8), o);
}

TEST(stress_test, a_million_rows_of_one_chromosome) {
    Table t;
    t.text.reserve(size_t{24} << 20);
    for (int64_t i = 0; i < 1000000; ++i) {
        std::string line = "7\t";
        const bool hit = i % 1000 == 999;
        line += hit ? "3e-9" : i % 3 == 0 ? "0.25" : "1e-3";
        line += '\t';
        appendInt(line, 1000 + i * 30);
        t.row(line, hit);
    }
    Options o;
    o.poscolumn = "3";
    QImage image = expectCompleteRun("one chromosome", t.text, t.hits, o);
    // The hits are spread evenly from the first to the last position.
    const std::set<int> red = redColumns(image);
    ASSERT_FALSE(red.empty());
    EXPECT_LE(*red.begin(), 62);
    EXPECT_GE(*red.rbegin(), 738);
}

TEST(stress_test, a_hundred_thousand_one_row_runs) {
    // IDs alternate, so every row is a run of its own and gets a label; positions count up by run.
    Table t;
    t.text.reserve(size_t{3} << 20);
    for (int64_t i = 0; i < 100000; ++i) {
        std::string line = i % 2 == 0 ? "1\t" : "2\t";
        appendInt(line, 500 + i);
        const bool hit = i % 997 == 0;
        line += hit ? "\t1e-8" : "\t0.3";
        t.row(line, hit);
    }
    Options o;
    o.column = "3";
    o.poscolumn = "2";
    expectCompleteRun("one-row runs", t.text, t.hits, o);
}

TEST(stress_test, positions_near_two_to_the_31) {
    // Eight chromosomes, each spanning positions 1 to 2^31 - 1 with -div 1: the cumulative positions reach
    // about 8 x 2^31. Two hits: the last row of chromosome 4, which lies at the middle of the plot
    // (x 60 + 680 x 4 / 8 = 400), and the first row of chromosome 7 (x 60 + 680 x 6 / 8 = 570).
    Table t;
    for (int c = 1; c <= 8; ++c) {
        const int64_t positions[] = {1, 1000, 1073741824, 2147483000, 2147483647};
        for (int64_t pos : positions) {
            const bool hit = (c == 4 && pos == 2147483647) || (c == 7 && pos == 1);
            std::string line = std::to_string(c) + "\t" + (hit ? "1e-20" : "0.01") + "\t";
            appendInt(line, pos);
            t.row(line, hit);
        }
    }
    Options o;
    o.poscolumn = "3";
    o.divOne = true;
    QImage image = expectCompleteRun("positions near 2^31", t.text, t.hits, o);
    const std::set<int> red = redColumns(image);
    ASSERT_FALSE(red.empty());
    for (int x : red) EXPECT_TRUE(std::abs(x - 400) <= 3 || std::abs(x - 570) <= 3) << "red at x " << x;
    EXPECT_TRUE(red.count(400)) << "the hit at the end of chromosome 4";
    EXPECT_TRUE(red.count(570)) << "the hit at the start of chromosome 7";
}

TEST(stress_test, degenerate_values) {
    // All values equal, and every one a hit: the hit file is the whole table.
    {
        Table t;
        t.text.reserve(size_t{4} << 20);
        for (int64_t i = 0; i < 200000; ++i) {
            std::string line = i < 120000 ? "3\t1e-9\t" : "4\t1e-9\t";
            appendInt(line, i);
            t.row(line, true);
        }
        expectCompleteRun("all values equal", t.text, t.hits);
    }
    // Every value NaN ("nan" in any letter case, or a negative p-value) but two; NaN rows are kept but never
    // hits. Then the neighbours: one finite value (a zero y range), and none at all.
    const char* nans[] = {"nan", "NaN", "-0.5", "NAN", "-1e-9"};
    for (int finite : {2, 1, 0}) {
        Table t;
        t.text.reserve(size_t{4} << 20);
        const int64_t rows = finite == 2 ? 200000 : 1000;
        for (int64_t i = 0; i < rows; ++i) {
            std::string line = i < rows / 2 ? "5\t" : "6\t";
            const bool hit = finite >= 1 && i == rows / 3;
            line += hit ? "1e-12" : finite == 2 && i == rows * 3 / 4 ? "0.5" : nans[i % 5];
            t.row(line, hit);
        }
        expectCompleteRun(finite == 2 ? "NaN but two" : finite == 1 ? "NaN but one" : "all NaN", t.text, t.hits);
    }
}
