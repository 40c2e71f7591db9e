// A set of canvas pixels, one bit each: a point layer's dots gathered once each however many points fall on a
// pixel, from any number of rows, in parts that can be gathered at the same time and merged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "figure.h"
#include "parallel.h"

namespace vennrick {

struct DotGrid {
    DotGrid(int width, int height)
        : width(width > 0 ? width : 0),
          height(height > 0 ? height : 0),
          wordsPerRow((this->width + 63) / 64),
          bits(static_cast<size_t>(wordsPerRow) * static_cast<size_t>(this->height), 0) {}

    // Adds pixel (x, y); a pixel outside the canvas is left out.
    void add(int x, int y) {
        if (static_cast<unsigned>(x) >= static_cast<unsigned>(width) || static_cast<unsigned>(y) >= static_cast<unsigned>(height))
            return;
        bits[static_cast<size_t>(y) * static_cast<size_t>(wordsPerRow) + static_cast<size_t>(x >> 6)] |= uint64_t{1} << (x & 63);
    }

    // Adds every pixel of other, a grid of the same size.
    void merge(const DotGrid& other) {
        for (size_t k = 0; k < bits.size() && k < other.bits.size(); ++k) bits[k] |= other.bits[k];
    }

    // The pixels, row by row from the top, each from left to right.
    std::vector<PixelDot> dots() const {
        std::vector<PixelDot> out;
        for (int y = 0; y < height; ++y) {
            const uint64_t* row = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(wordsPerRow);
            for (int w = 0; w < wordsPerRow; ++w)
                for (uint64_t word = row[w]; word != 0; word &= word - 1)
                    out.push_back(PixelDot{w * 64 + __builtin_ctzll(word), y});
        }
        return out;
    }

    int width, height;  // canvas, pixels
    int wordsPerRow;    // 64-bit words per pixel row
    std::vector<uint64_t> bits;
};

// The dots of `layers` point layers from rows 0 .. rows - 1: add(begin, end, grids) adds the dots of rows
// [begin, end) to grids[0 .. layers - 1]. With many rows, up to `threads` consecutive parts of them are gathered
// at the same time, each into grids of its own, merged afterwards: the dots are the same for every thread count.
template <class Add>
std::vector<std::vector<PixelDot>> gatherDots(int width, int height, size_t layers, int64_t rows, unsigned threads,
                                              Add&& add) {
    constexpr int64_t kRowsPerThreadMinimum = 1 << 16;  // rows from which another thread pays for itself
    constexpr size_t kGridBytesMost = size_t{64} << 20;  // all parts' grids together
    const size_t gridBytes = static_cast<size_t>((std::max(width, 0) + 63) / 64) * 8 * static_cast<size_t>(std::max(height, 1));
    const unsigned mostParts =
        static_cast<unsigned>(std::clamp<size_t>(kGridBytesMost / std::max<size_t>(layers * gridBytes, 1), 1, 8));
    const unsigned parts = partsFor(rows, threads, kRowsPerThreadMinimum, mostParts);
    std::vector<std::vector<DotGrid>> grids(parts, std::vector<DotGrid>(layers, DotGrid(width, height)));
    runInParallel(parts, [&](unsigned k) { add(partBegin(rows, k, parts), partBegin(rows, k + 1, parts), grids[k]); });
    std::vector<std::vector<PixelDot>> dots(layers);
    for (size_t layer = 0; layer < layers; ++layer) {
        for (unsigned k = 1; k < parts; ++k) grids[0][layer].merge(grids[k][layer]);
        dots[layer] = grids[0][layer].dots();
    }
    return dots;
}

}  // namespace vennrick
