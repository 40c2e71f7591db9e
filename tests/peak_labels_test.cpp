// Peak labels: the placement rules on random peak sets, the count of labels left out, label texts, and the
// drawn pixels the placement avoids.
#include "peak_labels.h"

#include <gtest/gtest.h>

#include <random>

using namespace vennrick;

namespace {

LabelFont testFont() {
    LabelFont font;
    font.advance.fill(6);
    font.otherAdvance = 10;
    font.height = 12;
    return font;
}

bool overlaps(int l1, int t1, int r1, int b1, int l2, int t2, int r2, int b2) {
    return l1 < r2 && l2 < r1 && t1 < b2 && t2 < b1;
}

}  // namespace

TEST(peak_labels_test, random_peaks_keep_every_rule) {
    // Peaks crowded round a few centres, some at or past the canvas edges, over random drawn areas.
    std::mt19937 rng(3);
    for (int trial = 0; trial < 200; ++trial) {
        const size_t n = 1 + rng() % 80;
        std::vector<Pixel> points(n);
        std::vector<std::string> texts(n);
        const int cx = static_cast<int>(rng() % 820) - 10, cy = static_cast<int>(rng() % 553) - 10;
        for (size_t k = 0; k < n; ++k) {
            points[k] = {cx + static_cast<int>(rng() % 61) - 30, cy + static_cast<int>(rng() % 61) - 30};
            texts[k] = "rs" + std::string(rng() % 12, '7');
        }
        PixelMask drawn;
        for (int r = 0; r < 5; ++r) markRect(drawn, rng() % 800, rng() % 533, rng() % 800, rng() % 533);
        const LabelPlan plan = placeLabels(
            n, [&](size_t k) { return std::optional<Pixel>(points[k]); }, [&](size_t k) { return texts[k]; },
            testFont(), drawn);
        ASSERT_EQ(plan.boxes.size() + static_cast<size_t>(plan.leftOut), n);
        ASSERT_LE(plan.leaders.size(), plan.boxes.size());
        for (size_t i = 0; i < plan.boxes.size(); ++i) {
            const TextBox& a = plan.boxes[i];
            EXPECT_EQ(a.text, texts[plan.named[i]]);
            EXPECT_GE(a.width, 6 * static_cast<int>(a.text.size()) + 2);
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.left + a.width <= 800 && a.top + a.height <= 533)
                << "off the canvas";
            for (size_t j = 0; j < plan.boxes.size(); ++j) {
                const TextBox& b = plan.boxes[j];
                const Pixel p = points[plan.named[j]];  // a labelled lead point, its 3 x 3 footprint
                EXPECT_FALSE(
                    overlaps(a.left, a.top, a.left + a.width, a.top + a.height, p.x - 1, p.y - 1, p.x + 2, p.y + 2))
                    << "box " << i << " covers the point of label " << j << " (own: " << (i == j) << ")";
                if (i != j)
                    EXPECT_FALSE(overlaps(a.left - 2, a.top - 2, a.left + a.width + 2, a.top + a.height + 2, b.left,
                                          b.top, b.left + b.width, b.top + b.height))
                        << "boxes " << i << " and " << j << " are closer than 2 pixels";
            }
        }
        for (const Line& leader : plan.leaders) {  // starts next to a labelled point, ends at a box
            bool fromPoint = false, toBox = false;
            for (size_t i = 0; i < plan.boxes.size(); ++i) {
                const Pixel p = points[plan.named[i]];
                const TextBox& b = plan.boxes[i];
                fromPoint = fromPoint || (std::abs(leader.x1 - p.x) <= 3 && std::abs(leader.y1 - p.y) <= 3);
                toBox = toBox || overlaps(leader.x2 - 1, leader.y2 - 1, leader.x2 + 2, leader.y2 + 2, b.left, b.top,
                                          b.left + b.width, b.top + b.height);
            }
            EXPECT_TRUE(fromPoint && toBox && leader.width == 1);
        }
    }
}

TEST(peak_labels_test, labels_that_do_not_fit_are_counted) {
    // Forty peaks on one pixel: one label takes the place next to it, later ones move away with leaders until
    // the rings round the point are full.
    const LabelPlan plan = placeLabels(
        40,
        [](size_t) {
            return std::optional<Pixel>(Pixel{400, 300});
        },
        [](size_t k) { return "rs12345678" + std::to_string(k); }, testFont(), PixelMask{});
    EXPECT_TRUE(plan.leaders.size() > 0 && plan.leaders.size() < plan.boxes.size());
    EXPECT_EQ(plan.boxes.size() + static_cast<size_t>(plan.leftOut), 40u);
    EXPECT_GT(plan.leftOut, 0);
    EXPECT_EQ(labelReport(40, 40, plan.boxes.size()), "-labels 40: " + std::to_string(plan.boxes.size()) + " named, " +
                                                          std::to_string(plan.leftOut) +
                                                          " left out for want of room without overlap");
    EXPECT_EQ(labelReport(10, 4, 3),
              "-labels 10: 3 named, 1 left out for want of room without overlap (the table has 4 lead loci)");
    EXPECT_EQ(labelReport(10, 4, 4), "-labels 10: all 4 lead loci named");
    EXPECT_EQ(labelReport(3, 4, 3), "");
    EXPECT_EQ(labelReport(3, 0, 0), "-labels 3: no lead loci to name: no kept row reaches the threshold");
}

TEST(peak_labels_test, label_texts) {
    const std::pair<std::string, std::string> cases[] = {{"rs123", "rs123"},
                                                         {"a\tb\x7f", "a?b?"},
                                                         {"\xff\xc0\x80", "???"},
                                                         {"caf\xc3\xa9", "caf\xc3\xa9"},
                                                         {"\xed\xa0\x80", "???"},
                                                         {std::string(32, 'x'), std::string(32, 'x')},
                                                         {std::string(33, 'x'), std::string(29, 'x') + "..."},
                                                         {std::string(40, '\xe2'), std::string(29, '?') + "..."}};
    for (const auto& [name, text] : cases) EXPECT_EQ(labelText(name), text) << name;
    EXPECT_EQ(textWidth("rs\xc3\xa9", testFont()), 6 + 6 + 12);  // beyond ASCII: the wider of the widest and the height
}

TEST(peak_labels_test, drawn_pixels_hold_every_point) {
    // Points of two runs by row index, one highlighted.
    PlotData data;
    data.ID_list = {{"1", 3}, {"2", 3}};
    data.Value_list = {1, 5, 9, 2, 4, 3};
    data.maxX = 6, data.minY = 1, data.maxY = 9;
    PlotSettings settings;
    settings.threshold = 8.5f;
    PlotLayout layout = std::get<PlotLayout>(layoutPlot(data, settings));
    layout.ticks.clear();
    const PixelMask drawn = drawnPixels(layout, data);
    int points = 0;
    forEachPoint(layout, data, [&](int x, int y, PointStyle style) {
        const int reach = style == PointStyle::highlight ? 1 : 0;
        const int left = std::max(x - 1, 0), right = std::min(x + reach + 1, 800), top = std::max(y - 1, 0);
        if (left < right)
            EXPECT_EQ(countRect(drawn, left, top, right, y + reach + 1), (right - left) * (reach + 2)) << x << "," << y;
        ++points;
    });
    EXPECT_EQ(points, 6);
    EXPECT_EQ(countRect(drawn, 300, 100, 400, 200), 0);
}
