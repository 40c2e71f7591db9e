// Large and degenerate generated tables through the real binary: lines of 50 MB, a million rows, 100,000
// one-row runs, positions near 2^31, equal values and NaN values. Each ends with the documented result: exit
// status, console texts, hit file and an 800 x 533 image.
#include <gtest/gtest.h>

#include <QImage>
#include <set>

#include "test_support.h"

using namespace vennrick::test;

namespace {

// A table: the text of the data file and the hit rows expected from it.
struct Table {
    std::string text, hits;
    void row(const std::string& line, bool hit) {
        (text += line) += '\n';
        if (hit) (hits += line) += '\n';
    }
};

// Runs the table and checks a complete run with an 800 x 533 image; returns the columns of the image that hold
// red (highlighted) pixels.
std::set<int> expectCompleteRun(const char* name, const std::string& text, const std::string& hits,
                                const std::vector<std::string>& more = {}) {
    const std::string jpeg = vennrick::test::expectCompleteRun(name, text, hits, more);
    QImage image;
    EXPECT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPEG"));
    EXPECT_EQ(image.size(), QSize(800, 533)) << name;
    std::set<int> red;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 150 && qGreen(p) < 110 && qBlue(p) < 110) red.insert(x);
        }
    return red;
}

constexpr size_t kHuge = size_t{50} << 20;

}  // namespace

TEST(stress_test, lines_of_50_megabytes) {
    // Two fields of 25 MB each before the ID and p-value columns: the row is cut past them and copied whole.
    std::string line(kHuge / 2, 'a');
    line.append("\t").append(kHuge / 2, 'b').append("\t1\t1e-9");
    expectCompleteRun("huge fields", line + "\nx\ty\t2\t0.5\n", line + "\n", {"-idcolumn", "3", "-column", "4"});
    // A p-value of 50 MB, the last line of the file without a line end: 5e-9 followed by zeros.
    std::string text = "2\t0.5\n1\t0.000000005" + std::string(kHuge, '0');
    expectCompleteRun("huge p-value", text, text.substr(6) + "\n");
    // A header line of 50 MB: the header is read line by line apart from the rows; its last line is copied.
    text = std::string(kHuge, 'H') + "\n1\t1e-9\n2\t0.5\n";
    expectCompleteRun("huge header", text, text.substr(0, kHuge + 8), {"-header", "yes"});
}

TEST(stress_test, many_rows) {
    // A million rows of one chromosome: the hits are spread evenly from the first to the last position.
    Table one;
    for (int i = 0; i < 1000000; ++i) {
        const bool hit = i % 1000 == 999;
        one.row(std::string("7\t") + (hit ? "3e-9" : i % 3 ? "1e-3" : "0.25") + "\t" + std::to_string(1000 + i * 30),
                hit);
    }
    std::set<int> red = expectCompleteRun("one chromosome", one.text, one.hits, {"-poscolumn", "3"});
    ASSERT_FALSE(red.empty());
    EXPECT_LE(*red.begin(), 62);
    EXPECT_GE(*red.rbegin(), 738);
    // The same image with one thread as with as many as the machine has, and with more asked for than it has.
    const std::string single = vennrick::test::expectCompleteRun("one thread", one.text, one.hits,
                                                                 {"-poscolumn", "3", "-threads", "1"});
    EXPECT_TRUE(single == vennrick::test::expectCompleteRun("all threads", one.text, one.hits, {"-poscolumn", "3"}));
    EXPECT_TRUE(single == vennrick::test::expectCompleteRun("too many threads", one.text, one.hits,
                                                            {"-poscolumn", "3", "-threads", "64"}));

    // IDs alternate, so every row is a run of its own and gets a label; positions count up by run.
    Table runs;
    for (int i = 0; i < 100000; ++i)
        runs.row(std::string(i % 2 ? "2\t" : "1\t") + std::to_string(500 + i) + (i % 997 ? "\t0.3" : "\t1e-8"),
                 i % 997 == 0);
    expectCompleteRun("one-row runs", runs.text, runs.hits, {"-column", "3", "-poscolumn", "2"});

    // Eight chromosomes, each spanning positions 1 to 2^31 - 1 with -div 1: the cumulative positions reach about
    // 8 x 2^31. Two hits: the last row of chromosome 4, which lies at the middle of the plot (x 60 + 680 x 4 / 8
    // = 400), and the first row of chromosome 7 (x 60 + 680 x 6 / 8 = 570).
    Table wide;
    for (int c = 1; c <= 8; ++c)
        for (int64_t pos : {1, 1000, 1073741824, 2147483000, 2147483647}) {
            const bool hit = (c == 4 && pos == 2147483647) || (c == 7 && pos == 1);
            wide.row(std::to_string(c) + "\t" + (hit ? "1e-20" : "0.01") + "\t" + std::to_string(pos), hit);
        }
    red = expectCompleteRun("positions near 2^31", wide.text, wide.hits, {"-poscolumn", "3", "-div", "1"});
    for (int x : red) EXPECT_TRUE(std::abs(x - 400) <= 3 || std::abs(x - 570) <= 3) << "red at x " << x;
    EXPECT_TRUE(red.count(400)) << "the hit at the end of chromosome 4";
    EXPECT_TRUE(red.count(570)) << "the hit at the start of chromosome 7";
}

TEST(stress_test, degenerate_values) {
    // All values equal, and every one a hit: the hit file is the whole table.
    Table equal;
    for (int i = 0; i < 200000; ++i) equal.row((i < 120000 ? "3\t1e-9\t" : "4\t1e-9\t") + std::to_string(i), true);
    expectCompleteRun("all values equal", equal.text, equal.hits);
    // Every value NaN ("nan" in any letter case, or a negative p-value) but two; NaN rows are kept but never
    // hits. Then the neighbours: one finite value (a zero y range), and none at all.
    const char* nans[] = {"nan", "NaN", "-0.5", "NAN", "-1e-9"};
    for (int finite : {2, 1, 0}) {
        Table t;
        const int rows = finite == 2 ? 200000 : 1000;
        for (int i = 0; i < rows; ++i) {
            const bool hit = finite >= 1 && i == rows / 3;
            const char* p = hit ? "1e-12" : finite == 2 && i == rows * 3 / 4 ? "0.5" : nans[i % 5];
            t.row(std::string(i < rows / 2 ? "5\t" : "6\t") + p, hit);
        }
        expectCompleteRun(finite == 2 ? "NaN but two" : finite == 1 ? "NaN but one" : "all NaN", t.text, t.hits);
    }
}
