// The QQ picture as data: the points from rank stretches against a full sort, the axes' round maximum, and the
// figure's parts, and lambda clear of the points, band and diagonal.

#include "test_support.h"
#include "classic/qq_layout.h"
#include "figure/figure_renderer.h"
#include "paper/paper_qq.h"

using namespace vennrick;
using namespace vennrick::test;

TEST(qq_layout_test, points_equal_a_full_sort) {
    // Many sizes (both plotting offsets), p-values rounded to few digits (ties), strong signals, a p-value below
    // the double range, values that take no part, and all values equal.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::vector<double>> inputs = {std::vector<double>(5000, 1.5)};
    for (size_t n : {1u, 2u, 3u, 10u, 11u, 57u, 1000u, 20000u, 300000u}) {
        for (double scale : {10.0, 1e3, 1e6}) {
            std::vector<double> v(n);
            for (double& x : v) x = -std::log10(std::max(std::round(u(random) * scale), 1.0) / scale);
            for (size_t k = 0; k < n / 100; ++k) v[random() % n] = 8.0 + 30.0 * u(random);
            if (n > 10) v[1] = std::numeric_limits<double>::quiet_NaN(), v[2] = -0.25;
            if (scale == 1e6) v[0] = 400.0;
            inputs.push_back(v);
        }
    }
    for (const std::vector<double>& v : inputs) {
        const QqSample sample = sampleValues(v);
        const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
        std::set<std::pair<int, int>> found, sorted;
        MedianGathering gathering = startGathering(sample);  // lambda's candidates, gathered in the same pass
        const std::vector<PixelDot> dots = qqDots(v, sample, axes, &gathering);
        EXPECT_EQ(inflationFactor(v, sample, std::move(gathering)), inflationFactor(v, sample));
        for (const PixelDot& d : dots) found.insert({d.x, d.y});
        EXPECT_EQ(found.size(), dots.size()) << "each pixel once";
        std::vector<double> usable;
        std::copy_if(v.begin(), v.end(), std::back_inserter(usable), takesPart);
        std::sort(usable.begin(), usable.end());
        const auto n = static_cast<int64_t>(usable.size());
        for (int64_t r = 0; r < n; ++r)
            sorted.insert({qqPixelX(expectedValue(r, n, plottingOffset(n)), axes.xScale),
                           qqPixelY(usable[r], axes.scale)});
        EXPECT_EQ(found, sorted) << v.size() << " values";
    }
}

TEST(qq_layout_test, axes_round_up_to_a_step) {
    for (const Case& c : loadCases("qq_axes.txt")) {
        // largest observed value, usable values, y step and top, x step and top
        const std::vector<std::string> w = c.words("axes");
        const QqAxes axes = qqAxes(std::stod(w[0]), std::stoll(w[1]));
        EXPECT_TRUE(axes.step == std::stoi(w[2]) && axes.top == std::stod(w[3]) && axes.scale == kQqSide / axes.top) << c.name;
        EXPECT_TRUE(axes.xStep == std::stoi(w[4]) && axes.xTop == std::stod(w[5]) && axes.xScale == kQqSide / axes.xTop)
            << c.name << ": x " << axes.xStep << " " << axes.xTop;
    }
    // Plotting positions: a = 3/8 up to 10 values, 1/2 above.
    EXPECT_NEAR(expectedValue(9, 10, plottingOffset(10)), -std::log10(0.625 / 10.25), 1e-15);
    EXPECT_NEAR(expectedValue(10, 11, plottingOffset(11)), -std::log10(0.5 / 11.0), 1e-15);
}

TEST(qq_layout_test, figure_parts) {
    // Three values, one of them p = 1e-400: its point lies at the top of the plot area, axes to 400.
    const std::vector<double> values = {0.3, 400.0, 1.0};
    const QqAxes axes = qqAxes(400.0, 3);
    const Figure figure = layoutQq(3, axes, qqDots(values, sampleValues(values), axes), 1.23456, "Title", 14, 9);
    const std::vector<PixelDot>& dots = figure.points.at(0).dots;
    const int topX = qqPixelX(expectedValue(2, 3, 0.375), axes.xScale);
    EXPECT_TRUE(std::any_of(dots.begin(), dots.end(), [&](PixelDot d) { return d.x == topX && d.y == 60; }));
    ASSERT_EQ(figure.polygons.size(), 1u) << "the band";
    for (const FigurePoint& p : figure.polygons[0].vertices) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    EXPECT_NE(std::find_if(figure.texts.begin(), figure.texts.end(), [](const FigureText& t) { return t.text == "\u03bb = 1.2346"; }),
              figure.texts.end());
    // The x axis fits the expected values (the largest 0.72, so the axis ends at 1), the y axis the observed (400):
    // the diagonal stops where it leaves the frame, at x = 1.
    const FigureLine& diagonal = figure.lines.back();
    EXPECT_NEAR(diagonal.x2, kQqLeft + kQqSide, 1e-9);
    EXPECT_NEAR(diagonal.y2, kQqBaseline - 1.0 * kQqSide / 400, 1e-9);
    // One usable value: no band, lambda NA.
    const Figure one = layoutQq(1, qqAxes(0.5, 1), {{75, 400}}, std::nullopt, "t", 12, 10);
    EXPECT_TRUE(one.polygons.empty());
    EXPECT_EQ(one.texts.back().text, "\u03bb = NA");
}

TEST(qq_layout_test, lambda_in_a_corner_free_of_points_band_and_diagonal) {
    // Uniform p-values (points along the diagonal), a strong signal (points far above it), a deflated set (points
    // below it) and a few values: in both styles, at two sizes, the figure painted without the lambda text is plain
    // background wherever the lambda box lies.
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::vector<double>> inputs(4);
    for (int i = 0; i < 20000; ++i) inputs[0].push_back(-std::log10(u(random)));
    inputs[1] = inputs[0];
    for (int i = 0; i < 300; ++i) inputs[1][static_cast<size_t>(i)] = 5 + 25 * u(random);
    for (int i = 0; i < 20000; ++i) inputs[2].push_back(-std::log10(0.2 + 0.8 * u(random)));
    inputs[3] = {0.3, 1.2, 2.5, 0.01, 0.7};
    for (const std::vector<double>& v : inputs)
        for (int size : {533, 1400})
            for (bool paper : {false, true}) {
                const int dpi = size == 533 ? 96 : 600;
                const QqSample sample = sampleValues(v);
                PlotSettings settings;
                settings.style = paper ? FigureStyle::paper : FigureStyle::classic;
                settings.imagesize = ImageSize{size * 3 / 2, size};
                settings.dpi = dpi;
                Figure figure;
                if (paper) {
                    const PaperQq q = paperQqGeometry(sample.maxValue, sample.usable, "T", settings);
                    figure = layoutPaperQq(q, sample.usable, qqDots(v, sample, q.axes), 1.0, "T", settings);
                } else {
                    const QqFrame frame = size == 533 ? QqFrame{} : qqFrame(size, dpi);
                    const QqAxes axes = qqAxes(sample.maxValue, sample.usable, frame);
                    figure = layoutQq(sample.usable, axes, qqDots(v, sample, axes), 1.0, "T", 12, 10, frame, dpi);
                }
                const auto lambda = std::find_if(figure.texts.begin(), figure.texts.end(),
                                                 [](const FigureText& t) { return t.text == "\u03bb = 1.0000"; });
                ASSERT_NE(lambda, figure.texts.end());
                const FigureRect box = lambda->box;
                figure.texts.erase(lambda);
                const QImage image = renderFigure(figure).convertToFormat(QImage::Format_RGB32);
                int64_t inked = 0;
                for (int y = static_cast<int>(box.top); y < static_cast<int>(box.top + box.height); ++y)
                    for (int x = static_cast<int>(box.left); x < static_cast<int>(box.left + box.width); ++x)
                        inked += (image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
                EXPECT_EQ(inked, 0) << (paper ? "paper " : "classic ") << size << " input " << (&v - inputs.data());
            }
}
