// Plot geometry: cumulative positions, scales, axis lines, ticks, title, run labels and the per-point mapping,
// checked as numbers without any image.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <random>
#include <sstream>

#include "plot_layout.h"

using namespace vennrick;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Row {
    std::string id;
    double value;
    int32_t pos = 0;
};

// PlotData as the reader leaves it: runs of equal IDs, values, positions (when given), count and extremes.
PlotData makeData(const std::vector<Row>& rows, bool withPositions = false) {
    PlotData data;
    for (const Row& row : rows) {
        if (data.ID_list.empty() || data.ID_list.back().id != row.id) data.ID_list.push_back({row.id, 0});
        ++data.ID_list.back().count;
        data.Value_list.push_back(row.value);
        if (withPositions) data.Pos_list.push_back(row.pos);
        ++data.maxX;
        data.minY = std::min(data.minY, row.value);
        data.maxY = std::max(data.maxY, row.value);
    }
    return data;
}

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
    return std::get<PlotLayout>(layoutPlot(data, settings));  // throws on a fatal outcome
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

TEST(plot_layout_test, positions_laid_end_to_end_and_normalised) {
    // Name, rows, whether points are placed by position, Pos_list afterwards, pixel x of the points.
    const std::tuple<const char*, std::vector<Row>, bool, std::vector<int32_t>, const char*> cases[] = {
        {"three chromosomes", {{"1", 1, 100}, {"1", 1, 150}, {"1", 1, 300}, {"2", 1, 50}, {"2", 1, 80}, {"3", 1, 10}},
         true, {0, 1, 5, 5, 5, 6}, "60 173 626 626 626 740"},
        {"a chromosome that comes back is a run of its own", {{"1", 1, 100}, {"2", 1, 10}, {"1", 1, 200}}, true,
         {1, 2, 3}, "286 513 740"},
        {"a run continues after its last row, not its largest",
         {{"1", 1, 100}, {"1", 1, 300}, {"1", 1, 200}, {"2", 1, 50}}, true, {0, 7, 3, 4}, "60 1250 570 740"},
        // Cumulative 1, 2e9+1, 2e9+2, 4e9+2, 4e9+3, 6e9+3: beyond 32 bits, summed without overflow.
        {"spans summed in 64 bits",
         {{"1", 1, 0}, {"1", 1, 2000000000}, {"2", 1, 0}, {"2", 1, 2000000000}, {"3", 1, 0}, {"3", 1, 2000000000}},
         true, {0, 2, 2, 4, 4, 6}, "60 286 286 513 513 740"},
        // Cumulative 1, 2e9+1, 2: the middle row scales to 3e9, beyond the int range; it is clamped, and its x
        // is clamped far off the canvas, never wrapped onto it.
        {"a scaled position beyond the int range", {{"1", 1, 0}, {"1", 1, 2000000000}, {"1", 1, 1}}, true,
         {1, INT32_MAX, 3}, "286 1048576 740"},
        // Cumulative 1, 0 and 1, -199: no scale can be formed from the last one; points by row index.
        {"last cumulative position 0", {{"1", 1, 101}, {"1", 1, 100}}, false, {101, 100}, "60 400"},
        {"last cumulative position negative", {{"1", 1, 101}, {"1", 1, -98}}, false, {101, -98}, "60 400"},
    };
    for (const auto& [name, rows, byPosition, expected, xs] : cases) {
        PlotData data = makeData(rows, true);
        data.minY = 0.0;  // a y scale for the points
        PlotLayout layout = layoutOf(data, 3);
        EXPECT_EQ(layout.byPosition, byPosition) << name;
        EXPECT_EQ(std::vector<int32_t>(data.Pos_list.begin(), data.Pos_list.end()), expected) << name;
        EXPECT_EQ(points(layout, data, false, false), xs) << name;
    }
    EXPECT_EQ(truncatePixel(-1e300), -static_cast<int>(kFarPixel));
    EXPECT_EQ(truncatePixel(-0.9), 0);
    EXPECT_EQ(truncatePixel(-1.5), -1);

    // The first chromosome given as two list entries (and an entry without rows): the same run.
    PlotData merged = makeData({{"1", 1, 100}, {"1", 2, 300}, {"1", 3, 200}, {"2", 4, 50}}, true), split = merged;
    split.ID_list = {{"1", 2}, {"1", 1}, {"2", 0}, {"2", 1}};
    const PlotLayout a = layoutOf(merged, 3), b = layoutOf(split, 3);
    EXPECT_EQ(split.Pos_list, merged.Pos_list);
    EXPECT_EQ(points(b, split, true), points(a, merged, true));
    EXPECT_EQ(labels(b, split), "230:1 570:2");
}

TEST(plot_layout_test, scales_axis_lines_and_title) {
    // Two rows: the lines span the whole plot width; the zero line coincides with the baseline at minY 0.
    PlotData two = makeData({{"1", 0.0}, {"1", 10.0}});
    EXPECT_EQ(lines(layoutOf(two)), "60,473,60,60 60,473,740,473 60,473,740,473");
    // minY 0.5: the zero line lies 20 pixels below the baseline.
    PlotData above = makeData({{"1", 0.5}, {"1", 10.5}});
    EXPECT_EQ(lines(layoutOf(above)), "60,473,60,60 60,493,740,493 60,473,740,473");
    // A range of 19/7: the product comes out just above 413, so the top of the y axis is 59.
    PlotData seventh = makeData({{"1", 0.0}, {"1", 19.0 / 7.0}});
    EXPECT_EQ(layoutOf(seventh).axisLines[0].y2, 59);
    // xN from the product, not the constant: 680 / N * N falls just below 680 for these N.
    for (int n : {39, 78, 145, 156}) {
        PlotData data = makeData(indexRows(std::vector<std::string>(static_cast<size_t>(n), "1")));
        EXPECT_EQ(layoutOf(data).axisLines[2].x2, 739) << "N = " << n;
    }
    // The title carries the position window.
    PlotSettings settings;
    settings.Title = "T";
    settings.window = PositionWindow{1000, 2000, 1};
    const TextBox title = std::get<PlotLayout>(layoutPlot(two, settings)).title;
    EXPECT_EQ(title.text, "T - 1000 : 2000");
    EXPECT_EQ((std::vector<int>{title.left, title.top, title.width, title.height}), (std::vector<int>{0, 0, 800, 20}));
}

TEST(plot_layout_test, ticks) {
    const std::pair<double, int> seeds[] = {{10.0, 1}, {10.5, 1}, {60.0, 6}, {109.9, 10}, {21474836470.0, 2147483647},
                                            {kNaN, 1}, {kInf, 1}, {-kInf, 1}, {21474836480.0, 1}, {-50.0, 1}};
    for (const auto& [range, seed] : seeds) EXPECT_EQ(ytickSeed(range), seed) << range;

    const std::tuple<double, double, int32_t, const char*> cases[] = {  // minY, maxY, ynum, ticks
        {0.3, 8.0, 1, "0@489 1@435:1.0 2@381:2.0 3@328:3.0 4@274:4.0 5@220:5.0 6@167:6.0 7@113:7.0 8@60:8.0"},
        {0.3, 8.0, 2, "0@489 1@435 2@381:2.0 3@328 4@274:4.0 5@220 6@167:6.0 7@113 8@60:8.0"},
        {0.3, 8.0, 0, "0@489:0.0 1@435 2@381 3@328 4@274 5@220 6@167 7@113 8@60"},
        {0.3, 8.0, -1, "0@489 1@435 2@381 3@328 4@274 5@220 6@167 7@113 8@60"},
        {0.0, 8.0, 1, "0@473 1@421 2@369 3@318 4@266 5@214 6@163 7@111 8@60"},  // minY 0: marks only
        {-0.0, 8.0, 1, "0@473 1@421 2@369 3@318 4@266 5@214 6@163 7@111 8@60"},
        {-5.0, -2.0, 1, ""},     // maxY / ytick at or below -1
        {-5.0, -0.5, 1, "0@14"},  // between -1 and 0: only value 0
        // Skipped positions draw nothing and are not listed; the count of labels still runs from 0.
        {30.5, 40.0, 4, "30@494 31@451 32@407:32.0 33@364 34@320 35@277 36@233:36.0 37@190 38@146 39@103 40@60:40.0"},
        {0.5, 150.5, 3, "0@474 10@446 20@419 30@391:30.0 40@364 50@336 60@309:60.0 70@281 80@254 90@226:90.0 100@199 "
                        "110@171 120@143:120.0 130@116 140@88 150@61:150.0"},
    };
    for (const auto& [minY, maxY, ynum, expected] : cases) {
        PlotData data = makeData({{"1", minY}, {"1", maxY}});
        EXPECT_EQ(ticks(layoutOf(data, 0, 1, ynum)), expected) << minY << ".." << maxY << " ynum " << ynum;
    }
    PlotData data = makeData({{"1", 0.3}, {"1", 8.0}});
    const PlotLayout layout = layoutOf(data);
    const Line mark = *layout.ticks[0].mark;
    const TextBox label = *layout.ticks[1].label;
    EXPECT_EQ((std::vector<int>{mark.x1, mark.x2, label.left, label.top, label.width, label.height}),
              (std::vector<int>{60, 56, 12, 418, 44, 35}));
}

TEST(plot_layout_test, points_and_run_labels) {
    const std::vector<Row> ten = indexRows({"1", "1", "1", "1", "2", "2", "2", "3", "3", "3"});
    const struct {
        const char* name;
        std::vector<Row> rows;
        bool byPosition;
        int32_t xnum;
        const char* points;  // nullptr: not checked
        const char* labels;
    } cases[] = {
        {"by row index, runs alternate colours", ten, false, 1, "60B 128B 196B 264B 332G 400G 468G 536B 604B 672B",
         "196:1 400:2 604:3"},
        {"every 2nd run labelled", ten, false, 2, nullptr, "400:2"},
        {"xnum 0: no labels", ten, false, 0, nullptr, ""},
        {"xnum -1: no labels", ten, false, -1, nullptr, ""},
        {"the last row a run of one row: half of its count is 0", indexRows({"1", "1", "2"}), false, 1, "60B 286B 513G",
         "286:1 513:2"},
        {"a chromosome split in two runs", indexRows({"1", "1", "2", "1", "3", "3"}), false, 1,
         "60B 173B 286G 400B 513G 626G", "173:1 286:2 400:1 626:3"},
        // Cumulative 1, 1001, 1002, 1003: the first run's points lie at both ends of its span, while labels
        // still start at the x their run's middle row has by row index.
        {"labels by row index in position mode", {{"1", 1, 0}, {"1", 2, 1000}, {"2", 3, 5}, {"2", 4, 6}}, true, 1,
         "60B 570B 570G 740G", "230:1 570:2"},
        // 7.3 as a float widens to 7.30000019..., so the double 7.3 stays in its run's colour and the widened value
        // itself is highlighted; a highlighted point is followed by one in the run's colour again.
        {"highlight at the widened threshold",
         {{"1", 0.0}, {"1", 7.3}, {"1", 7.31}, {"1", 5.0}, {"2", 7.31}, {"2", 1.0}, {"2", static_cast<double>(7.3f)}},
         false, 1, "60B 157B 254R 351B 448R 545G 642R", "254:1 545:2"},
    };
    for (const auto& c : cases) {
        PlotData data = makeData(c.rows, c.byPosition);
        const PlotLayout layout = layoutOf(data, c.byPosition ? 3 : 0, c.xnum);
        if (c.points) EXPECT_EQ(points(layout, data), c.points) << c.name;
        EXPECT_EQ(labels(layout, data), c.labels) << c.name;
    }
}

TEST(plot_layout_test, degenerate_y_scales_keep_every_finite_point) {
    const char* kFlat = "60,473,60,473 60,473,740,473 60,473,740,473";
    // Name, rows, points with y, axis lines, ticks.
    const std::tuple<const char*, std::vector<Row>, const char*, const char*, const char*> cases[] = {
        // An infinite scale: every point on the baseline, the zero line (at an infinite distance) left out.
        {"all values equal", {{"1", 2.0}, {"1", 2.0}, {"2", 2.0}}, "60,473B 286,473B 513,473G",
         "60,473,60,473 60,473,740,473", "2@473:2.0"},
        {"every p = 1", {{"1", -0.0}, {"1", 0.0}}, "60,473B 400,473B", kFlat, "0@473"},
        // A range that is not finite: all points and lines on the baseline, no scale at all.
        {"an infinite value", {{"1", 1.0}, {"1", kInf}, {"1", 3.0}}, "60,473B 286,473R 513,473B", kFlat, ""},
        {"all infinite", {{"1", kInf}, {"1", kInf}}, "60,473R 400,473R", kFlat, ""},
        {"minus infinity", {{"1", -kInf}, {"1", 2.0}}, "60,473B 400,473B", kFlat, ""},
        {"a NaN value is not drawn", {{"1", 1.0}, {"1", kNaN}, {"1", 3.0}}, "60,473B 513,60B",
         "60,473,60,60 60,679,740,679 60,473,740,473", "1@473:1.0 2@266:2.0 3@60:3.0"},
        // No value that compares: minY and maxY keep their start values; nothing to draw, still no failure.
        {"all NaN", {{"1", kNaN}, {"1", kNaN}}, "", "60,473,60,60 60,266,740,266 60,473,740,473", ""},
        // A finite but huge range: the seed falls back to 1, far too many tick positions; no scale.
        {"a huge range", {{"1", 0.0}, {"1", 1e300}}, "60,473B 400,60R", "60,473,60,60 60,473,740,473 60,473,740,473", ""},
    };
    for (const auto& [name, rows, expectedPoints, expectedLines, expectedTicks] : cases) {
        PlotData data = makeData(rows);
        const PlotLayout layout = layoutOf(data);
        EXPECT_EQ(points(layout, data, true), expectedPoints) << name;
        EXPECT_EQ(lines(layout), expectedLines) << name;
        EXPECT_EQ(ticks(layout), expectedTicks) << name;
    }
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
    const PlotData asRead = makeData(rows, true);
    PlotData one = asRead;
    PlotSettings settings;
    settings.poscolumn = 3;
    ASSERT_TRUE(std::get<PlotLayout>(layoutPlot(one, settings, 1)).byPosition);
    for (unsigned threads : {2u, 3u, 8u}) {
        PlotData many = asRead;
        ASSERT_TRUE(std::get<PlotLayout>(layoutPlot(many, settings, threads)).byPosition);
        EXPECT_EQ(one.Pos_list, many.Pos_list) << threads;
    }
}
