// Label placement, for every figure: names placed next to their points, as text boxes and leader lines in canvas
// pixels. No label overlaps another, covers a labelled lead point or leaves the canvas.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reading/hit_rows.h"
#include "analysis/lead_loci.h"
#include "figure/pixels.h"
#include "settings/figure_options.h"

namespace vennrick {

constexpr Colour kLeaderColour{80, 80, 80};  // leader lines, drawn 1 pixel wide; label texts are black

// The sizes of the label font (the axis font), measured once by the renderer.
struct LabelFont {
    std::array<double, 128> advance{};  // pixels the pen moves for each ASCII character
    double otherAdvance = 0;            // pixels for any character beyond ASCII: the font's widest
    int height = 0;                     // pixels of one line of text
};

// A rectangle of canvas pixels, [left, right) x [top, bottom).
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A drawn hit point: its centre pixel and the lead locus it belongs to.
struct SceneHit {
    int x, y;
    uint32_t locus;
};

// A column of hits of a chromosome (a peak): the pixels the dots of one locus cover, from the highest down to the
// plot's bottom.
struct HitColumn {
    PixelRect rect;
    uint32_t chromosome;
};

// Who a label names: its lead locus (as SceneHit::locus counts them) and the chromosome (as HitColumn counts them).
struct LabelOwner {
    uint32_t locus = 0, chromosome = 0;
};

// What a figure shows that a label must not be read as naming: the plot area, the drawn hit points by locus and
// every chromosome's column of hits. With a scene, a label and its leader line lie inside the area (off the
// axes, tick labels, chromosome names and title), touch no point of another locus and no other chromosome's
// column; the drawn hit point nearest a label without a leader (or nearest the point end of its leader) is of
// its own locus; and no two leader lines cross or touch.
struct LabelScene {
    PixelRect area;
    std::vector<SceneHit> hits;
    int hitReach = 1;  // pixels a hit's dot reaches from its centre pixel
    std::vector<HitColumn> columns;
    std::function<LabelOwner(size_t)> ownerAt;  // of label k
};

struct LabelPlan {
    std::vector<TextBox> boxes;  // the labels placed, in the axis font
    std::vector<size_t> named;   // for each box, the index k of the label it holds
    std::vector<Line> leaders;   // one for each label placed away from its point
    int64_t leftOut = 0;         // labels asked for that found no place
};

// Places count labels in turn, strongest first, on the canvas of the drawn mask: the k-th names the point pointAt(k) (nullopt when that point is
// not drawn: it is left out) with the text textAt(k), asked for only when the point may still take a label. A
// label goes next to its point (above it, beside it or below it) or, where that place is taken, further away
// with a leader line; among the places that break no rule it takes the one nearest its point that covers the
// fewest drawn pixels. Rules: the box lies on the canvas, keeps 2 pixels from every box and covers no lead point
// of a label and no leader line; the leader crosses no box. A label whose point a box already covers, or that
// finds no place, is left out. Every distance is in pixels of the documented picture, times unit (dpi / 96 for a
// figure of another resolution), leader lines too.
// With a scene, the scene's rules hold as well, and a label may also stack straight above its peak, further up,
// with a leader line down to its point.
LabelPlan placeLabels(size_t count, const std::function<std::optional<Pixel>(size_t)>& pointAt,
                      const std::function<std::string(size_t)>& textAt, const LabelFont& font, const PixelMask& drawn,
                      double unit = 1, const LabelScene* scene = nullptr);

// The distance from the centre of pixel (x, y) to the rectangle, in pixels (0 inside it).
double distanceToRect(const PixelRect& r, double x, double y);

// A name as a label shows it: valid UTF-8 (other bytes and control characters become '?'), at most
// kLabelCharacters characters, longer names cut and marked "...".
constexpr size_t kLabelCharacters = 32;
std::string labelText(std::string_view name);

// The width of a text in the font, in pixels: an upper bound of what the painter draws.
double textWidth(std::string_view text, const LabelFont& font);

// The line for standard error when fewer labels were placed than -labels asked for; empty when none is due.
std::string labelReport(int32_t labels, size_t loci, size_t placed);

}  // namespace vennrick
