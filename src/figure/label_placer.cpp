// Label placement: the places tried around a lead point, the rules a place must keep, and the masks of pixels
// they are checked against.
#include "figure/label_placer.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace vennrick {
namespace {

constexpr int kBoxGap = 2;          // pixels kept free between two label boxes
constexpr double kCoverCost = 1.0;  // cost of a drawn pixel under a label, against a pixel of distance
constexpr int kPointReach = 2;      // a lead point's 3 x 3 footprint and 1 pixel around it

bool inCanvas(const PixelMask& mask, int x, int y) { return x >= 0 && y >= 0 && x < mask.width && y < mask.height; }

// Pixels of the documented picture, times the unit of a figure of another resolution, rounded; a length that is
// not 0 stays at least 1 pixel long.
int scaled(int pixels, double unit) {
    const int length = std::max(1, static_cast<int>(std::lround(std::abs(pixels) * unit)));
    return pixels == 0 ? 0 : pixels < 0 ? -length : length;
}

// A place for a label, relative to its point: the anchor, and the side of the anchor the box lies on.
struct Spot {
    int dx, dy;   // anchor offset from the point, in pixels
    int side;     // -1: box left of the anchor, 0: centred on it, 1: right of it
    int level;    // -1: box above the anchor, 0: centred on it, 1: below it
    double cost;  // preference, lower first: distance from the point, weighted by direction
    bool moved;   // away from the point: drawn with a leader line from the point to the anchor
};

// Next to the point first (above, then beside, then below), then on rings further out in 16 directions, up
// before level before down. A box never depends on the text's width but through its side of the anchor, so a
// wider box at a spot covers a narrower one there: what stops a label stops every wider one at its point.
const std::vector<Spot>& spots() {
    static const std::vector<Spot> table = [] {
        std::vector<Spot> s = {{0, -3, 0, -1, 0, false}, {2, -3, 1, -1, 1, false}, {-2, -3, -1, -1, 1, false},
                               {4, 0, 1, 0, 2, false},   {-3, 0, -1, 0, 2, false}, {0, 4, 0, 1, 3, false},
                               {2, 4, 1, 1, 4, false},   {-2, 4, -1, 1, 4, false}};
        for (int r : {14, 22, 32, 46, 64, 90, 125}) {
            for (int a = 0; a < 16; ++a) {
                const double angle = a * 3.14159265358979323846 / 8;
                const int dx = static_cast<int>(std::lround(r * std::cos(angle)));
                const int dy = static_cast<int>(-std::lround(r * std::sin(angle)));
                const double weight = dy < 0 ? 1.0 : dy == 0 ? 1.3 : 1.6;
                auto away = [](int d) { return d > 3 ? 1 : d < -3 ? -1 : 0; };  // the box lies away from the point
                s.push_back({dx, dy, away(dx), away(dy), 8 + r * weight, true});
            }
        }
        std::stable_sort(s.begin(), s.end(), [](const Spot& a, const Spot& b) { return a.cost < b.cost; });
        return s;
    }();
    return table;
}

// The places of a figure with a scene: those above, and places straight above the point and a little to either
// side, one label height apart and further up, where crowded labels stack above their peaks with leader lines.
const std::vector<Spot>& sceneSpots() {
    static const std::vector<Spot> table = [] {
        // A label that moves away from its point goes up or to a side, never down among the weaker points.
        std::vector<Spot> s;
        for (const Spot& spot : spots())
            if (!spot.moved || spot.dy <= 0) s.push_back(spot);
        for (int i = 0; i < 48; ++i) {
            const int dy = -(18 + 7 * i);
            for (int dx : {0, 8, -8, 18, -18, 32, -32, 50, -50, 75, -75}) {
                const double cost = 8 + std::hypot(dx, dy) + 0.6 * std::abs(dx);
                s.push_back({dx, dy, 0, -1, cost, true});
            }
        }
        std::stable_sort(s.begin(), s.end(), [](const Spot& a, const Spot& b) { return a.cost < b.cost; });
        return s;
    }();
    return table;
}

using Rect = PixelRect;

Rect boxAt(const Spot& spot, int x, int y, int width, int height, double unit) {
    const int ax = x + scaled(spot.dx, unit), ay = y + scaled(spot.dy, unit);
    const int left = spot.side < 0 ? ax - width : spot.side == 0 ? ax - width / 2 : ax;
    const int top = spot.level < 0 ? ay - height : spot.level == 0 ? ay - height / 2 : ay;
    return {left, top, left + width, top + height};
}

bool intersects(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Calls visit(x, y) for the pixels of the mask within r (clipped to the canvas) until it returns true; returns
// whether one did.
template <class Visit>
bool anySetPixel(const PixelMask& mask, Rect r, Visit&& visit) {
    r = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, mask.width), std::min(r.bottom, mask.height)};
    if (r.left >= r.right || r.top >= r.bottom) return false;
    const int first = r.left / 64, last = (r.right - 1) / 64;
    const uint64_t firstMask = ~uint64_t{0} << (r.left % 64), lastMask = ~uint64_t{0} >> (63 - (r.right - 1) % 64);
    for (int y = r.top; y < r.bottom; ++y) {
        const uint64_t* row = mask.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.wordsPerRow);
        for (int w = first; w <= last; ++w) {
            uint64_t word = row[w];
            if (w == first) word &= firstMask;
            if (w == last) word &= lastMask;
            while (word != 0) {
                const int bit = __builtin_ctzll(word);
                word &= word - 1;
                if (visit(w * 64 + bit, y)) return true;
            }
        }
    }
    return false;
}

// Whether any pixel of r (clipped to the canvas) is in the mask.
bool anyClipped(const PixelMask& mask, Rect r) { return anySetPixel(mask, r, [](int, int) { return true; }); }

int64_t countClipped(const PixelMask& mask, Rect r) {
    r = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, mask.width), std::min(r.bottom, mask.height)};
    return r.left < r.right && r.top < r.bottom ? countRect(mask, r.left, r.top, r.right, r.bottom) : 0;
}

// Calls visit(x, y) for the pixels of the segment from (x1, y1) to (x2, y2), end points included.
template <class Visit>
void forEachLinePixel(int x1, int y1, int x2, int y2, Visit&& visit) {
    const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1), sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    for (int err = dx + dy;;) {
        visit(x1, y1);
        if (x1 == x2 && y1 == y2) return;
        const int e2 = 2 * err;
        if (e2 >= dy) err += dy, x1 += sx;
        if (e2 <= dx) err += dx, y1 += sy;
    }
}

// A leader from just outside the point's footprint to the label's anchor.
Line leaderOf(const Spot& spot, int x, int y, double unit) {
    const double length = std::hypot(spot.dx, spot.dy);
    return Line{x + static_cast<int>(std::lround(spot.dx * 3 * unit / length)),
                y + static_cast<int>(std::lround(spot.dy * 3 * unit / length)),
                x + scaled(spot.dx, unit),
                y + scaled(spot.dy, unit),
                kLeaderColour,
                scaled(1, unit)};
}

// Whether the segment from (x1, y1) to (x2, y2) meets the closed rectangle [left, right] x [top, bottom].
bool segmentMeetsRect(double x1, double y1, double x2, double y2, double left, double top, double right,
                      double bottom) {
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy}, q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    return true;
}

// Whether a leader's pixels, `reach` pixels wide on each side, meet the pixels of r.
bool leaderMeetsRect(const Line& leader, const Rect& r, int reach) {
    return segmentMeetsRect(leader.x1, leader.y1, leader.x2, leader.y2, r.left - reach - 1, r.top - reach - 1,
                            r.right + reach, r.bottom + reach);
}

double pointToSegment(double px, double py, const Line& l) {
    const double dx = l.x2 - l.x1, dy = l.y2 - l.y1, length = dx * dx + dy * dy;
    const double t = length == 0 ? 0 : std::clamp(((px - l.x1) * dx + (py - l.y1) * dy) / length, 0.0, 1.0);
    return std::hypot(px - (l.x1 + t * dx), py - (l.y1 + t * dy));
}

// Whether two leaders, `reach` pixels wide on each side, cross or touch.
bool leadersMeet(const Line& a, const Line& b, int reach) {
    auto side = [](const Line& l, double x, double y) {
        const double c = double(l.x2 - l.x1) * (y - l.y1) - double(l.y2 - l.y1) * (x - l.x1);
        return c > 0 ? 1 : c < 0 ? -1 : 0;
    };
    if (side(a, b.x1, b.y1) * side(a, b.x2, b.y2) < 0 && side(b, a.x1, a.y1) * side(b, a.x2, a.y2) < 0) return true;
    const double d = std::min({pointToSegment(a.x1, a.y1, b), pointToSegment(a.x2, a.y2, b), pointToSegment(b.x1, b.y1, a),
                               pointToSegment(b.x2, b.y2, a)});
    return d <= 2 * reach + 1.5;
}

constexpr uint32_t kMixedLoci = UINT32_MAX;  // a pixel where hits of two loci lie

// Distance from pixel (x, y) to the pixels of r, centre to centre.
double pixelDistance(const Rect& r, int x, int y) {
    const int dx = std::max({r.left - x, 0, x - (r.right - 1)}), dy = std::max({r.top - y, 0, y - (r.bottom - 1)});
    return std::hypot(dx, dy);
}

// The scene's hits by pixel, for the rules of a figure with a scene.
struct SceneIndex {
    const LabelScene* scene = nullptr;
    PixelMask centres;                                   // hit centre pixels
    PixelMask near;                                      // pixels within the reach of a leader's touch of a hit
    std::vector<std::pair<int64_t, uint32_t>> locusAt;   // by centre pixel key (y * width + x), sorted
    int reach = 1;                                       // a hit's dot, pixels from its centre

    uint32_t locusOf(int x, int y) const {
        const int64_t key = int64_t{y} * centres.width + x;
        const auto at = std::lower_bound(locusAt.begin(), locusAt.end(), std::make_pair(key, uint32_t{0}));
        return at != locusAt.end() && at->first == key ? at->second : kMixedLoci;
    }
    // Whether a hit of another locus than `locus` lies within `grow` pixels of r, across or along.
    bool otherHitAround(const Rect& r, int grow, uint32_t locus) const {
        return anySetPixel(centres, {r.left - grow, r.top - grow, r.right + grow, r.bottom + grow},
                           [&](int x, int y) { return locusOf(x, y) != locus; });
    }
    // Whether a hit of another locus than `locus` lies within `within` pixels of r.
    bool otherHitNear(const Rect& r, double within, uint32_t locus) const {
        const int grow = static_cast<int>(std::ceil(within));
        return anySetPixel(centres, {r.left - grow, r.top - grow, r.right + grow, r.bottom + grow}, [&](int x, int y) {
            return locusOf(x, y) != locus && pixelDistance(r, x, y) <= within;
        });
    }
};

SceneIndex indexScene(const LabelScene& scene, int width, int height, double unit) {
    SceneIndex index;
    index.scene = &scene;
    index.centres = pixelMask(width, height);
    index.reach = std::max(scene.hitReach, 0);
    for (const SceneHit& h : scene.hits) {
        if (h.x < 0 || h.y < 0 || h.x >= width || h.y >= height) continue;
        index.locusAt.emplace_back(int64_t{h.y} * width + h.x, h.locus);
        markRect(index.centres, h.x, h.y, h.x + 1, h.y + 1);
    }
    std::sort(index.locusAt.begin(), index.locusAt.end());
    index.near = pixelMask(width, height);
    const int grow = index.reach + 2 * std::max(1, static_cast<int>(std::lround(unit))) + 1;
    for (const auto& [key, locus] : index.locusAt) {
        const int x = static_cast<int>(key % width), y = static_cast<int>(key / width);
        markRect(index.near, x - grow, y - grow, x + grow + 1, y + grow + 1);
    }
    size_t kept = 0;  // one entry per pixel; kMixedLoci where two loci share it
    for (size_t i = 0; i < index.locusAt.size(); ++i) {
        if (kept > 0 && index.locusAt[kept - 1].first == index.locusAt[i].first) {
            if (index.locusAt[kept - 1].second != index.locusAt[i].second) index.locusAt[kept - 1].second = kMixedLoci;
        } else {
            index.locusAt[kept++] = index.locusAt[i];
        }
    }
    index.locusAt.resize(kept);
    return index;
}

// Whether the leader passes over or next to one of the boxes.
bool crossesAnyBox(const Line& leader, const std::vector<Rect>& boxes, int reach) {
    for (const Rect& r : boxes)
        if (leaderMeetsRect(leader, r, reach + 1)) return true;
    return false;
}

// Canvas pixel masks of what labels placed so far hold.
struct Taken {
    PixelMask boxes;     // the label boxes
    PixelMask reserved;  // the lead points of the labels and their leader lines, a pixel wide on each side
    std::vector<Rect> boxList;     // the label boxes
    std::vector<Line> leaderList;  // the leader lines
    // By point pixel (y * width + x): the narrowest box that found no place there; absent when none failed.
    std::unordered_map<int64_t, uint16_t> failedWidth;
};

// The lengths of the rules, in pixels of the figure.
struct Lengths {
    int boxGap, pointReach, lineReach;
};

// The best place for a box of width x height for the point (x, y); nullopt when every place breaks a rule.
bool inside(const Rect& outer, const Rect& r) {
    return r.left >= outer.left && r.top >= outer.top && r.right <= outer.right && r.bottom <= outer.bottom;
}

// Whether a box breaks a rule of the scene: the area, the columns of other chromosomes, the points of other loci,
// and (for a label without a leader) the nearest hit.
bool boxBreaksSceneRule(const SceneIndex& index, LabelOwner owner, int x, int y, const Spot& spot, const Rect& box,
                        const Lengths& l) {
    const LabelScene& scene = *index.scene;
    if (!inside(scene.area, box)) return true;
    for (const HitColumn& c : scene.columns)
        if (c.chromosome != owner.chromosome && intersects(box, c.rect)) return true;
    const double touch = index.reach + l.boxGap;
    // Without a leader the nearest hit to the box is one of its own locus.
    const double own = spot.moved ? touch : std::max(pixelDistance(box, x, y), touch);
    return index.otherHitNear(box, own, owner.locus);
}

// Whether a leader breaks a rule of the scene: its end in the area, the hit nearest its point end, the leaders
// placed before, the columns of other chromosomes and the points of other loci along it.
bool leaderBreaksSceneRule(const SceneIndex& index, LabelOwner owner, int x, int y, const Line& leader,
                           const Taken& taken, const Lengths& l) {
    const LabelScene& scene = *index.scene;
    if (!inside(scene.area, {leader.x2, leader.y2, leader.x2 + 1, leader.y2 + 1})) return true;
    const double own = std::hypot(leader.x1 - x, leader.y1 - y);
    if (index.otherHitNear({leader.x1, leader.y1, leader.x1 + 1, leader.y1 + 1}, own, owner.locus)) return true;
    const Rect span = {std::min(leader.x1, leader.x2) - l.lineReach, std::min(leader.y1, leader.y2) - l.lineReach,
                       std::max(leader.x1, leader.x2) + l.lineReach + 1, std::max(leader.y1, leader.y2) + l.lineReach + 1};
    std::vector<const HitColumn*> columns;  // the other chromosomes' columns the leader's span meets
    for (const HitColumn& c : scene.columns)
        if (c.chromosome != owner.chromosome && intersects(span, c.rect)) columns.push_back(&c);
    const int lineTouch = index.reach + l.lineReach + 1;
    const bool nearHits =
        anyClipped(index.near, {span.left - lineTouch, span.top - lineTouch, span.right + lineTouch, span.bottom + lineTouch});
    for (const HitColumn* c : columns)
        if (leaderMeetsRect(leader, c->rect, l.lineReach)) return true;
    for (const Line& other : taken.leaderList)
        if (leadersMeet(leader, other, l.lineReach)) return true;
    if (!nearHits) return false;
    bool broken = false;
    forEachLinePixel(leader.x1, leader.y1, leader.x2, leader.y2, [&](int px, int py) {
        if (broken) return;
        broken = (anyClipped(index.near, {px, py, px + 1, py + 1}) &&
                            index.otherHitAround({px, py, px + 1, py + 1}, lineTouch, owner.locus));
    });
    return broken;
}

std::optional<std::pair<Spot, Rect>> bestPlace(int x, int y, int width, int height, const Taken& taken,
                                               const PixelMask& drawn, double unit, const Lengths& l,
                                               const SceneIndex* index, LabelOwner owner) {
    const Rect point = {x - l.pointReach, y - l.pointReach, x + l.pointReach + 1, y + l.pointReach + 1};
    std::optional<std::pair<Spot, Rect>> best;
    double bestCost = HUGE_VAL;
    for (const Spot& spot : index != nullptr ? sceneSpots() : spots()) {
        if (spot.cost >= bestCost) break;  // covering drawn pixels only adds to a place's cost
        const Rect box = boxAt(spot, x, y, width, height, unit);
        if (box.left < 0 || box.top < 0 || box.right > drawn.width || box.bottom > drawn.height) continue;
        if (intersects(box, point)) continue;
        if (index != nullptr && boxBreaksSceneRule(*index, owner, x, y, spot, box, l)) continue;
        if (anyClipped(taken.boxes, {box.left - l.boxGap, box.top - l.boxGap, box.right + l.boxGap, box.bottom + l.boxGap}))
            continue;
        if (anyClipped(taken.reserved, box)) continue;
        if (spot.moved && crossesAnyBox(leaderOf(spot, x, y, unit), taken.boxList, l.lineReach)) continue;
        if (index != nullptr && spot.moved && leaderBreaksSceneRule(*index, owner, x, y, leaderOf(spot, x, y, unit), taken, l))
            continue;
        const double cost =
            spot.cost + kCoverCost * static_cast<double>(countRect(drawn, box.left, box.top, box.right, box.bottom));
        if (cost < bestCost) {
            bestCost = cost;
            best = std::make_pair(spot, box);
        }
    }
    return best;
}

}  // namespace

LabelPlan placeLabels(size_t count, const std::function<std::optional<Pixel>(size_t)>& pointAt,
                      const std::function<std::string(size_t)>& textAt, const LabelFont& font, const PixelMask& drawn,
                      double unit, const LabelScene* scene) {
    LabelPlan plan;
    Taken taken{pixelMask(drawn.width, drawn.height), pixelMask(drawn.width, drawn.height), {}, {}, {}};
    const std::optional<SceneIndex> index =
        scene != nullptr ? std::optional<SceneIndex>(indexScene(*scene, drawn.width, drawn.height, unit)) : std::nullopt;
    const Lengths l{scaled(kBoxGap, unit), scaled(kPointReach, unit), scaled(1, unit)};
    const int height = std::max(font.height, 1);
    for (size_t k = 0; k < count; ++k) {
        const std::optional<Pixel> point = pointAt(k);
        if (!point || !inCanvas(drawn, point->x, point->y)) {
            ++plan.leftOut;
            continue;
        }
        const int x = point->x, y = point->y;
        uint16_t& failed = taken.failedWidth[int64_t{y} * drawn.width + x];
        if (failed == 0 && countClipped(taken.boxes, {x - l.lineReach, y - l.lineReach, x + l.lineReach + 1,
                                                      y + l.lineReach + 1}) > 0)
            failed = 1;  // covered
        if (failed == 1) {
            ++plan.leftOut;
            continue;
        }
        std::string text = textAt(k);
        const int width = static_cast<int>(std::min(std::ceil(textWidth(text, font)) + 2, 65535.0));
        std::optional<std::pair<Spot, Rect>> place;
        const LabelOwner owner = scene != nullptr && scene->ownerAt ? scene->ownerAt(k) : LabelOwner{};
        // With a scene the rules depend on the locus, so a failed width says nothing about another label there.
        if (scene != nullptr || failed == 0 || width < failed)
            place = bestPlace(x, y, width, height, taken, drawn, unit, l, index ? &*index : nullptr, owner);
        if (!place) {
            if (failed == 0 || width < failed) failed = static_cast<uint16_t>(width);
            ++plan.leftOut;
            continue;
        }
        const auto& [spot, box] = *place;
        markRect(taken.boxes, box.left, box.top, box.right, box.bottom);
        taken.boxList.push_back(box);
        markRect(taken.reserved, x - l.pointReach, y - l.pointReach, x + l.pointReach + 1, y + l.pointReach + 1);
        if (spot.moved) {
            const Line leader = leaderOf(spot, x, y, unit);
            forEachLinePixel(leader.x1, leader.y1, leader.x2, leader.y2, [&](int px, int py) {
                markRect(taken.reserved, px - l.lineReach, py - l.lineReach, px + l.lineReach + 1, py + l.lineReach + 1);
            });
            plan.leaders.push_back(leader);
            taken.leaderList.push_back(leader);
        }
        plan.boxes.push_back(
            TextBox{box.left, box.top, width, height, TextAlign::centre, TextFont::axis, kBlack, std::move(text)});
        plan.named.push_back(k);
    }
    return plan;
}

double distanceToRect(const PixelRect& r, double x, double y) { return pixelDistance(r, static_cast<int>(x), static_cast<int>(y)); }

std::string labelText(std::string_view name) {
    std::string text;
    size_t characters = 0, cutAt = 0;  // cutAt: bytes of the first kLabelCharacters - 3 characters
    for (size_t i = 0; i < name.size() && characters <= kLabelCharacters; ++characters) {
        if (characters == kLabelCharacters - 3) cutAt = text.size();
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const size_t length = c < 0x80                 ? 1
                              : c >= 0xC2 && c <= 0xDF ? 2
                              : c >= 0xE0 && c <= 0xEF ? 3
                              : c >= 0xF0 && c <= 0xF4 ? 4
                                                       : 0;
        bool valid = length > 0 && i + length <= name.size();
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // No overlong forms, surrogates or code points beyond Unicode, no control characters.
        valid = valid && !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) && c >= 0x20 && c != 0x7F;
        if (valid) {
            text.append(name.substr(i, length));
            i += length;
        } else {
            text += '?';
            i += 1;
        }
    }
    if (characters > kLabelCharacters) text.resize(cutAt), text += "...";
    return text;
}

double textWidth(std::string_view text, const LabelFont& font) {
    double width = 0;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            width += font.advance[c];
        } else if (c >= 0xC0) {  // the first byte of a character beyond ASCII
            width += std::max(font.otherAdvance, static_cast<double>(font.height));
        }
    }
    return width;
}

std::string labelReport(int32_t labels, size_t loci, size_t placed) {
    const std::string asked = "-labels " + std::to_string(labels) + ": ";
    const std::string lociText = std::to_string(loci) + (loci == 1 ? " lead locus" : " lead loci");
    if (loci == 0) return asked + "no lead loci to name: no kept row reaches the threshold";
    const size_t wanted = std::min(static_cast<size_t>(std::max(labels, 0)), loci);
    if (placed < wanted)
        return asked + std::to_string(placed) + " named, " + std::to_string(wanted - placed) +
               " left out for want of room without overlap" +
               (static_cast<size_t>(labels) > loci ? " (the table has " + lociText + ")" : "");
    if (static_cast<size_t>(labels) > loci) return asked + "all " + lociText + " named";
    return "";
}

}  // namespace vennrick
