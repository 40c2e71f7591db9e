// Sets of canvas pixels, one bit each, one set per point layer: a layer's dots gathered once each however many
// points fall on a pixel, in parts of the rows that are gathered at the same time and merged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "figure/figure.h"
#include "base/parallel.h"

namespace vennrick {

// Adding pixels to the sets of a DotGrid, for the per-point loop: a small value kept in registers.
struct DotSink {
    uint64_t* bits;       // the grid's words
    int64_t wordsPerRow;  // 64-bit words per pixel row
    int64_t layerWords;   // words per layer
    unsigned width, height;

    // Adds pixel (x, y) to the layer's set; a pixel outside the canvas is left out.
    void add(int layer, int x, int y) const {
        if (static_cast<unsigned>(x) >= width || static_cast<unsigned>(y) >= height) return;
        bits[layer * layerWords + y * wordsPerRow + (x >> 6)] |= uint64_t{1} << (x & 63);
    }
};

struct DotGrid {
    DotGrid(int width, int height, int layers)
        : width(std::max(width, 0)),
          height(std::max(height, 0)),
          layers(std::max(layers, 0)),
          wordsPerRow((this->width + 63) / 64),
          bits(static_cast<size_t>(wordsPerRow) * static_cast<size_t>(this->height) * static_cast<size_t>(this->layers), 0) {}

    DotSink sink() {
        return DotSink{bits.data(), wordsPerRow, wordsPerRow * height, static_cast<unsigned>(width),
                       static_cast<unsigned>(height)};
    }

    // Adds every pixel of other, a grid of the same size.
    void merge(const DotGrid& other) {
        for (size_t k = 0; k < bits.size() && k < other.bits.size(); ++k) bits[k] |= other.bits[k];
    }

    // The layer's pixels, row by row from the top, each from left to right.
    std::vector<PixelDot> dots(int layer) const {
        std::vector<PixelDot> out;
        const uint64_t* words = bits.data() + static_cast<size_t>(layer) * static_cast<size_t>(wordsPerRow * height);
        for (int y = 0; y < height; ++y, words += wordsPerRow)
            for (int w = 0; w < wordsPerRow; ++w)
                for (uint64_t word = words[w]; word != 0; word &= word - 1)
                    out.push_back(PixelDot{w * 64 + __builtin_ctzll(word), y});
        return out;
    }

    int width, height, layers;  // canvas, pixels; sets
    int wordsPerRow;            // 64-bit words per pixel row
    std::vector<uint64_t> bits;
};

// The dots of `layers` point layers from rows 0 .. rows - 1: add(begin, end, sink) adds the dots of rows
// [begin, end) through the sink. With many rows, up to `threads` consecutive parts of them are gathered at the
// same time, each into a grid of its own, merged afterwards: the dots are the same for every thread count.
template <class Add>
std::vector<std::vector<PixelDot>> gatherDots(int width, int height, int layers, int64_t rows, unsigned threads,
                                              Add&& add) {
    constexpr size_t kGridBytesMost = size_t{64} << 20;  // all parts' grids together
    const size_t gridBytes = DotGrid(width, 1, layers).bits.size() * 8 * static_cast<size_t>(std::max(height, 1));
    const unsigned mostParts = static_cast<unsigned>(std::clamp<size_t>(kGridBytesMost / std::max<size_t>(gridBytes, 1), 1, 8));
    const unsigned parts = partsFor(rows, threads, kRowsPerThreadMinimum, mostParts);
    std::vector<DotGrid> grids(parts, DotGrid(width, height, layers));
    runInParallel(parts, [&](unsigned k) { add(partBegin(rows, k, parts), partBegin(rows, k + 1, parts), grids[k].sink()); });
    for (unsigned k = 1; k < parts; ++k) grids[0].merge(grids[k]);
    std::vector<std::vector<PixelDot>> dots;
    for (int layer = 0; layer < layers; ++layer) dots.push_back(grids[0].dots(layer));
    return dots;
}

}  // namespace vennrick
