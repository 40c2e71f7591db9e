// A figure as plain data: the canvas size and what lies on it (filled polygons, lines, raster point layers and
// text boxes) in canvas pixels, with nothing about how or in which file format it is painted.
//
// Paint order: the background, then every polygon, every line, every point layer, every line over the points and
// every text, each kind in list order. Coordinates are pixels from the top left corner, x to the right and y downwards; they may be
// fractional, and whole numbers name pixel positions exactly as a painter's integer coordinates do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/colour.h"

namespace vennrick {

struct FigurePoint {
    double x, y;  // pixels
};

struct FigureRect {
    double left, top, width, height;  // pixels
};

// A straight line with a square cap, end points included.
struct FigureLine {
    double x1, y1, x2, y2;  // end points, pixels
    Colour colour;
    double width = 2;     // pen width, pixels
    bool dashed = false;  // false: solid
};

// A closed polygon filled without an outline (the last vertex joins the first).
struct FigurePolygon {
    std::vector<FigurePoint> vertices;
    Colour colour;
    std::optional<FigureRect> clip;  // nothing is filled outside it; absent: the whole canvas
};

enum class FigureAlign { centre, left, right };  // in the box; left and right are vertically centred too

// A part of a typeset text: a subscript in a smaller size below the baseline, or italic (a variable, as p).
struct FigureTextRun {
    std::string text;  // UTF-8
    bool italic = false;
    bool subscript = false;
};

// A line of text laid out in a box and clipped to it. The box is given as it lies before the turn: the text is
// laid out in it and then turned about the box's centre.
struct FigureText {
    FigureRect box;
    std::string family;  // font family; empty: the application's default font
    int pointSize = 0;   // font size in points; <= 0: the font's default size
    FigureAlign align = FigureAlign::centre;
    Colour colour;
    double rotation = 0;  // degrees, counter-clockwise as seen on the page; 90 reads upwards
    std::string text;     // UTF-8
    std::vector<FigureTextRun> runs{};  // when not empty: the text as typeset, painted part by part in place of `text`
                                      // (which holds the same words plainly, as a reader of the figure data sees them)
};

// Points as one raster layer, at the canvas's resolution in every image type. A square dot is an opaque filled
// square of s = `side` pixels, rounded, covering x - s / 2 .. x - s / 2 + s - 1 (integer division) and the same
// rows around y; a disc is an antialiased disc of diameter `side` centred on the middle of pixel (x, y). Both are
// clipped to the canvas. A dot that lies on another adds nothing, so a layer holds each position at most once.
struct PixelDot {
    int32_t x, y;  // pixel position
};

struct PointLayer {
    Colour colour;      // opaque; the alpha is not used
    double side = 2;    // pixels, >= 1
    std::vector<PixelDot> dots;
    bool disc = false;  // false: square dots
};

// Pixels of a figure at dpi for each pixel of the same figure at 96 dpi, the resolution every whole-pixel
// length of the documented pictures is given at.
inline double dpiScale(int dpi) { return dpi / 96.0; }

// A small triangle pointing up, centred on (x, y), `size` pixels wide: the mark of a point above an axis's cap.
inline FigurePolygon capMarker(double x, double y, double size, Colour colour) {
    const double h = size * 0.866;
    return FigurePolygon{{{x - size / 2, y + h / 2}, {x + size / 2, y + h / 2}, {x, y - h / 2}}, colour, std::nullopt};
}

struct Figure {
    int width = 0, height = 0;  // canvas, pixels
    int dpi = 96;               // pixels per inch: a font of s points is s * dpi / 72 pixels tall
    bool antialiased = false;   // polygons, lines and texts drawn with antialiasing
    Colour background{255, 255, 255, 255};
    std::vector<FigurePolygon> polygons;
    std::vector<FigureLine> lines;
    std::vector<PointLayer> points;
    std::vector<FigureLine> linesOverPoints;  // painted after the point layers (leader lines of labels)
    std::vector<FigureText> texts;
};

// The colour of the points -highlight names: a bluish green, told apart from the blues, grey, red and vermillion of
// the other points, in either style.
constexpr Colour kHighlightColour{0, 158, 115};

// Adds the dots of the highlighted points as a layer over every other, each pixel once, half as large again as the
// largest points and of their shape. No layer for no dots.
inline void addHighlightLayer(Figure& figure, std::vector<PixelDot> dots) {
    if (dots.empty()) return;
    std::sort(dots.begin(), dots.end(), [](const PixelDot& a, const PixelDot& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    dots.erase(std::unique(dots.begin(), dots.end(), [](const PixelDot& a, const PixelDot& b) { return a.x == b.x && a.y == b.y; }),
               dots.end());
    double side = 2;
    bool disc = false;
    for (const PointLayer& layer : figure.points) {
        side = std::max(side, layer.side);
        disc = layer.disc;
    }
    figure.points.push_back(PointLayer{kHighlightColour, std::max(side * 1.5, side + 2), std::move(dots), disc});
}

}  // namespace vennrick
