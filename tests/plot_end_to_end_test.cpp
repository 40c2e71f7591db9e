// The plot through the real binary: the decoded JPEG's size, its quantisation tables and colour probes,
// the kept-row gate, degenerate values and an image file that cannot be written.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "test_support.h"

using namespace vennrick::test;

namespace {

std::vector<std::string> runArgs(const std::string& file, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"-M", "manhattan", "-file", file, "-idcolumn", "1", "-column", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The quantisation tables of a baseline JPEG file, in zigzag order as stored, by table number.
std::vector<std::array<int, 64>> quantisationTables(const std::string& jpeg) {
    std::vector<std::array<int, 64>> tables(4);
    size_t at = 2;  // after SOI
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const int marker = static_cast<unsigned char>(jpeg[at + 1]);
        const size_t length = static_cast<unsigned char>(jpeg[at + 2]) * 256u + static_cast<unsigned char>(jpeg[at + 3]);
        if (marker == 0xDA) break;  // start of scan: no more tables
        if (marker == 0xDB) {
            for (size_t p = at + 4; p + 65 <= at + 2 + length; p += 65) {
                const int precisionAndId = static_cast<unsigned char>(jpeg[p]);
                EXPECT_EQ(precisionAndId >> 4, 0) << "8-bit table";
                for (int k = 0; k < 64; ++k) tables[precisionAndId & 3][k] = static_cast<unsigned char>(jpeg[p + 1 + k]);
            }
        }
        at += 2 + length;
    }
    return tables;
}

// The standard luminance and chrominance tables (natural order) scaled for quality 90: factor 200 - 2 * 90
// percent, rounded, within 1..255; returned in zigzag order.
std::array<int, 64> quality90(const std::array<int, 64>& natural) {
    static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    std::array<int, 64> stored{};
    for (int k = 0; k < 64; ++k) stored[k] = std::clamp((natural[zigzag[k]] * 20 + 50) / 100, 1, 255);
    return stored;
}

const std::array<int, 64> kLuminance = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const std::array<int, 64> kChrominance = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                          24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct Ycc {
    double y, cb, cr;
};

// The colour space the JPEG codes in: luminance kept per pixel, the two chroma components averaged over
// 2 x 2 pixels and quantised more coarsely. Thin features keep their luminance but lose much chroma.
Ycc toYcc(int r, int g, int b) {
    return {0.299 * r + 0.587 * g + 0.114 * b, 128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
            128 + 0.5 * r - 0.418688 * g - 0.081312 * b};
}

// A decoded pixel within tolerance of the expected colour: luminance within lumaTolerance, each chroma
// component within chromaTolerance. Blue, grey, red, black and white differ by more than that in luminance
// or chroma, so a probe tells them apart.
::testing::AssertionResult near(const QImage& image, int x, int y, int r, int g, int b, double lumaTolerance = 24,
                                double chromaTolerance = 64) {
    const QRgb p = image.pixel(x, y);
    const Ycc got = toYcc(qRed(p), qGreen(p), qBlue(p)), want = toYcc(r, g, b);
    if (std::abs(got.y - want.y) <= lumaTolerance && std::abs(got.cb - want.cb) <= chromaTolerance &&
        std::abs(got.cr - want.cr) <= chromaTolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << qRed(p) << ", " << qGreen(p)
                                         << ", " << qBlue(p) << "; expected " << r << ", " << g << ", " << b;
}

}  // namespace

TEST(plot_end_to_end_test, the_jpeg_file) {
    // Eight rows by index: x = 60 + 85 i; values 1 (the baseline) to 10 (the top), pixPerY = 413 / 9.
    // Row 1 is an isolated blue point at (145, 289), row 3 a red one at (315, 60), row 5 a grey one at
    // (485, 335); the others lie on the baseline.
    ScratchDir dir;
    writeFile(dir.file("d.txt"), "CHR\tP\n1\t0.1\n1\t1e-5\n1\t0.1\n1\t1e-10\n2\t0.1\n2\t1e-4\n2\t0.1\n2\t0.1\n");
    RunResult run = runVennrick(runArgs("d.txt", {"-header", "yes"}), dir.path);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(endsWith(maskClock(run.out), "\nDONE in <elapsed>\n\n"));
    EXPECT_EQ(readFile(dir.file("d.txt.out")), "CHR\tP\n1\t1e-10\n");

    const std::string jpeg = readFile(dir.file("d.txt.out.jpg"));
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    std::vector<std::array<int, 64>> tables = quantisationTables(jpeg);
    EXPECT_EQ(tables[0], quality90(kLuminance));
    EXPECT_EQ(tables[1], quality90(kChrominance));

    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPEG"));
    EXPECT_EQ(image.width(), 800);
    EXPECT_EQ(image.height(), 533);
    EXPECT_TRUE(near(image, 315, 60, 255, 0, 0)) << "red point";
    EXPECT_TRUE(near(image, 144, 288, 50, 50, 255)) << "blue point";
    EXPECT_TRUE(near(image, 484, 334, 125, 125, 125)) << "grey point";
    EXPECT_TRUE(near(image, 60, 250, 50, 50, 255)) << "y axis";
    EXPECT_TRUE(near(image, 610, 472, 0, 0, 0)) << "baseline";
    EXPECT_TRUE(near(image, 400, 200, 255, 255, 255, 4, 4)) << "empty area";
    // Negative controls for the probe: the points are not in each other's colours, the axis not grey,
    // the empty area not blue.
    EXPECT_FALSE(near(image, 144, 288, 125, 125, 125));
    EXPECT_FALSE(near(image, 484, 334, 50, 50, 255));
    EXPECT_FALSE(near(image, 315, 60, 50, 50, 255));
    EXPECT_FALSE(near(image, 60, 250, 125, 125, 125));
    EXPECT_FALSE(near(image, 400, 200, 50, 50, 255));
}

TEST(plot_end_to_end_test, fewer_than_two_kept_rows) {
    ScratchDir dir;
    writeFile(dir.file("one.txt"), "1\t0.01\n24\t0.01\n");
    RunResult run = runVennrick(runArgs("one.txt"), dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(endsWith(run.out, "running manhattan()\n\nNo header\nIllegal range selected\n")) << run.out;
    EXPECT_FALSE(fileExists(dir.file("one.txt.out.jpg")));
}

TEST(plot_end_to_end_test, equal_values_still_make_a_plot) {
    // Every p = 0.01: an infinite y scale; the points lie on the baseline and the run ends normally.
    ScratchDir dir;
    writeFile(dir.file("flat.txt"), "1\t0.01\n1\t0.01\n2\t0.01\n");
    RunResult run = runVennrick(runArgs("flat.txt"), dir.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    QImage image(QString::fromStdString(dir.file("flat.txt.out.jpg")));
    ASSERT_EQ(image.size(), QSize(800, 533));
    EXPECT_TRUE(near(image, 286, 472, 50, 50, 255, 24, 80)) << "second point on the baseline";
}

TEST(plot_end_to_end_test, an_image_that_cannot_be_written_fails_after_the_hit_file) {
    ScratchDir dir;
    writeFile(dir.file("d.txt"), "1\t1e-9\n1\t0.5\n2\t1e-10\n");
    std::filesystem::create_directory(dir.file("hits.jpg"));  // a directory in the way
    RunResult run = runVennrick(runArgs("d.txt", {"-out", "hits"}), dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("DONE in"), std::string::npos);
    EXPECT_EQ(run.err, "vennrick: cannot write the image file 'hits.jpg'\n");
    EXPECT_EQ(readFile(dir.file("hits")), "1\t1e-9\n2\t1e-10\n");
}
