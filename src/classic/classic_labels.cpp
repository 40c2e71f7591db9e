// Peak labels on the documented picture: what its axes, texts and points cover, and the labels of the strongest
// lead loci placed around it.
#include "classic/classic_labels.h"

#include <algorithm>
#include <cmath>

#include "base/parallel.h"

namespace vennrick {
namespace {

// The points of rows [begin, end) by pixel, one byte per pixel from (-1, -1) to (800, 533), the pixels whose
// footprint can reach the canvas: bit 1 for a point in a run colour, bit 2 for a highlight. One store per point;
// the footprints are laid once per pixel afterwards.
void markPointPixels(const PlotLayout& layout, const PlotData& data, int64_t begin, int64_t end,
                     std::vector<uint8_t>& at) {
    constexpr int kStride = kCanvasWidth + 2;
    forEachPointInRows(layout, data, begin, end, [&](int x, int y, PointStyle style) {
        if (x >= -1 && y >= -1 && x <= kCanvasWidth && y <= kCanvasHeight)
            at[static_cast<size_t>(y + 1) * kStride + static_cast<size_t>(x + 1)] |=
                style == PointStyle::highlight ? 2 : 1;
    });
}

// Adds the footprints of the points: a run colour's x-1..x, y-1..y, a highlight's x-1..x+1, y-1..y+1.
void markPoints(PixelMask& mask, const PlotLayout& layout, const PlotData& data) {
    constexpr int kStride = kCanvasWidth + 2;
    const size_t size = static_cast<size_t>(kStride) * (kCanvasHeight + 2);
    std::vector<uint8_t> at(size, 0), later;
    const int64_t middle = layout.N / 2 >= kRowsPerThreadMinimum ? layout.N / 2 : layout.N;
    if (middle < layout.N) later.assign(size, 0);
    runInParallel(middle < layout.N ? 2 : 1, [&](unsigned part) {
        if (part == 0)
            markPointPixels(layout, data, 0, middle, at);
        else
            markPointPixels(layout, data, middle, layout.N, later);
    });
    for (size_t i = 0; i < later.size(); ++i) at[i] |= later[i];
    for (size_t i = 0; i < size; ++i) {
        if (at[i] == 0) continue;
        const int x = static_cast<int>(i % kStride) - 1, y = static_cast<int>(i / kStride) - 1;
        const int reach = (at[i] & 2) != 0 ? 1 : 0;
        markRect(mask, x - 1, y - 1, x + reach + 1, y + reach + 1);
    }
}

void markBox(PixelMask& mask, const TextBox& box) {
    markRect(mask, box.left, box.top, box.left + box.width, box.top + box.height);
}

}  // namespace

PixelMask drawnPixels(const PlotLayout& layout, const PlotData& data) {
    PixelMask drawn = pixelMask(kDefaultImageWidth, kDefaultImageHeight);
    for (const Line& l : layout.axisLines)
        markRect(drawn, std::min(l.x1, l.x2) - 1, std::min(l.y1, l.y2) - 1, std::max(l.x1, l.x2) + 2,
                 std::max(l.y1, l.y2) + 2);
    for (const Tick& tick : layout.ticks) {
        if (tick.mark) markRect(drawn, tick.mark->x2 - 1, tick.mark->y1 - 1, tick.mark->x1 + 2, tick.mark->y1 + 2);
        if (tick.label) markBox(drawn, *tick.label);
    }
    markBox(drawn, layout.title);
    forEachRunLabel(layout, data, [&](const TextBox& label) { markBox(drawn, label); });
    markPoints(drawn, layout, data);
    return drawn;
}

PixelRect classicLabelArea(const PlotLayout& layout) {
    const ClassicFrame& f = layout.frame;
    const int gap = std::max(1, static_cast<int>(std::lround(2 * f.unit)));
    int bottom = truncatePixel(f.baseline);
    for (const Line& l : layout.axisLines)
        if (l.y1 == l.y2) bottom = std::min(bottom, l.y1);
    const int top = layout.title.top + layout.title.height + gap;
    return PixelRect{truncatePixel(f.left) + gap, top, truncatePixel(f.left + f.plotWidth) + 1,
                     std::max(bottom - gap, top + 1)};
}

int classicHitReach(const PlotLayout& layout) {
    return static_cast<int>(std::ceil(pointWidth(PointStyle::highlight) * layout.frame.unit / 2));
}

LabelPlan labelPeaks(const LeadLoci& leads, const HitRows& hits, const PlotLayout& layout, const PlotData& data,
                     int32_t labels, const LabelFont& font) {
    const size_t count = std::min(static_cast<size_t>(std::max(labels, 0)), leads.loci.size());
    if (count == 0) return LabelPlan{};
    const auto pointAt = [&](int64_t row) { return pointOfRow(layout, data, row); };
    const LabelScene scene = labelScene(leads, hits, pointAt, classicLabelArea(layout), classicHitReach(layout));
    return placeLabels(
        count, [&](size_t k) { return pointAt(hits.records[leads.loci[k].lead].row); },
        [&](size_t k) { return labelText(leadName(leads, hits, leads.loci[k])); }, font, drawnPixels(layout, data), 1,
        &scene);
}

}  // namespace vennrick
