// Geometry in whole pixels of a raster canvas: lines with a square cap, text boxes and pixels, in opaque colours.
// The documented picture is drawn in it, and labels are placed in it on any figure.
//
// Pixel coordinates are computed in double precision and truncated toward zero; a finite coordinate far outside
// the canvas is clamped to +-kFarPixel first, which keeps it off the canvas and never overflows an int.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/colour.h"

namespace vennrick {

constexpr double kFarPixel = 1 << 20;     // finite coordinates are clamped to +-kFarPixel

constexpr Colour kBlack{0, 0, 0};  // zero line, baseline, title, label texts

// A straight line drawn with a solid pen (square cap), end points included.
struct Line {
    int x1, y1, x2, y2;
    Colour colour;
    int width = 2;  // pen width in pixels
};

enum class TextFont { initial, title, axis };  // initial: the painter's initial font, the application font
enum class TextAlign { centre, leftMiddle };   // in the box; text that does not fit is clipped to the box

struct TextBox {
    int left, top, width, height;  // pixels
    TextAlign align;
    TextFont font;
    Colour colour;
    std::string text;  // UTF-8
};

struct Pixel {
    int x, y;
};

// Truncation toward zero of a finite pixel coordinate, clamped to +-kFarPixel first.
inline int truncatePixel(double p) { return static_cast<int>(std::clamp(p, -kFarPixel, kFarPixel)); }

}  // namespace vennrick
