// Plot geometry: cumulative positions, scales, axis lines, ticks, title, run labels and the per-point mapping,
// checked as numbers without any image.

#include "base/numbers.h"
#include "classic/plot_layout.h"
#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Rows of the given IDs with values 1, 2, ..., 5, 1, ...: a well-defined y scale.
std::vector<Row> indexRows(const std::vector<std::string>& ids) {
    std::vector<Row> rows;
    for (size_t i = 0; i < ids.size(); ++i) rows.push_back({ids[i], 1.0 + static_cast<double>(i % 5)});
    return rows;
}

PlotLayout layoutOf(PlotData& data, int32_t poscolumn = 0, int32_t xnum = 1, int32_t ynum = 1) {
    PlotSettings settings;
    settings.poscolumn = poscolumn;
    settings.xnum = xnum;
    settings.ynum = ynum;
    return std::get<PlotLayout>(rewritePositionsAndLayOut(data, settings));  // throws on a fatal outcome
}

// Items joined by single spaces.
struct Words {
    std::ostringstream s;
    template <class... Part>
    void add(const Part&... part) { ((s << (s.tellp() > 0 ? " " : "")) << ... << part); }
};

// The points in drawing order: x, then ",y", then B, G or R for blue, grey and highlight.
std::string points(const PlotLayout& layout, const PlotData& data, bool withY = false, bool withStyle = true) {
    Words w;
    forEachPoint(layout, data, [&](int x, int y, PointStyle style) {
        w.add(x, withY ? "," + std::to_string(y) : "", withStyle ? std::string(1, "BGR"[static_cast<int>(style)]) : "");
    });
    return w.s.str();
}

// The run labels as "left:text", the axis lines as "x1,y1,x2,y2", the ticks as "value@mark y:label".
std::string labels(const PlotLayout& layout, const PlotData& data) {
    Words w;
    forEachRunLabel(layout, data, [&](const TextBox& box) { w.add(box.left, ":", box.text); });
    return w.s.str();
}

std::string lines(const PlotLayout& layout) {
    Words w;
    for (const Line& l : layout.axisLines) w.add(l.x1, ",", l.y1, ",", l.x2, ",", l.y2);
    return w.s.str();
}

std::string ticks(const PlotLayout& layout) {
    Words w;
    for (const Tick& t : layout.ticks)
        w.add(t.value, "@", t.mark ? std::to_string(t.mark->y1) : "-", t.label ? ":" + t.label->text : "");
    return w.s.str();
}

}  // namespace

TEST(plot_layout_test, case_table) {
    for (const Case& c : loadCases("plot_layout.txt")) {
        std::vector<Row> rows;
        bool withPositions = false;
        for (const std::string& item : c.words("rows")) {
            const size_t a = item.find(':'), b = item.find(':', a + 1);
            withPositions = b != std::string::npos;
            rows.push_back({item.substr(0, a), *parseDouble(item.substr(a + 1, b - a - 1)),
                            withPositions ? std::stoi(item.substr(b + 1)) : 0});
        }
        PlotData data = plotDataOf(rows, withPositions);
        if (c.has("miny0")) data.minY = 0.0;
        const PlotLayout layout = layoutOf(data, withPositions ? 3 : 0, c.has("xnum") ? std::stoi(c.get("xnum")) : 1,
                                          c.has("ynum") ? std::stoi(c.get("ynum")) : 1);
        if (c.has("byposition")) EXPECT_EQ(layout.byPosition, c.get("byposition") == "1") << c.name;
        if (c.has("positions")) {
            Words p;
            for (int32_t pos : data.Pos_list) p.add(pos);
            EXPECT_EQ(p.s.str(), c.get("positions")) << c.name;
        }
        const std::pair<const char*, std::string> got[] = {
            {"xs", c.has("xs") ? points(layout, data, false, false) : ""}, {"points", points(layout, data)},
            {"ypoints", points(layout, data, true)}, {"labels", labels(layout, data)}, {"lines", lines(layout)},
            {"ticks", ticks(layout)}};
        for (const auto& [key, text] : got)
            if (c.has(key)) EXPECT_EQ(text, c.get(key)) << c.name << ": " << key;
    }
}

TEST(plot_layout_test, pixels_and_merged_runs) {
    EXPECT_EQ(truncatePixel(-1e300), -static_cast<int>(kFarPixel));
    EXPECT_EQ(truncatePixel(-0.9), 0);
    EXPECT_EQ(truncatePixel(-1.5), -1);

    // The first chromosome given as two list entries (and an entry without rows): the same run.
    PlotData merged = plotDataOf({{"1", 1, 100}, {"1", 2, 300}, {"1", 3, 200}, {"2", 4, 50}}, true), split = merged;
    split.ID_list = {{"1", 2}, {"1", 1}, {"2", 0}, {"2", 1}};
    const PlotLayout a = layoutOf(merged, 3), b = layoutOf(split, 3);
    EXPECT_EQ(split.Pos_list, merged.Pos_list);
    EXPECT_EQ(points(b, split, true), points(a, merged, true));
    EXPECT_EQ(labels(b, split), "230:1 570:2");
}

TEST(plot_layout_test, scales_axis_lines_and_title) {
    PlotData two = plotDataOf({{"1", 0.0}, {"1", 10.0}}, false);
    // A range of 19/7: the product comes out just above 413, so the top of the y axis is 59.
    PlotData seventh = plotDataOf({{"1", 0.0}, {"1", 19.0 / 7.0}}, false);
    EXPECT_EQ(layoutOf(seventh).axisLines[0].y2, 59);
    // xN from the product, not the constant: 680 / N * N falls just below 680 for these N.
    for (int n : {39, 78, 145, 156}) {
        PlotData data = plotDataOf(indexRows(std::vector<std::string>(static_cast<size_t>(n), "1")), false);
        EXPECT_EQ(layoutOf(data).axisLines[2].x2, 739) << "N = " << n;
    }
    // The title carries the position window.
    PlotSettings settings;
    settings.Title = "T";
    settings.window = PositionWindow{1000, 2000, 1};
    const TextBox title = std::get<PlotLayout>(rewritePositionsAndLayOut(two, settings)).title;
    EXPECT_EQ(title.text, "T - 1000 : 2000");
    EXPECT_EQ((std::vector<int>{title.left, title.top, title.width, title.height}), (std::vector<int>{0, 0, 800, 20}));
}

TEST(plot_layout_test, ticks) {
    const std::pair<double, int> seeds[] = {{10.0, 1}, {10.5, 1}, {60.0, 6}, {109.9, 10}, {21474836470.0, 2147483647},
                                            {kNaN, 1}, {kInf, 1}, {-kInf, 1}, {21474836480.0, 1}, {-50.0, 1}};
    for (const auto& [range, seed] : seeds) EXPECT_EQ(ytickSeed(range), seed) << range;
    PlotData data = plotDataOf({{"1", 0.3}, {"1", 8.0}}, false);
    const PlotLayout layout = layoutOf(data);
    const Line mark = *layout.ticks[0].mark;
    const TextBox label = *layout.ticks[1].label;
    EXPECT_EQ((std::vector<int>{mark.x1, mark.x2, label.left, label.top, label.width, label.height}),
              (std::vector<int>{60, 56, 12, 418, 44, 35}));
}

TEST(plot_layout_test, several_threads_rewrite_positions_as_one_pass_does) {
    // 600,000 rows in runs of 1 to 3,000 rows, IDs coming back, positions mostly rising with drops inside runs.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> runLength(1, 3000), step(-20, 400), id(1, 5);
    std::vector<Row> rows;
    while (rows.size() < 600000) {
        const std::string chromosome = std::to_string(id(random));
        int32_t pos = step(random) * 1000;
        for (int n = runLength(random); n > 0; --n) rows.push_back({chromosome, 1.0 + (pos % 7), pos += step(random)});
    }
    const PlotData asRead = plotDataOf(rows, true);
    PlotData one = asRead;
    PlotSettings settings;
    settings.poscolumn = 3;
    ASSERT_TRUE(std::get<PlotLayout>(rewritePositionsAndLayOut(one, settings, 1)).byPosition);
    for (unsigned threads : {2u, 3u, 8u}) {
        PlotData many = asRead;
        ASSERT_TRUE(std::get<PlotLayout>(rewritePositionsAndLayOut(many, settings, threads)).byPosition);
        EXPECT_EQ(one.Pos_list, many.Pos_list) << threads;
    }
}

TEST(plot_layout_test, positions_rewritten_eight_at_a_time_as_one_at_a_time) {
    if (!detail::canRescaleByEight()) GTEST_SKIP() << "no AVX-512 here";
    // Runs of every length up to 40 (eight at a time, then the rest), positions of every size, shifts that
    // leave the int range and scales that clamp at both of its ends.
    std::mt19937_64 random(5);
    for (int round = 0; round < 2000; ++round) {
        const int64_t count = round % 41;
        std::vector<int32_t> positions(static_cast<size_t>(count));
        for (int32_t& p : positions) p = static_cast<int32_t>(random());
        const int64_t shift = static_cast<int64_t>(random() >> (round % 64));
        const double mx = static_cast<double>(1 + random() % 100000000), bot = static_cast<double>(1 + (random() >> (round % 60)));
        std::vector<int32_t> one = positions, eight = positions;
        detail::rescaleRun(one.data(), count, shift, mx, bot, false);
        detail::rescaleRun(eight.data(), count, shift, mx, bot, true);
        ASSERT_EQ(one, eight) << round;
    }
}
