// Painting a figure: point footprints, clipped translucent polygons, lines, turned text, and the paint order.
#include <gtest/gtest.h>

#include <QImage>

#include "figure_renderer.h"

using namespace vennrick;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

bool hasInk(const QImage& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (image.pixel(x, y) != kWhite) return true;
    return false;
}

}  // namespace

TEST(figure_renderer_test, paints_every_kind_in_order) {
    Figure figure;
    figure.width = 200;
    figure.height = 300;
    // A grey square a quarter opaque, clipped to 10..29 both ways.
    figure.polygons.push_back(FigurePolygon{{{0, 0}, {60, 0}, {60, 60}, {0, 60}}, Colour{0, 0, 0, 64},
                                            FigureRect{10, 10, 20, 20}});
    figure.lines.push_back(FigureLine{100, 50, 180, 50, Colour{255, 0, 0}});
    // Dots of side 2 and 3, one across the canvas corner, one on the line.
    figure.points.push_back(PointLayer{Colour{0, 0, 255}, 2, {{120, 120}, {0, 0}, {140, 50}}});
    figure.points.push_back(PointLayer{Colour{0, 255, 0}, 3, {{150, 150}}});
    // A word turned to read upwards in the strip x 40..60, y 100..280.
    figure.texts.push_back(
        FigureText{FigureRect{-40, 180, 180, 20}, "", 12, FigureAlign::centre, Colour{0, 0, 0}, 90, "Observed"});
    const QImage image = renderFigure(figure);

    ASSERT_EQ(image.size(), QSize(200, 300));
    EXPECT_EQ(image.pixel(15, 15), qRgb(191, 191, 191)) << "a quarter of black over white";
    EXPECT_EQ(image.pixel(35, 35), kWhite) << "clipped";
    EXPECT_EQ(image.pixel(5, 15), kWhite) << "clipped";
    EXPECT_EQ(image.pixel(160, 50), qRgb(255, 0, 0));
    for (auto [x, y] : {std::pair{119, 119}, {120, 119}, {119, 120}, {120, 120}, {0, 0}, {139, 49}, {140, 50}})
        EXPECT_EQ(image.pixel(x, y), qRgb(0, 0, 255)) << x << "," << y << ": dots lie over lines";
    EXPECT_EQ(image.pixel(121, 120), kWhite);
    EXPECT_EQ(image.pixel(120, 121), kWhite);
    EXPECT_FALSE(hasInk(image, 149, 149 - 1, 152, 149)) << "no row above the 3 x 3 dot";
    for (int y = 149; y <= 151; ++y)
        for (int x = 149; x <= 151; ++x) EXPECT_EQ(image.pixel(x, y), qRgb(0, 255, 0));
    EXPECT_TRUE(hasInk(image, 40, 100, 60, 280)) << "the turned text";
    EXPECT_FALSE(hasInk(image, 0, 90, 38, 290) || hasInk(image, 62, 90, 100, 290)) << "a tall, narrow text";
}
