// Point layers as sets of canvas pixels (one mask of stacked canvases): a layer's dots gathered once each however
// many points fall on a pixel, in parts of the rows that are gathered at the same time and merged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "figure/figure.h"
#include "figure/pixels.h"
#include "base/parallel.h"

namespace vennrick {

// Adding pixels to the point layers of a mask of stacked canvases, for the per-point loop: a small value kept in
// registers.
struct DotSink {
    uint64_t* bits;       // the mask's words
    int64_t wordsPerRow;  // 64-bit words per pixel row
    int64_t layerWords;   // words per layer
    unsigned width, height;

    // Adds pixel (x, y) to the layer's set; a pixel outside the canvas is left out.
    void add(int layer, int x, int y) const {
        if (static_cast<unsigned>(x) >= width || static_cast<unsigned>(y) >= height) return;
        bits[layer * layerWords + y * wordsPerRow + (x >> 6)] |= uint64_t{1} << (x & 63);
    }
};

// The pixels of rows [top, top + height) of the mask, row by row from the top, each from left to right, with y
// counted from top.
inline std::vector<PixelDot> maskDots(const PixelMask& mask, int top, int height) {
    std::vector<PixelDot> out;
    const uint64_t* words = mask.bits.data() + static_cast<size_t>(top) * static_cast<size_t>(mask.wordsPerRow);
    for (int y = 0; y < height; ++y, words += mask.wordsPerRow)
        for (int w = 0; w < mask.wordsPerRow; ++w)
            for (uint64_t word = words[w]; word != 0; word &= word - 1)
                out.push_back(PixelDot{w * 64 + __builtin_ctzll(word), y});
    return out;
}

// The dots of `layers` point layers from rows 0 .. rows - 1: add(begin, end, sink) adds the dots of rows
// [begin, end) through the sink. With many rows, up to `threads` consecutive parts of them are gathered at the
// same time, each into a grid of its own, merged afterwards: the dots are the same for every thread count.
template <class Add>
std::vector<std::vector<PixelDot>> gatherDots(int width, int height, int layers, int64_t rows, unsigned threads,
                                              Add&& add) {
    constexpr size_t kGridBytesMost = size_t{64} << 20;  // all parts' masks together
    width = std::max(width, 0), height = std::max(height, 0), layers = std::max(layers, 0);
    const size_t gridBytes = static_cast<size_t>((width + 63) / 64) * 8 * static_cast<size_t>(std::max(height, 1) * layers);
    const unsigned mostParts = static_cast<unsigned>(std::clamp<size_t>(kGridBytesMost / std::max<size_t>(gridBytes, 1), 1, 8));
    const unsigned parts = partsFor(rows, threads, kRowsPerThreadMinimum, mostParts);
    std::vector<PixelMask> grids(parts, pixelMask(width, height * layers));
    runInParallel(parts, [&](unsigned k) {
        PixelMask& grid = grids[k];
        add(partBegin(rows, k, parts), partBegin(rows, k + 1, parts),
            DotSink{grid.bits.data(), grid.wordsPerRow, int64_t{grid.wordsPerRow} * height, static_cast<unsigned>(width),
                    static_cast<unsigned>(height)});
    });
    for (unsigned k = 1; k < parts; ++k)
        for (size_t w = 0; w < grids[0].bits.size(); ++w) grids[0].bits[w] |= grids[k].bits[w];
    std::vector<std::vector<PixelDot>> dots;
    for (int layer = 0; layer < layers; ++layer) dots.push_back(maskDots(grids[0], layer * height, height));
    return dots;
}

}  // namespace vennrick
