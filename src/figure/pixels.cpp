// Sets of canvas pixels: making, marking and counting rectangles.
#include "figure/pixels.h"

namespace vennrick {

PixelMask pixelMask(int width, int height) {
    PixelMask mask;
    mask.width = std::max(width, 0), mask.height = std::max(height, 0);
    mask.wordsPerRow = (mask.width + 63) / 64;
    mask.bits.assign(static_cast<size_t>(mask.wordsPerRow) * static_cast<size_t>(mask.height), 0);
    return mask;
}

void markRect(PixelMask& mask, int left, int top, int right, int bottom) {
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min(right, mask.width), bottom = std::min(bottom, mask.height);
    if (left >= right) return;
    const int first = left / 64, last = (right - 1) / 64;
    const uint64_t firstMask = ~uint64_t{0} << (left % 64), lastMask = ~uint64_t{0} >> (63 - (right - 1) % 64);
    for (int y = top; y < bottom; ++y) {
        uint64_t* row = mask.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.wordsPerRow);
        if (first == last) {
            row[first] |= firstMask & lastMask;
            continue;
        }
        row[first] |= firstMask;
        for (int w = first + 1; w < last; ++w) row[w] = ~uint64_t{0};
        row[last] |= lastMask;
    }
}

int64_t countRect(const PixelMask& mask, int left, int top, int right, int bottom) {
    const int first = left / 64, last = (right - 1) / 64;
    const uint64_t firstMask = ~uint64_t{0} << (left % 64);
    const uint64_t lastMask = ~uint64_t{0} >> (63 - (right - 1) % 64);
    int64_t count = 0;
    for (int y = top; y < bottom; ++y) {
        const uint64_t* row = mask.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.wordsPerRow);
        for (int w = first; w <= last; ++w) {
            uint64_t word = row[w];
            if (w == first) word &= firstMask;
            if (w == last) word &= lastMask;
            count += __builtin_popcountll(word);
        }
    }
    return count;
}

}  // namespace vennrick
