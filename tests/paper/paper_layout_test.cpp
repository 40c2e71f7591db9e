// The paper figure as data: the axis steps, the labels, the guide lines, the points'
// places, labels that never meet, and the same figure at three times the size and dpi.

#include "paper/paper_layout.h"
#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

PlotSettings paperSettings(int width = 800, int height = 533, int dpi = 96) {
    PlotSettings s;
    s.Title = "T";
    s.poscolumn = 3;
    s.style = FigureStyle::paper;
    s.imagesize = ImageSize{width, height};
    s.dpi = dpi;
    return s;
}

PaperPlot layout(const PlotData& data, const PlotSettings& s) { return std::get<PaperPlot>(layoutPaper(data, s)); }

// The IDs of the order, joined by spaces.
std::string ids(const ChromosomeOrder& order) {
    std::string all;
    for (const Chromosome& c : order.chromosomes) all += (all.empty() ? "" : " ") + c.id;
    return all;
}

}  // namespace

TEST(paper_layout_test, axis_steps_are_round) {
    const std::tuple<double, double, int64_t, int> cases[] = {
        // largest, step, intervals, decimals
        {29.9, 5, 6, 0},  {7.3, 1, 8, 0},  {3.2, 1, 4, 0},   {2.5, 0.5, 5, 1}, {0.04, 0.005, 8, 3},
        {400, 50, 8, 0},  {10, 1, 10, 0},  {11, 2, 6, 0},    {0, 0.1, 10, 1},  {NAN, 0.1, 10, 1},
    };
    for (const auto& [largest, step, intervals, decimals] : cases) {
        const PaperAxis axis = paperAxis(largest);
        EXPECT_NEAR(axis.step, step, step * 1e-12) << largest;
        EXPECT_EQ(axis.intervals, intervals) << largest;
        EXPECT_EQ(axis.decimals, decimals) << largest;
        EXPECT_GE(axis.top, std::isfinite(largest) ? largest : 1) << largest;
    }
    EXPECT_EQ(tickText(15, 0), "15");
    EXPECT_EQ(tickText(0.005 * 3, 3), "0.015");
}

TEST(paper_layout_test, chromosomes_by_position_labels_and_lines) {
    // Chromosome 2's rows come before and after chromosome 10's, and 10 comes before 2 in the file.
    const PlotData data = plotDataOf({{"10", 1, 500}, {"10", 2, 900}, {"2", 9, 100}, {"2", 1, 300}, {"1", 3, 50},
                                      {"1", 0.5, 450}, {"2", 4, 200}, {"X", 1, 0}, {"X", 2, 200}}, true);
    PlotSettings s = paperSettings();
    s.suggestive = 5;
    const PaperPlot plot = layout(data, s);
    EXPECT_EQ(ids(plot.order), "1 2 10 X");
    // By position: widths 400, 200, 400, 200 units, in order, with equal gaps.
    for (size_t c = 0; c + 1 < 4; ++c) EXPECT_LT(plot.chromosomeRight[c], plot.chromosomeLeft[c + 1]);
    const double unit = (plot.chromosomeRight[0] - plot.chromosomeLeft[0]) / 400;
    EXPECT_NEAR(plot.chromosomeRight[1] - plot.chromosomeLeft[1], 200 * unit, 1e-9);
    EXPECT_NEAR(plot.chromosomeLeft[2] - plot.chromosomeRight[1], plot.chromosomeLeft[1] - plot.chromosomeRight[0], 1e-9);
    // Every chromosome is wide enough here: four labels, one row, each centred under its chromosome.
    ASSERT_EQ(plot.labels.size(), 4u);
    for (const PaperLabel& l : plot.labels) {
        EXPECT_EQ(l.row, 0);
        EXPECT_NEAR(l.box.left + l.box.width / 2, (plot.chromosomeLeft[l.chromosome] + plot.chromosomeRight[l.chromosome]) / 2,
                    1e-9);
    }
    // The axis reaches 9 in steps of 1; dashed lines at the threshold 7.3 (single precision) and at 5.
    EXPECT_EQ(plot.axis.top, 9);
    std::vector<double> dashed;
    for (const FigureLine& line : plot.figure.lines)
        if (line.dashed) dashed.push_back(line.y1);
    ASSERT_EQ(dashed.size(), 2u);
    EXPECT_DOUBLE_EQ(dashed[0], paperY(plot, 5));
    EXPECT_DOUBLE_EQ(dashed[1], paperY(plot, static_cast<double>(7.3f)));
    // A threshold of 0 or below (every row a hit) and no -suggestive: no dashed line at all.
    for (float threshold : {0.0f, -2.0f}) {
        s.threshold = threshold;
        s.suggestive = 0;
        for (const FigureLine& line : layout(data, s).figure.lines) EXPECT_FALSE(line.dashed) << threshold;
    }
    // The hit (p = 1e-9 on chromosome 2 at 100) is the only dot of the hit layer, at its chromosome's left end.
    ASSERT_EQ(plot.figure.points.size(), 3u);
    ASSERT_EQ(plot.figure.points[2].dots.size(), 1u);
    const PixelDot hit = plot.figure.points[2].dots[0];
    EXPECT_EQ(hit.x, static_cast<int>(plot.chromosomeLeft[1]));
    EXPECT_NEAR(hit.y, paperY(plot, 9), 1);
    EXPECT_TRUE(plot.figure.points[2].colour == kPaperColours.hit && plot.figure.points[0].colour == kPaperColours.first);
    // Chromosomes 1 and 10 take the first colour, 2 and X the second: 5 and 4 rows, none on one pixel.
    EXPECT_EQ(plot.figure.points[0].dots.size(), 4u);
    EXPECT_EQ(plot.figure.points[1].dots.size(), 4u);
}

TEST(paper_layout_test, labels_never_meet_and_wide_chromosomes_keep_theirs) {
    // Dense: 300 chromosomes of growing lengths on a narrow figure; sparse: a long and a short chromosome. Both
    // laid out by row order. No two labels of a row overlap, each lies on the canvas, and a chromosome at least 60
    // pixels wide has room for any of these labels.
    std::vector<Row> dense, sparse(1000, Row{"1", 1});
    for (int c = 1; c <= 300; ++c) dense.insert(dense.end(), static_cast<size_t>(1 + c % 40), Row{std::to_string(c), 1});
    sparse.push_back({"2", 1});
    for (const std::vector<Row>* rows : {&dense, &sparse}) {
        PlotSettings s = paperSettings(600, 400);
        s.poscolumn = 0;
        const PaperPlot plot = layout(plotDataOf(*rows, false), s);
        std::vector<bool> labelled(plot.order.chromosomes.size(), false);
        for (const PaperLabel& l : plot.labels) {
            labelled[l.chromosome] = true;
            EXPECT_TRUE(l.box.left >= 0 && l.box.left + l.box.width <= plot.figure.width);
            for (const PaperLabel& m : plot.labels)
                EXPECT_TRUE(&l == &m || l.row != m.row || l.box.left + l.box.width <= m.box.left ||
                            m.box.left + m.box.width <= l.box.left);
        }
        for (size_t c = 0; c < labelled.size(); ++c)
            if (plot.chromosomeRight[c] - plot.chromosomeLeft[c] >= 60) EXPECT_TRUE(labelled[c]) << c;
        EXPECT_TRUE(rows == &sparse ? plot.labels.size() == 2u
                                    : plot.labels.size() < 300u && std::any_of(plot.labels.begin(), plot.labels.end(),
                                                                               [](const PaperLabel& l) { return l.row == 1; }));
    }
}

TEST(paper_layout_test, three_times_the_size_and_dpi_is_the_same_figure) {
    // Five rows a chromosome, a few pixels apart at least, some of them hits.
    std::vector<Row> rows;
    for (int c = 1; c <= 23; ++c)
        for (int k = 0; k < 5; ++k)
            rows.push_back({c == 23 ? "X" : std::to_string(c), 0.5 + ((k * 7 + c) % 45) / 5.0, k * (100000 - 3000 * c)});
    const PlotData data = plotDataOf(rows, true);
    const PaperPlot small = layout(data, paperSettings(800, 533, 96)), large = layout(data, paperSettings(2400, 1599, 288));
    expectScaled(small.figure, large.figure, 3);
}

TEST(paper_layout_test, a_cap_ends_the_axis_and_marks_the_points_above_it) {
    // Values up to 300 under -ymax 12.5: the axis ends at 12.5 with a tick labelled so, the points above it are
    // triangles at the top edge (one per pixel column), the rows below keep their places, and a lead above the
    // cap is labelled at the top.
    std::vector<Row> rows;
    for (int i = 0; i < 200; ++i) rows.push_back({"1", 0.5 + (i % 7), 1000 * (i + 1)});
    rows[50].value = 300, rows[51].value = 80, rows[150].value = 13;
    const PlotData data = plotDataOf(rows, true);
    PlotSettings s = paperSettings();
    s.ymax = 12.5;
    const PaperPlot plot = layout(data, s);
    EXPECT_EQ(plot.axis.top, 12.5);
    EXPECT_TRUE(std::any_of(plot.figure.texts.begin(), plot.figure.texts.end(), [](const FigureText& t) { return t.text == "12.5"; }));
    ASSERT_EQ(plot.figure.polygons.size(), 3u) << "three pixel columns above the cap";
    for (const FigurePolygon& triangle : plot.figure.polygons) {
        ASSERT_EQ(triangle.vertices.size(), 3u);
        EXPECT_NEAR((triangle.vertices[0].y + triangle.vertices[2].y) / 2, static_cast<int>(plot.top) + 0.5, 1);
    }
    EXPECT_EQ(paperPointOfRow(plot, data, 50)->y, static_cast<int>(plot.top));
    EXPECT_EQ(paperPointOfRow(plot, data, 3)->y, static_cast<int>(plot.zero - 3.5 / 12.5 * (plot.zero - plot.top)));
    for (const PointLayer& layer : plot.figure.points)
        for (const PixelDot& d : layer.dots) EXPECT_GE(d.y, static_cast<int>(plot.top));
}

TEST(paper_layout_test, the_title_is_the_file_name_or_none) {
    const PlotData data = plotDataOf({{"1", 1, 100}, {"1", 3, 200}, {"2", 2, 100}}, true);
    auto titles = [](const PaperPlot& plot) {
        std::vector<std::string> texts;
        for (const FigureText& t : plot.figure.texts)
            if (t.box.top + t.box.height <= plot.top) texts.push_back(t.text);
        return texts;
    };
    PlotSettings s = paperSettings();
    s.Title = "../data/run 1/gwas.tsv.gz";  // the path as typed, the default title
    EXPECT_EQ(titles(layout(data, s)), std::vector<std::string>{"gwas.tsv.gz"});
    EXPECT_EQ(paperTitle(s), "gwas.tsv.gz");
    s.titleGiven = true;
    s.Title = "a/b";  // a title as given keeps its slashes
    EXPECT_EQ(titles(layout(data, s)), std::vector<std::string>{"a/b"});
    const double withTitle = layout(data, s).top;
    s.Title = "";  // -figuretitle "": no title, and its room goes to the plot
    const PaperPlot untitled = layout(data, s);
    EXPECT_TRUE(titles(untitled).empty());
    EXPECT_LT(untitled.top, withTitle - 5);
}

TEST(paper_layout_test, one_chromosome_gets_a_position_axis_in_megabases) {
    // Chromosome 7 from 12.3 to 47.9 Mb (positions divided by -div 10 as the reader keeps them): ticks every 5 Mb
    // from 15 to 45, each where its position lies, and the chromosome's name as the axis title.
    std::vector<Row> rows;
    for (int i = 0; i <= 100; ++i) rows.push_back({"7", 1.0 + i % 5, static_cast<int32_t>((12300000 + i * 356000) / 10)});
    const PlotData data = plotDataOf(rows, true);
    PlotSettings s = paperSettings();
    const PaperPlot plot = layout(data, s);
    std::vector<std::string> below;
    for (const FigureText& t : plot.figure.texts)
        if (t.box.top > plot.zero && t.rotation == 0) below.push_back(t.text);
    EXPECT_EQ(below, (std::vector<std::string>{"15", "20", "25", "30", "35", "40", "45", "Chromosome 7 (Mb)"}));
    const double x15 = paperPointOfRow(plot, data, 0)->x + (15.0 - 12.3) / (47.9 - 12.3) * (paperPointOfRow(plot, data, 100)->x - paperPointOfRow(plot, data, 0)->x);
    const auto tick = std::find_if(plot.figure.texts.begin(), plot.figure.texts.end(), [](const FigureText& t) { return t.text == "15"; });
    EXPECT_NEAR(tick->box.left + tick->box.width / 2, x15, 1.5);
}

TEST(paper_layout_test, point_size_in_points_with_hits_half_as_large_again) {
    const PlotData data = plotDataOf({{"1", 1, 100}, {"1", 9, 200}, {"2", 2, 100}}, true);
    PlotSettings s = paperSettings(2400, 1600, 288);  // 4 pixels per point
    s.pointsize = 2;
    const PaperPlot plot = layout(data, s);
    ASSERT_EQ(plot.figure.points.size(), 3u);
    EXPECT_DOUBLE_EQ(plot.figure.points[0].side, 8);
    EXPECT_DOUBLE_EQ(plot.figure.points[1].side, 8);
    EXPECT_DOUBLE_EQ(plot.figure.points[2].side, 12);
    s.pointsize = 0;  // the defaults, 2.4 and 3.6 points
    EXPECT_DOUBLE_EQ(layout(data, s).figure.points[2].side, 14.4);
}
