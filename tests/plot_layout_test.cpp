// Plot geometry: the kept-row gate, cumulative positions, scales, axis lines, ticks, title, run labels and
// the per-point mapping, checked as numbers without any image.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

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
        if (row.value < data.minY) data.minY = row.value;
        if (row.value > data.maxY) data.maxY = row.value;
    }
    return data;
}

PlotSettings settingsWith(int32_t poscolumn = 0) {
    PlotSettings s;
    s.poscolumn = poscolumn;
    s.Title = "T";
    return s;
}

PlotLayout layoutOf(PlotData& data, const PlotSettings& settings) {
    Outcome<PlotLayout> outcome = layoutPlot(data, settings);
    if (auto* fatal = std::get_if<Fatal>(&outcome)) ADD_FAILURE() << "fatal: " << fatal->message << fatal->detail;
    return std::get<PlotLayout>(outcome);
}

struct Point {
    int x, y;
    PointStyle style;
    bool operator==(const Point& o) const { return x == o.x && y == o.y && style == o.style; }
};
std::ostream& operator<<(std::ostream& os, const Point& p) {
    return os << "(" << p.x << ", " << p.y << ", " << static_cast<int>(p.style) << ")";
}

std::vector<Point> pointsOf(const PlotLayout& layout, const PlotData& data) {
    std::vector<Point> points;
    forEachPoint(layout, data, [&](int x, int y, PointStyle s) { points.push_back({x, y, s}); });
    return points;
}

std::vector<TextBox> runLabelsOf(const PlotLayout& layout, const PlotData& data) {
    std::vector<TextBox> labels;
    forEachRunLabel(layout, data, [&](const TextBox& box) { labels.push_back(box); });
    return labels;
}

std::vector<int> xsOf(const std::vector<Point>& points) {
    std::vector<int> xs;
    for (const Point& p : points) xs.push_back(p.x);
    return xs;
}

// Rows of one value per ID, values 1, 2, ... so that the y scale is well defined.
std::vector<Row> indexRows(const std::vector<std::string>& ids) {
    std::vector<Row> rows;
    for (size_t i = 0; i < ids.size(); ++i) rows.push_back({ids[i], 1.0 + static_cast<double>(i % 5)});
    return rows;
}

const PointStyle B = PointStyle::blue, G = PointStyle::grey, R = PointStyle::highlight;

}  // namespace

TEST(plot_layout_test, fewer_than_two_kept_rows_is_fatal) {
    for (const std::vector<Row>& rows : {std::vector<Row>{}, std::vector<Row>{{"1", 3.0}}}) {
        PlotData data = makeData(rows);
        Outcome<PlotLayout> outcome = layoutPlot(data, settingsWith());
        ASSERT_TRUE(std::holds_alternative<Fatal>(outcome)) << rows.size() << " rows";
        EXPECT_EQ(std::get<Fatal>(outcome).message, "Illegal range selected\n");
        EXPECT_EQ(std::get<Fatal>(outcome).detail, "");
    }
    PlotData two = makeData({{"1", 1.0}, {"1", 2.0}});
    EXPECT_TRUE(std::holds_alternative<PlotLayout>(layoutPlot(two, settingsWith())));
}

TEST(plot_layout_test, positions_laid_end_to_end_and_normalised) {
    const struct {
        const char* name;
        std::vector<Row> rows;
        std::vector<int32_t> expected;
    } cases[] = {
        {"three chromosomes",
         {{"1", 1, 100}, {"1", 1, 150}, {"1", 1, 300}, {"2", 1, 50}, {"2", 1, 80}, {"3", 1, 10}},
         {0, 1, 5, 5, 5, 6}},
        {"a chromosome that comes back is a run of its own", {{"1", 1, 100}, {"2", 1, 10}, {"1", 1, 200}}, {1, 2, 3}},
        {"a run continues after its last row, not its largest",
         {{"1", 1, 100}, {"1", 1, 300}, {"1", 1, 200}, {"2", 1, 50}},
         {0, 7, 3, 4}},
        // Cumulative 1, 2e9+1, 2e9+2, 4e9+2, 4e9+3, 6e9+3: beyond 32 bits, summed without overflow.
        {"spans summed in 64 bits",
         {{"1", 1, 0}, {"1", 1, 2000000000}, {"2", 1, 0}, {"2", 1, 2000000000}, {"3", 1, 0}, {"3", 1, 2000000000}},
         {0, 2, 2, 4, 4, 6}},
        // Cumulative 1, 2e9+1, 2: the middle row scales to 3e9, beyond the int range, and is clamped.
        {"a scaled position beyond the int range", {{"1", 1, 0}, {"1", 1, 2000000000}, {"1", 1, 1}},
         {1, INT32_MAX, 3}},
    };
    for (const auto& c : cases) {
        PlotData data = makeData(c.rows, true);
        data.minY = 0.0;  // a y scale for the points
        PlotLayout layout = layoutOf(data, settingsWith(3));
        EXPECT_TRUE(layout.byPosition) << c.name;
        EXPECT_EQ(data.Pos_list, c.expected) << c.name;
    }
}

TEST(plot_layout_test, list_entries_with_equal_ids_form_one_run) {
    // The same rows, the first chromosome given as two list entries: same positions, colours and labels.
    PlotData merged = makeData({{"1", 1, 100}, {"1", 2, 300}, {"1", 3, 200}, {"2", 4, 50}}, true);
    PlotData split = merged;
    split.ID_list = {{"1", 2}, {"1", 1}, {"2", 0}, {"2", 1}};
    const PlotSettings settings = settingsWith(3);
    PlotLayout a = layoutOf(merged, settings), b = layoutOf(split, settings);
    EXPECT_EQ(split.Pos_list, merged.Pos_list);
    EXPECT_EQ(pointsOf(b, split), pointsOf(a, merged));
    std::vector<TextBox> labels = runLabelsOf(b, split);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].text, "1");
    EXPECT_EQ(labels[1].text, "2");
}

TEST(plot_layout_test, last_cumulative_position_not_positive_places_points_by_row_index) {
    // Cumulative 1, 0 and 1, -199: no scale can be formed from the last one.
    for (int32_t second : {100, -98}) {
        PlotData data = makeData({{"1", 1.0, 101}, {"1", 2.0, second}}, true);
        PlotLayout layout = layoutOf(data, settingsWith(3));
        EXPECT_FALSE(layout.byPosition);
        EXPECT_EQ(data.Pos_list, (std::vector<int32_t>{101, second}));
        EXPECT_EQ(xsOf(pointsOf(layout, data)), (std::vector<int>{60, 400}));
    }
}

TEST(plot_layout_test, scales_and_axis_lines) {
    // Two rows: the lines span the whole plot width; the zero line coincides with the baseline at minY 0.
    PlotData two = makeData({{"1", 0.0}, {"1", 10.0}});
    PlotLayout layout = layoutOf(two, settingsWith());
    EXPECT_EQ(layout.pixPerX, 340.0);
    EXPECT_EQ(layout.pixPerY, 41.3);
    ASSERT_EQ(layout.axisLines.size(), 3u);
    const Line& yAxis = layout.axisLines[0];
    EXPECT_EQ((std::vector<int>{yAxis.x1, yAxis.y1, yAxis.x2, yAxis.y2}), (std::vector<int>{60, 473, 60, 60}));
    EXPECT_EQ(yAxis.colour, kBlue);
    for (const Line& line : {layout.axisLines[1], layout.axisLines[2]}) {
        EXPECT_EQ((std::vector<int>{line.x1, line.y1, line.x2, line.y2}), (std::vector<int>{60, 473, 740, 473}));
        EXPECT_EQ(line.colour, kBlack);
    }

    // xN from the product, not the constant: 680 / N * N falls just below 680 for these N.
    for (int n : {39, 78, 145, 156}) {
        PlotData data = makeData(indexRows(std::vector<std::string>(static_cast<size_t>(n), "1")));
        EXPECT_EQ(layoutOf(data, settingsWith()).axisLines[2].x2, 739) << "N = " << n;
    }

    // A range of 19/7: the product comes out just above 413, so the top of the y axis is 59.
    PlotData seventh = makeData({{"1", 0.0}, {"1", 19.0 / 7.0}});
    EXPECT_EQ(layoutOf(seventh, settingsWith()).axisLines[0].y2, 59);

    // minY 0.5: the zero line lies 20 pixels below the baseline.
    PlotData above = makeData({{"1", 0.5}, {"1", 10.5}});
    PlotLayout aboveLayout = layoutOf(above, settingsWith());
    EXPECT_EQ(aboveLayout.axisLines[0].y2, 60);
    EXPECT_EQ(aboveLayout.axisLines[1].y1, 493);
    EXPECT_EQ(aboveLayout.axisLines[2].y1, 473);
}

TEST(plot_layout_test, tick_seed_and_step) {
    EXPECT_EQ(ytickSeed(10.0), 1);
    EXPECT_EQ(ytickSeed(10.5), 1);
    EXPECT_EQ(ytickSeed(60.0), 6);
    EXPECT_EQ(ytickSeed(109.9), 10);
    EXPECT_EQ(ytickSeed(21474836470.0), 2147483647);
    for (double unrepresentable : {kNaN, kInf, -kInf, 21474836480.0, -50.0}) EXPECT_EQ(ytickSeed(unrepresentable), 1);

    const struct {
        double range;
        int step;
    } steps[] = {{8, 1}, {25, 1}, {60, 5}, {99, 5}, {150, 10}, {250, 20}, {320, 30}};
    for (const auto& s : steps) {
        PlotData data = makeData({{"1", 0.5}, {"1", 0.5 + s.range}});
        EXPECT_EQ(layoutOf(data, settingsWith()).ytick, s.step) << "range " << s.range;
    }
}

TEST(plot_layout_test, tick_marks_and_labels) {
    PlotData data = makeData({{"1", 0.3}, {"1", 8.0}});
    PlotLayout layout = layoutOf(data, settingsWith());
    ASSERT_EQ(layout.ticks.size(), 9u);
    const Tick& zero = layout.ticks[0];
    ASSERT_TRUE(zero.mark);
    EXPECT_EQ((std::vector<int>{zero.mark->x1, zero.mark->y1, zero.mark->x2, zero.mark->y2}),
              (std::vector<int>{60, 489, 56, 489}));
    EXPECT_EQ(zero.mark->colour, kBlue);
    EXPECT_FALSE(zero.label);
    const Tick& one = layout.ticks[1];
    EXPECT_EQ(one.mark->y1, 435);
    ASSERT_TRUE(one.label);
    EXPECT_EQ((std::vector<int>{one.label->left, one.label->top, one.label->width, one.label->height}),
              (std::vector<int>{12, 418, 44, 35}));
    EXPECT_EQ(one.label->text, "1.0");
    EXPECT_EQ(one.label->font, TextFont::initial);
    EXPECT_EQ(one.label->align, TextAlign::centre);
    EXPECT_EQ(layout.ticks[8].mark->y1, 60);
    EXPECT_EQ(layout.ticks[8].label->text, "8.0");

    // Skipped tick positions draw nothing and are not listed; the count of labels still runs from 0.
    PlotData high = makeData({{"1", 12.5}, {"1", 40.0}});
    PlotLayout highLayout = layoutOf(high, settingsWith());
    ASSERT_EQ(highLayout.ticks.size(), 29u);
    EXPECT_EQ(highLayout.ticks[0].value, 12.0);
    EXPECT_EQ(highLayout.ticks[0].mark->y1, 480);
    EXPECT_EQ(highLayout.ticks[0].label->text, "12.0");
    EXPECT_EQ(highLayout.ticks[28].label->text, "40.0");

    // A step above 1: the values and texts are multiples of it.
    PlotData wide = makeData({{"1", 0.5}, {"1", 150.5}});
    PlotLayout wideLayout = layoutOf(wide, settingsWith());
    ASSERT_EQ(wideLayout.ticks.size(), 16u);
    EXPECT_EQ(wideLayout.ticks[15].label->text, "150.0");
}

TEST(plot_layout_test, which_ticks_are_labelled) {
    auto labelled = [](double minY, double maxY, int32_t ynum) {
        PlotData data = makeData({{"1", minY}, {"1", maxY}});
        PlotSettings settings = settingsWith();
        settings.ynum = ynum;
        std::vector<double> values;
        for (const Tick& tick : layoutOf(data, settings).ticks)
            if (tick.label) values.push_back(tick.value);
        return values;
    };
    EXPECT_EQ(labelled(0.3, 8.0, 2), (std::vector<double>{2, 4, 6, 8}));
    EXPECT_EQ(labelled(0.3, 8.0, 0), (std::vector<double>{0}));
    EXPECT_EQ(labelled(0.3, 8.0, -1), (std::vector<double>{}));
    EXPECT_EQ(labelled(0.0, 8.0, 1), (std::vector<double>{}));  // minY 0: marks only
    EXPECT_EQ(labelled(-0.0, 8.0, 1), (std::vector<double>{}));

    auto tickCount = [](double minY, double maxY) {
        PlotData data = makeData({{"1", minY}, {"1", maxY}});
        return layoutOf(data, settingsWith()).ticks.size();
    };
    EXPECT_EQ(tickCount(0.0, 8.0), 9u);
    EXPECT_EQ(tickCount(-5.0, -2.0), 0u);   // maxY / ytick at or below -1
    EXPECT_EQ(tickCount(-5.0, -0.5), 1u);   // between -1 and 0: only value 0
}

TEST(plot_layout_test, title_carries_the_window) {
    PlotData data = makeData({{"1", 1.0}, {"1", 2.0}});
    PlotSettings settings = settingsWith();
    EXPECT_EQ(layoutOf(data, settings).title.text, "T");
    settings.window = PositionWindow{1000, 2000, 1};
    const TextBox title = layoutOf(data, settings).title;
    EXPECT_EQ(title.text, "T - 1000 : 2000");
    EXPECT_EQ((std::vector<int>{title.left, title.top, title.width, title.height}), (std::vector<int>{0, 0, 800, 20}));
    EXPECT_EQ(title.font, TextFont::title);
    EXPECT_EQ(title.colour, kBlack);
}

TEST(plot_layout_test, points_and_run_labels_by_row_index) {
    PlotData ten = makeData(indexRows({"1", "1", "1", "1", "2", "2", "2", "3", "3", "3"}));
    PlotLayout layout = layoutOf(ten, settingsWith());
    std::vector<Point> points = pointsOf(layout, ten);
    ASSERT_EQ(points.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(points[i].x, 60 + 68 * static_cast<int>(i));
        EXPECT_EQ(points[i].style, i >= 4 && i <= 6 ? G : B) << "row " << i;
    }
    std::vector<TextBox> labels = runLabelsOf(layout, ten);
    ASSERT_EQ(labels.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(labels[k].left, (std::vector<int>{196, 400, 604})[k]);
        EXPECT_EQ(labels[k].text, std::to_string(k + 1));
        EXPECT_EQ((std::vector<int>{labels[k].top, labels[k].width, labels[k].height}), (std::vector<int>{496, 120, 35}));
        EXPECT_EQ(labels[k].align, TextAlign::leftMiddle);
        EXPECT_EQ(labels[k].font, TextFont::axis);
        EXPECT_EQ(labels[k].colour, kBlue);
    }

    PlotSettings every2 = settingsWith();
    every2.xnum = 2;
    std::vector<TextBox> second = runLabelsOf(layoutOf(ten, every2), ten);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].text, "2");
    for (int32_t none : {0, -1}) {
        PlotSettings s = settingsWith();
        s.xnum = none;
        EXPECT_TRUE(runLabelsOf(layoutOf(ten, s), ten).empty()) << "xnum " << none;
    }

    // The last row starts a run of one row: half of its count is 0.
    PlotData three = makeData(indexRows({"1", "1", "2"}));
    PlotLayout threeLayout = layoutOf(three, settingsWith());
    std::vector<Point> threePoints = pointsOf(threeLayout, three);
    EXPECT_EQ(xsOf(threePoints), (std::vector<int>{60, 286, 513}));
    EXPECT_EQ(threePoints[2].style, G);
    std::vector<TextBox> threeLabels = runLabelsOf(threeLayout, three);
    ASSERT_EQ(threeLabels.size(), 2u);
    EXPECT_EQ(threeLabels[0].left, 286);
    EXPECT_EQ(threeLabels[1].left, 513);
}

TEST(plot_layout_test, a_chromosome_split_in_two_runs_alternates_colours) {
    PlotData data = makeData(indexRows({"1", "1", "2", "1", "3", "3"}));
    PlotLayout layout = layoutOf(data, settingsWith());
    std::vector<PointStyle> styles;
    for (const Point& p : pointsOf(layout, data)) styles.push_back(p.style);
    EXPECT_EQ(styles, (std::vector<PointStyle>{B, B, G, B, G, G}));
    std::vector<std::string> texts;
    for (const TextBox& box : runLabelsOf(layout, data)) texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"1", "2", "1", "3"}));
}

TEST(plot_layout_test, labels_follow_row_counts_in_position_mode) {
    // Cumulative 1, 1001, 1002, 1003: the first run's points lie at both ends of its span, while labels
    // still start at the x their run's middle row would have by row index.
    PlotData data = makeData({{"1", 1, 0}, {"1", 2, 1000}, {"2", 3, 5}, {"2", 4, 6}}, true);
    PlotLayout layout = layoutOf(data, settingsWith(3));
    EXPECT_EQ(data.Pos_list, (std::vector<int32_t>{0, 3, 3, 4}));
    EXPECT_EQ(xsOf(pointsOf(layout, data)), (std::vector<int>{60, 570, 570, 740}));
    std::vector<TextBox> labels = runLabelsOf(layout, data);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0].left, 60 + 170);
    EXPECT_EQ(labels[1].left, 60 + 510);
}

TEST(plot_layout_test, highlight_at_the_widened_threshold) {
    // 7.3 as a float widens to 7.30000019..., so the double 7.3 stays in its run's colour; a highlighted
    // point is followed by one in the run's colour again.
    PlotData data = makeData({{"1", 0.0}, {"1", 7.3}, {"1", 7.31}, {"1", 5.0}, {"2", 7.31}, {"2", 1.0}});
    PlotLayout layout = layoutOf(data, settingsWith());
    std::vector<PointStyle> styles;
    for (const Point& p : pointsOf(layout, data)) styles.push_back(p.style);
    EXPECT_EQ(styles, (std::vector<PointStyle>{B, B, R, B, R, G}));
}

TEST(plot_layout_test, degenerate_y_scales_keep_every_finite_point) {
    // All values equal: an infinite scale; every point on the baseline, the zero line (at an infinite
    // distance) left out, one tick at the common value.
    PlotData equal = makeData({{"1", 2.0}, {"1", 2.0}, {"2", 2.0}});
    PlotLayout layout = layoutOf(equal, settingsWith());
    EXPECT_TRUE(std::isinf(layout.pixPerY));
    EXPECT_EQ(pointsOf(layout, equal), (std::vector<Point>{{60, 473, B}, {286, 473, B}, {513, 473, G}}));
    ASSERT_EQ(layout.axisLines.size(), 2u);
    EXPECT_EQ(layout.axisLines[0].y2, 473);
    EXPECT_EQ(layout.axisLines[1].y1, 473);
    ASSERT_EQ(layout.ticks.size(), 1u);
    EXPECT_EQ(layout.ticks[0].mark->y1, 473);

    // Every p = 1: values 0 (some negative zero), zero line on the baseline.
    PlotData zeros = makeData({{"1", -0.0}, {"1", 0.0}});
    PlotLayout zeroLayout = layoutOf(zeros, settingsWith());
    EXPECT_EQ(zeroLayout.axisLines.size(), 3u);
    EXPECT_EQ(pointsOf(zeroLayout, zeros).size(), 2u);

    // An infinite value: a range that is not finite; all points on the baseline, no scale at all.
    for (std::vector<Row> rows : {std::vector<Row>{{"1", 1.0}, {"1", kInf}, {"1", 3.0}},
                                  std::vector<Row>{{"1", kInf}, {"1", kInf}},
                                  std::vector<Row>{{"1", -kInf}, {"1", 2.0}}}) {
        PlotData data = makeData(rows);
        PlotLayout l = layoutOf(data, settingsWith());
        std::vector<Point> points = pointsOf(l, data);
        ASSERT_EQ(points.size(), rows.size());
        for (const Point& p : points) EXPECT_EQ(p.y, 473);
        EXPECT_TRUE(l.ticks.empty());
    }

    // A NaN value (negative p) is not drawn; the others are.
    PlotData nan = makeData({{"1", 1.0}, {"1", kNaN}, {"1", 3.0}});
    EXPECT_EQ(xsOf(pointsOf(layoutOf(nan, settingsWith()), nan)), (std::vector<int>{60, 513}));

    // No value that compares: minY and maxY keep their start values; nothing to draw, still no failure.
    PlotData none = makeData({{"1", kNaN}, {"1", kNaN}});
    EXPECT_TRUE(pointsOf(layoutOf(none, settingsWith()), none).empty());

    // A finite but huge range: the seed falls back to 1, far too many tick positions; no scale, points kept.
    PlotData huge = makeData({{"1", 0.0}, {"1", 1e300}});
    PlotLayout hugeLayout = layoutOf(huge, settingsWith());
    EXPECT_TRUE(hugeLayout.ticks.empty());
    EXPECT_EQ(pointsOf(hugeLayout, huge), (std::vector<Point>{{60, 473, B}, {400, 60, R}}));
}

TEST(plot_layout_test, far_coordinates_are_clamped_not_wrapped) {
    // Cumulative 1, 2e9+1, 2: the middle point's x is clamped far off the canvas, never wrapped onto it.
    PlotData data = makeData({{"1", 1, 0}, {"1", 2, 2000000000}, {"1", 3, 1}}, true);
    PlotLayout layout = layoutOf(data, settingsWith(3));
    std::vector<Point> points = pointsOf(layout, data);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1].x, static_cast<int>(kFarPixel));
    EXPECT_EQ(truncatePixel(-1e300), -static_cast<int>(kFarPixel));
    EXPECT_EQ(truncatePixel(-0.9), 0);
    EXPECT_EQ(truncatePixel(-1.5), -1);
}

TEST(plot_layout_test, two_threads_rewrite_positions_as_one_pass_does) {
    // 300,000 rows in runs of 1 to 3,000 rows, IDs coming back, positions mostly rising with drops inside
    // runs: the rewritten positions with two threads, with one, and from the two passes done literally on a
    // copy (cumulative positions of all rows first, then each scaled by the last) agree row for row.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> runLength(1, 3000), step(-20, 400), id(1, 5);
    std::vector<Row> rows;
    while (rows.size() < 300000) {
        const std::string chromosome = std::to_string(id(random));
        int32_t pos = step(random) * 1000;
        for (int n = runLength(random); n > 0; --n) rows.push_back({chromosome, 1.0 + (pos % 7), pos += step(random)});
    }
    PlotData one = makeData(rows, true), two = one;

    std::vector<int64_t> cumulative(one.Pos_list.begin(), one.Pos_list.end());
    int64_t previous = 0, oldpos = cumulative[0];
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0 && rows[i].id != rows[i - 1].id) previous = cumulative[i - 1], oldpos = cumulative[i];
        cumulative[i] = cumulative[i] - oldpos + 1 + previous;
    }
    ASSERT_GT(cumulative.back(), 0);
    std::vector<int32_t> expected;
    for (int64_t c : cumulative)
        expected.push_back(static_cast<int32_t>(static_cast<double>(c) * static_cast<double>(rows.size()) /
                                                static_cast<double>(cumulative.back())));

    ASSERT_TRUE(std::holds_alternative<PlotLayout>(layoutPlot(one, settingsWith(3), 1)));
    ASSERT_TRUE(std::holds_alternative<PlotLayout>(layoutPlot(two, settingsWith(3), 2)));
    EXPECT_EQ(one.Pos_list, expected);
    EXPECT_EQ(two.Pos_list, expected);
}
