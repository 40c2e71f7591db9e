// Geometry in whole pixels of a raster canvas: lines with a square cap, text boxes and pixels, in opaque colours.
// The documented picture is drawn in it, and labels are placed in it on any figure.
//
// Pixel coordinates are computed in double precision and truncated toward zero; a finite coordinate far outside
// the canvas is clamped to +-kFarPixel first, which keeps it off the canvas and never overflows an int.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// A set of canvas pixels, one bit each, row by row from the top. Point layers are kept in one mask of stacked
// canvases (gatherDots): layer L holds the rows from L x the canvas height on.
struct PixelMask {
    int width = 0, height = 0;  // pixels
    int wordsPerRow = 0;        // 64-bit words per pixel row
    std::vector<uint64_t> bits;
};

// An empty mask of a canvas of width x height pixels.
PixelMask pixelMask(int width, int height);

// Adds the pixels [left, right) x [top, bottom), clipped to the canvas.
void markRect(PixelMask& mask, int left, int top, int right, int bottom);

// The pixels of [left, right) x [top, bottom) in the mask (the rectangle lies on the canvas).
int64_t countRect(const PixelMask& mask, int left, int top, int right, int bottom);

// Truncation toward zero of a finite pixel coordinate, clamped to +-kFarPixel first.
inline int truncatePixel(double p) { return static_cast<int>(std::clamp(p, -kFarPixel, kFarPixel)); }

}  // namespace vennrick
