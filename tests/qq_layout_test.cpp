// The QQ picture as data: the points from rank stretches against a full sort, the axes' round maximum, and the
// figure's parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "qq_layout.h"

using namespace vennrick;

namespace {

using Pixel = std::pair<int, int>;

// Every usable value placed by a full sort: ascending rank r at (expected value of r, value).
std::set<Pixel> sortedPixels(const std::vector<double>& values, const QqAxes& axes) {
    std::vector<double> sorted;
    for (double v : values)
        if (takesPart(v)) sorted.push_back(v);
    std::sort(sorted.begin(), sorted.end());
    const auto n = static_cast<int64_t>(sorted.size());
    std::set<Pixel> pixels;
    for (int64_t r = 0; r < n; ++r)
        pixels.insert({qqPixelX(expectedValue(r, n, plottingOffset(n)), axes.scale),
                       qqPixelY(sorted[static_cast<size_t>(r)], axes.scale)});
    return pixels;
}

}  // namespace

TEST(qq_layout_test, points_equal_a_full_sort) {
    // Many sizes (both plotting offsets), p-values rounded to few digits (ties), strong signals, p = 1, a p-value
    // below the double range, values that take no part, and all values equal.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> u(0, 1);
    for (size_t n : {1u, 2u, 3u, 10u, 11u, 57u, 1000u, 20000u, 300000u}) {
        for (int digits : {1, 3, 6}) {
            const double scale = std::pow(10.0, digits);
            std::vector<double> values(n);
            for (double& v : values) v = -std::log10(std::max(std::round(u(random) * scale), 1.0) / scale);
            if (n > 10) {
                for (size_t k = 0; k < n / 100 + 1; ++k) values[random() % n] = 8.0 + 30.0 * u(random);
                values[random() % n] = std::numeric_limits<double>::quiet_NaN();
                values[random() % n] = -0.25;
            }
            if (digits == 6) values[0] = 400.0;
            const QqSample sample = sampleValues(values);
            const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
            const std::vector<PixelDot> dots = qqDots(values, sample, axes);
            std::set<Pixel> found;
            for (const PixelDot& d : dots) found.insert({d.x, d.y});
            EXPECT_EQ(found.size(), dots.size()) << "each pixel once";
            EXPECT_EQ(found, sortedPixels(values, axes)) << n << " values, " << digits << " digits";
        }
    }
    const std::vector<double> equal(5000, 1.5);
    const QqSample sample = sampleValues(equal);
    const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
    std::set<Pixel> found;
    for (const PixelDot& d : qqDots(equal, sample, axes)) found.insert({d.x, d.y});
    EXPECT_EQ(found, sortedPixels(equal, axes));
}

TEST(qq_layout_test, axes_round_up_to_a_step) {
    struct Case {
        double maxValue;
        int64_t usable;
        int step;
        double top;
    } cases[] = {
        {7.0, 10000000, 1, 8.0},    // the expected maximum, -log10(0.5 / 1e7) = 7.3, is larger
        {25.0, 100, 1, 25.0},       // seed 2 rounds to step 1
        {59.5, 100, 1, 60.0},
        {61.0, 100, 5, 65.0},       // seed 6 rounds to 5
        {400.0, 3, 40, 400.0},      // a p-value of 1e-400
        {0.0, 0, 1, 1.0},           // nothing above 0: one step
        {0.0, 1, 1, 1.0},           // expected -log10(0.625 / 1.25) = 0.3
        {1e300, 5, 1, 1e300},       // the seed does not fit an int: step 1, and no ticks are drawn
    };
    for (const Case& c : cases) {
        const QqAxes axes = qqAxes(c.maxValue, c.usable);
        EXPECT_EQ(axes.step, c.step) << c.maxValue;
        EXPECT_EQ(axes.top, c.top) << c.maxValue;
        EXPECT_EQ(axes.scale, kQqSide / c.top) << c.maxValue;
    }
    // Plotting positions: a = 3/8 up to 10 values, 1/2 above.
    EXPECT_NEAR(expectedValue(9, 10, plottingOffset(10)), -std::log10(0.625 / 10.25), 1e-15);
    EXPECT_NEAR(expectedValue(10, 11, plottingOffset(11)), -std::log10(0.5 / 11.0), 1e-15);
}

TEST(qq_layout_test, figure_parts) {
    // Three values, one of them p = 1e-400: its point lies at the top of the plot area.
    const std::vector<double> values = {0.3, 400.0, 1.0};
    const QqSample sample = sampleValues(values);
    const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
    const Figure figure = layoutQq(3, axes, qqDots(values, sample, axes), 1.23456, "Title", 14, 9);
    EXPECT_EQ(figure.width, 533);
    EXPECT_EQ(figure.height, 533);
    ASSERT_EQ(figure.points.size(), 1u);
    const int topX = qqPixelX(expectedValue(2, 3, 0.375), kQqSide / 400.0);
    const std::vector<PixelDot>& dots = figure.points[0].dots;
    EXPECT_TRUE(std::any_of(dots.begin(), dots.end(), [&](PixelDot d) { return d.x == topX && d.y == 60; }));

    // The band: finite vertices, clipped to the plot area.
    ASSERT_EQ(figure.polygons.size(), 1u);
    EXPECT_GE(figure.polygons[0].vertices.size(), 4u);
    for (const FigurePoint& p : figure.polygons[0].vertices) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    ASSERT_TRUE(figure.polygons[0].clip.has_value());
    EXPECT_EQ(figure.polygons[0].clip->left, 70.0);
    EXPECT_EQ(figure.polygons[0].clip->top, 60.0);

    // The axes, eleven ticks of 40 with two marks each, and the red diagonal from (0, 0) to (400, 400).
    ASSERT_EQ(figure.lines.size(), 2u + 2u * 11u + 1u);
    const FigureLine& diagonal = figure.lines.back();
    EXPECT_EQ(diagonal.colour, (Colour{255, 0, 0, 255}));
    EXPECT_EQ((std::vector<double>{diagonal.x1, diagonal.y1, diagonal.x2, diagonal.y2}),
              (std::vector<double>{70, 473, 483, 60}));

    std::vector<std::string> texts;
    for (const FigureText& t : figure.texts) texts.push_back(t.text);
    for (const char* expected : {"Title", "Expected \u2212log10(p)", "Observed \u2212log10(p)", "\u03bb = 1.2346",
                                 "0.0", "400.0"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
    for (const FigureText& t : figure.texts) EXPECT_EQ(t.rotation, t.text.rfind("Observed", 0) == 0 ? 90.0 : 0.0);

    // One usable value: no band, lambda NA.
    const std::vector<double> single = {0.5, -1.0};
    const QqAxes oneAxes = qqAxes(0.5, 1);
    const Figure one = layoutQq(1, oneAxes, qqDots(single, sampleValues(single), oneAxes), std::nullopt, "t", 12, 10);
    EXPECT_TRUE(one.polygons.empty());
    EXPECT_EQ(one.texts.back().text, "\u03bb = NA");
    EXPECT_EQ(one.points[0].dots.size(), 1u);
}
