// The plot through the real binary: the JPEG's quantisation tables, the decoded image's size and colour probes.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>

#include "test_support.h"

using namespace vennrick::test;

namespace {

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

// A decoded pixel near the expected colour in the colour space the JPEG codes in: luminance, kept per pixel,
// within lumaTolerance; the two chroma components, averaged over 2 x 2 pixels and quantised more coarsely (thin
// features lose much chroma), within chromaTolerance. Blue, grey, red, black and white differ by more than that.
::testing::AssertionResult near(const QImage& image, int x, int y, QRgb want, double lumaTolerance = 24,
                                double chromaTolerance = 64) {
    auto ycc = [](QRgb c) {
        const double r = qRed(c), g = qGreen(c), b = qBlue(c);
        return std::array<double, 3>{0.299 * r + 0.587 * g + 0.114 * b, -0.168736 * r - 0.331264 * g + 0.5 * b,
                                     0.5 * r - 0.418688 * g - 0.081312 * b};
    };
    const QRgb p = image.pixel(x, y);
    const std::array<double, 3> got = ycc(p), expected = ycc(want);
    if (std::abs(got[0] - expected[0]) <= lumaTolerance && std::abs(got[1] - expected[1]) <= chromaTolerance &&
        std::abs(got[2] - expected[2]) <= chromaTolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << p << ", not " << want;
}

}  // namespace

TEST(plot_end_to_end_test, the_jpeg_file) {
    // Eight rows by index: x = 60 + 85 i; values 1 (the baseline) to 10 (the top), pixPerY = 413 / 9. Row 1 is
    // an isolated blue point at (145, 289), row 3 a red one at (315, 60), row 5 a grey one at (485, 335); the
    // others lie on the baseline.
    const std::string jpeg = expectCompleteRun(
        "eight rows", "CHR\tP\n1\t0.1\n1\t1e-5\n1\t0.1\n1\t1e-10\n2\t0.1\n2\t1e-4\n2\t0.1\n2\t0.1\n",
        "CHR\tP\n1\t1e-10\n", {"-header", "yes"});
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    std::vector<std::array<int, 64>> tables = quantisationTables(jpeg);
    EXPECT_EQ(tables[0], quality90(kLuminance));
    EXPECT_EQ(tables[1], quality90(kChrominance));

    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPEG"));
    EXPECT_EQ(image.size(), QSize(800, 533));
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(50, 50, 255), grey = qRgb(125, 125, 125);
    EXPECT_TRUE(near(image, 315, 60, red)) << "red point";
    EXPECT_TRUE(near(image, 144, 288, blue)) << "blue point";
    EXPECT_TRUE(near(image, 484, 334, grey)) << "grey point";
    EXPECT_TRUE(near(image, 60, 250, blue)) << "y axis";
    EXPECT_TRUE(near(image, 610, 472, qRgb(0, 0, 0))) << "baseline";
    EXPECT_TRUE(near(image, 400, 200, qRgb(255, 255, 255), 4, 4)) << "empty area";
    // Negative controls for the probe: the points are not in each other's colours, the axis not grey, the empty
    // area not blue.
    EXPECT_FALSE(near(image, 144, 288, grey) || near(image, 484, 334, blue) || near(image, 315, 60, blue) ||
                 near(image, 60, 250, grey) || near(image, 400, 200, blue));
}

TEST(plot_end_to_end_test, qq_plot_and_lambda) {
    // Usable p-values 1e-400, 0.01, 0.2, 0.5 and 1: the middle one is 0.2, whose chi-squared quantile is
    // 1.64237441514981638677 (independently, to 30 digits), so lambda = 1.6423744 / 0.4549364 = 3.61011853.
    // p = 2 and p = -0.1 are kept rows of the Manhattan plot and take no part here.
    const std::string table = "CHR\tP\n1\t0.5\n1\t1\n1\t2\n1\t1e-400\n1\t-0.1\n1\t0.01\n1\t0.2\n";
    const std::string hits = "CHR\tP\n1\t1e-400\n";
    const std::string classicImage = expectCompleteRun("classic", table, hits, {"-header", "yes"});

    ScratchDir dir;
    writeFile(dir.file("d.txt"), table);
    const std::vector<std::string> args =
        manhattanArgs("d.txt", {"-out", "hits", "-figuretitle", "t", "-header", "yes", "-qq", "yes"});
    RunResult run = runVennrick(args, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(maskClock(run.out), expectedConsole(args, "Header size 1\nGenomic inflation factor lambda = 3.6101\n"
                                                        "\nDONE in <elapsed>\n\n"));
    EXPECT_EQ(run.err, "vennrick: 7 rows read: 7 kept, 0 skipped, 1 hit\n"
                       "vennrick: a p-value outside (0, 1] in 2 kept rows: is -column the p-value column?\n"
                       "vennrick: 2 p-values not in (0, 1] or not a number, left out of the QQ plot and lambda\n");
    EXPECT_TRUE(readFile(dir.file("hits")) == hits);
    EXPECT_TRUE(readFile(dir.file("hits.jpg")) == classicImage) << "the Manhattan image is unchanged";

    const std::string jpeg = readFile(dir.file("hits.qq.jpg"));
    EXPECT_EQ(quantisationTables(jpeg)[0], quality90(kLuminance));
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPEG"));
    EXPECT_EQ(image.size(), QSize(533, 533));
    // Axes to 400, since 1e-400 is plotted at its true -log10 (its pixel is a unit test's), so every point lies
    // beside the y axis, and the diagonal runs from (70, 473) to (483, 60).
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(50, 50, 255);
    EXPECT_TRUE(near(image, 70, 250, blue)) << "the y axis";
    EXPECT_TRUE(near(image, 276, 267, red)) << "the diagonal";
    EXPECT_TRUE(near(image, 300, 300, qRgb(255, 255, 255), 4, 4)) << "empty area";
    EXPECT_FALSE(near(image, 276, 267, blue) || near(image, 300, 300, blue));
}

TEST(plot_end_to_end_test, styles_sizes_and_types_change_only_the_pictures) {
    // The table of the_jpeg_file. Every run prints what the classic run prints and writes the same hit file.
    const std::string table = "CHR\tP\n1\t0.1\n1\t1e-5\n1\t0.1\n1\t1e-10\n2\t0.1\n2\t1e-4\n2\t0.1\n2\t0.1\n";
    const std::string hits = "CHR\tP\n1\t1e-10\n";
    ScratchDir dir;
    writeFile(dir.file("d.txt"), table);
    auto run = [&](const std::vector<std::string>& more, const std::string& image) {
        std::vector<std::string> extra = {"-out", "hits", "-figuretitle", "t", "-header", "yes", "-qq", "yes"};
        extra.insert(extra.end(), more.begin(), more.end());
        const std::vector<std::string> args = manhattanArgs("d.txt", extra);
        const RunResult result = runVennrick(args, dir.path);
        EXPECT_EQ(result.status, 0) << more[1];
        EXPECT_EQ(maskClock(result.out), expectedConsole(args, "Header size 1\nGenomic inflation factor lambda = 5.9471\n"
                                                                "\nDONE in <elapsed>\n\n"))
            << more[1];
        EXPECT_EQ(result.err, "vennrick: 8 rows read: 8 kept, 0 skipped, 1 hit\n") << more[1];
        EXPECT_TRUE(readFile(dir.file("hits")) == hits) << more[1];
        return readFile(dir.file(image));
    };
    // The classic figure at twice the size and dpi: the red point of the documented picture at (315, 60), doubled.
    const QImage classic = [&] {
        QImage image;
        const std::string png = run({"-size", "1600x1066", "-dpi", "192", "-image", "png"}, "hits.png");
        image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()));
        return image;
    }();
    ASSERT_EQ(classic.size(), QSize(1600, 1066));
    EXPECT_TRUE(classic.pixel(630, 120) == qRgb(255, 0, 0) && classic.pixel(627, 117) == qRgb(255, 0, 0) &&
                classic.pixel(626, 120) == qRgb(255, 255, 255));
    // The paper style (the -style switch reaches the tool past the toolkit, which knows one of that name), as PNG
    // and with its QQ plot as a square of the same height.
    for (const char* type : {"png", "pdf"}) {
        const std::string image = run({"-style", "paper", "-image", type}, std::string("hits.") + type);
        const std::string qq = readFile(dir.file(std::string("hits.qq.") + type));
        QImage picture, qqPicture;
        if (std::string(type) == "png") {
            picture.loadFromData(reinterpret_cast<const uchar*>(image.data()), static_cast<int>(image.size()));
            qqPicture.loadFromData(reinterpret_cast<const uchar*>(qq.data()), static_cast<int>(qq.size()));
            EXPECT_TRUE(picture.size() == QSize(800, 533) && qqPicture.size() == QSize(533, 533));
            // The hit, the largest value, is at the top of its axis, in the paper style's hit colour.
            int hitPixels = 0;
            for (int y = 0; y < 533; ++y)
                for (int x = 0; x < 800; ++x) hitPixels += picture.pixel(x, y) == qRgb(213, 94, 0) ? 1 : 0;
            EXPECT_GT(hitPixels, 5);
        } else {
            // 800 x 533 pixels at 96 dpi are 600 x 399.75 points, and PDF pages are whole points.
            EXPECT_NE(image.find("/MediaBox [0 0 600.000000 400.000000]"), std::string::npos);
            EXPECT_NE(qq.find("/MediaBox [0 0 400.000000 400.000000]"), std::string::npos);
        }
    }
}
