// Peak labels on a figure: the pixels a figure draws, and a label placed clear of its point at the figure's dpi.
#include "test_support.h"
#include "figure/figure_labels.h"

using namespace vennrick;

TEST(figure_labels_test, drawn_pixels_and_a_label_at_twice_the_resolution) {
    Figure figure;
    figure.width = 400, figure.height = 300, figure.dpi = 192;
    figure.lines.push_back(FigureLine{10, 250, 390, 250, Colour{}, 2});
    // A text box of 100 x 20 centred on (10, 150), turned to read upwards: it covers x 0 .. 20, y 100 .. 200.
    figure.texts.push_back(FigureText{FigureRect{-40, 140, 100, 20}, "", 10, FigureAlign::centre, Colour{}, 90, "turned"});
    figure.points.push_back(PointLayer{Colour{}, 6, {{200, 100}}, true});
    const PixelMask drawn = drawnPixels(figure);
    auto at = [&](int x, int y) { return countRect(drawn, x, y, x + 1, y + 1) == 1; };
    EXPECT_TRUE(at(200, 251) && at(10, 105) && at(204, 100) && at(196, 96));
    EXPECT_FALSE(at(200, 254) || at(45, 150) || at(206, 100) || at(200, 200));

    HitRows hits;
    hits.texts = "rsA";
    hits.records = {HitRecord{0, 0, 3, 0, 100}};
    LeadLoci leads;
    leads.loci = {Locus{0, 0, 100, 100, 1}};
    leads.chromosomes = {"1"};
    ASSERT_EQ(labelFigure(figure, leads, hits, 5, [](int64_t) { return std::optional<Pixel>(Pixel{200, 100}); },
                          "Calibri", 10),
              1u);
    const FigureText& label = figure.texts.back();
    EXPECT_EQ(label.text, "rsA");
    EXPECT_TRUE(label.family == "Calibri" && label.pointSize == 10);
    // The point's footprint and the pixels round it, twice as wide at 192 dpi, stay clear of the box.
    EXPECT_TRUE(label.box.top + label.box.height <= 100 - 4 || label.box.top > 100 + 4 || label.box.left > 204 ||
                label.box.left + label.box.width <= 196);
    EXPECT_NEAR(label.box.height, 2 * labelFontFor("Calibri", 10, 96).height, 2);
}
