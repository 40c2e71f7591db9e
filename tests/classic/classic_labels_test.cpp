// Peak labels: the placement rules on random peak sets, the count of labels left out, and label texts.
#include "test_support.h"
#include "classic/classic_labels.h"

using namespace vennrick;
using namespace vennrick::test;

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

TEST(classic_labels_test, random_peaks_keep_every_rule) {
    // Peaks crowded round a point anywhere on the canvas or just past its edges, over random drawn areas.
    std::mt19937 rng(3);
    for (int trial = 0; trial < 200; ++trial) {
        const size_t n = 1 + rng() % 80;
        const int cx = static_cast<int>(rng() % 820) - 10, cy = static_cast<int>(rng() % 553) - 10;
        std::vector<Pixel> points(n);
        for (Pixel& p : points) p = {cx + static_cast<int>(rng() % 61) - 30, cy + static_cast<int>(rng() % 61) - 30};
        PixelMask drawn = pixelMask(kDefaultImageWidth, kDefaultImageHeight);
        for (int r = 0; r < 5; ++r) markRect(drawn, rng() % 800, rng() % 533, rng() % 800, rng() % 533);
        const LabelPlan plan = placeLabels(
            n, [&](size_t k) { return std::optional<Pixel>(points[k]); },
            [&](size_t k) { return "rs" + std::string(k % 12, '7'); }, testFont(), drawn);
        ASSERT_EQ(plan.boxes.size() + static_cast<size_t>(plan.leftOut), n);
        ASSERT_LE(plan.leaders.size(), plan.boxes.size());
        for (size_t i = 0; i < plan.boxes.size(); ++i) {
            const TextBox& a = plan.boxes[i];
            EXPECT_GE(a.width, 6 * static_cast<int>(a.text.size()) + 2);
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.left + a.width <= 800 && a.top + a.height <= 533);
            for (size_t j = 0; j < plan.boxes.size(); ++j) {
                const TextBox& b = plan.boxes[j];
                const Pixel p = points[plan.named[j]];  // a labelled lead point: its 3 x 3 footprint stays clear
                EXPECT_FALSE(overlaps(a.left, a.top, a.left + a.width, a.top + a.height, p.x - 1, p.y - 1, p.x + 2, p.y + 2))
                    << "box " << i << " covers the point of label " << j;
                EXPECT_TRUE(i == j || !overlaps(a.left - 2, a.top - 2, a.left + a.width + 2, a.top + a.height + 2, b.left,
                                                b.top, b.left + b.width, b.top + b.height))
                    << "boxes " << i << " and " << j << " closer than 2 pixels";
            }
        }
    }
}

TEST(classic_labels_test, labels_that_do_not_fit_are_counted) {
    // Forty peaks on one pixel: a label next to it, then labels further away with leaders, until no room is left.
    const LabelPlan plan = placeLabels(
        40, [](size_t) { return std::optional<Pixel>(Pixel{400, 300}); },
        [](size_t k) { return "rs12345678" + std::to_string(k); }, testFont(), pixelMask(kDefaultImageWidth, kDefaultImageHeight));
    EXPECT_TRUE(plan.leaders.size() > 0 && plan.leaders.size() < plan.boxes.size() && plan.leftOut > 0);
    EXPECT_EQ(plan.boxes.size() + static_cast<size_t>(plan.leftOut), 40u);
    EXPECT_EQ(labelReport(40, 40, plan.boxes.size()), "-labels 40: " + std::to_string(plan.boxes.size()) + " named, " +
                                                           std::to_string(plan.leftOut) +
                                                           " left out for want of room without overlap");
    EXPECT_EQ(labelReport(10, 4, 3),
              "-labels 10: 3 named, 1 left out for want of room without overlap (the table has 4 lead loci)");
    EXPECT_EQ(labelReport(10, 4, 4), "-labels 10: all 4 lead loci named");
    EXPECT_EQ(labelReport(3, 4, 3), "");
    EXPECT_EQ(labelReport(3, 0, 0), "-labels 3: no lead loci to name: no kept row reaches the threshold");
}

TEST(classic_labels_test, label_texts) {
    for (const Case& c : loadCases("label_texts.txt")) EXPECT_EQ(labelText(c.get("name")), c.get("text")) << c.name;
    EXPECT_EQ(textWidth("rs\xc3\xa9", testFont()), 6 + 6 + 12);  // beyond ASCII: the widest or the height, if more
}
