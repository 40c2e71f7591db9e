// Painting a figure: point footprints, clipped translucent polygons, lines, turned text, and the paint order.

#include "test_support.h"
#include <QImage>

#include "figure/figure_renderer.h"

using namespace vennrick;

namespace {

bool hasInk(const QImage& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
    return false;
}

}  // namespace

TEST(figure_renderer_test, paints_every_kind_in_order) {
    Figure figure;
    figure.width = 200;
    figure.height = 300;
    // Black a quarter opaque, clipped to 10..29 both ways; a red line; dots of side 2 (one across the corner,
    // one on the line) and 3; a word turned to read upwards in the strip x 40..60, y 100..280.
    figure.polygons.push_back({{{0, 0}, {60, 0}, {60, 60}, {0, 60}}, Colour{0, 0, 0, 64}, FigureRect{10, 10, 20, 20}});
    figure.lines.push_back(FigureLine{100, 50, 180, 50, Colour{255, 0, 0}});
    figure.points.push_back(PointLayer{Colour{0, 0, 255}, 2, {{120, 120}, {0, 0}, {140, 50}}});
    figure.points.push_back(PointLayer{Colour{0, 255, 0}, 3, {{150, 150}}});
    figure.texts.push_back({FigureRect{-40, 180, 180, 20}, "", 12, FigureAlign::centre, Colour{}, 90, "Observed"});
    const QImage image = renderFigure(figure);

    ASSERT_EQ(image.size(), QSize(200, 300));
    EXPECT_EQ(image.pixel(15, 15), qRgb(191, 191, 191)) << "a quarter of black over white";
    EXPECT_FALSE(hasInk(image, 30, 0, 70, 70) || hasInk(image, 2, 2, 10, 9)) << "clipped";
    EXPECT_EQ(image.pixel(160, 50), qRgb(255, 0, 0));
    for (auto [x, y] : {std::pair{119, 119}, {120, 120}, {0, 0}, {139, 49}, {140, 50}})
        EXPECT_EQ(image.pixel(x, y), qRgb(0, 0, 255)) << x << "," << y << ": dots lie over lines";
    EXPECT_FALSE(hasInk(image, 121, 110, 130, 130) || hasInk(image, 110, 121, 130, 130)) << "2 x 2 dots";
    EXPECT_TRUE(image.pixel(149, 149) == qRgb(0, 255, 0) && image.pixel(151, 151) == qRgb(0, 255, 0));
    EXPECT_FALSE(hasInk(image, 145, 145, 160, 148) || hasInk(image, 152, 145, 160, 160)) << "3 x 3 dots";
    EXPECT_TRUE(hasInk(image, 40, 100, 60, 280)) << "the turned text";
    EXPECT_FALSE(hasInk(image, 0, 90, 38, 290) || hasInk(image, 62, 90, 100, 290)) << "a tall, narrow text";
}

TEST(figure_renderer_test, discs_are_antialiased_and_the_same_on_any_thread_count) {
    // A disc of diameter 5 on its own, and 40000 discs of diameter 3.5 with every third one twice, in a few rows.
    Figure figure;
    figure.width = 600, figure.height = 400;
    figure.points.push_back(PointLayer{Colour{0, 0, 255}, 5, {{20, 20}}, true});
    PointLayer many{Colour{200, 0, 0}, 3.5, {}, true};
    for (int k = 0; k < 40000; ++k) many.dots.push_back({50 + (k * 7) % 540, 100 + (k * 13) % 280});
    for (int k = 0; k < 40000; k += 3) many.dots.push_back(many.dots[static_cast<size_t>(k)]);
    figure.points.push_back(many);
    const QImage one = renderFigure(figure, 1);
    EXPECT_EQ(one.pixel(20, 20), qRgb(0, 0, 255)) << "the middle is covered";
    const QRgb edge = one.pixel(22, 22);  // the disc's edge crosses this pixel
    EXPECT_TRUE(qBlue(edge) == 255 && qRed(edge) > 0 && qRed(edge) < 255) << std::hex << edge;
    EXPECT_EQ(one.pixel(20, 24), qRgb(255, 255, 255)) << "beyond the radius";
    for (unsigned threads : {2u, 5u}) EXPECT_TRUE(renderFigure(figure, threads) == one) << threads;
    figure.points[1].dots.resize(40000);
    EXPECT_TRUE(renderFigure(figure, 2) == one) << "a dot on another adds nothing";
}
