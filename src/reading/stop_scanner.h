// The line-by-line stop scanner of the row parser: the delimiters and line ends of a piece as bit masks, 64
// bytes at a time, and the lines cut into fields by them. For the lines the stop lists leave: those longer than
// a window, and rows split beyond 1024 columns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reading/stop_lists.h"

namespace vennrick {

// Finds the delimiters and line ends of a piece 64 bytes at a time, as bit masks, so that a row is cut into its
// fields without a call or a loop per field. Rows are short (30 bytes in a typical table) and split up to
// their last column in use, where memchr per field and per line would cost a call per few bytes.
// Reads whole 64-byte blocks: up to kScanSlack bytes after the end must be readable (their content is ignored).
class StopScanner {
public:
    StopScanner(const char* begin, const char* end, char delimiter)
        : block_(begin), end_(end), delimiter_(delimiter) {
        loadBlock();
    }

    // Cuts the line at the scanner's position into fields and moves past it: ends[c] becomes the address of the
    // end of field c for c = 1 .. the fields of the line, at most columns; returns their count and sets lineEnd
    // (the end of the data for a last line without a line end). The stops of a block are taken in one pass,
    // with one test per block for the line end. Grow: makeRoom(ends, c) is called before ends[c + 1] is set
    // and returns the list, which it may have moved.
    template <bool Grow, class MakeRoom>
    int32_t cutLine(uintptr_t* ends, int32_t columns, const char*& lineEnd, MakeRoom&& makeRoom) {
        uintptr_t* out = ends + 1;  // where the next field's end goes
        uintptr_t* last = ends + columns;
        for (;;) {
            const uint64_t lineEnds = pending_ & lineEnds_;
            const uint64_t lineBit = lineEnds & (~lineEnds + 1);  // the line's end, when in this block
            uint64_t stops = lineBit != 0 ? pending_ & (lineBit | (lineBit - 1)) : pending_;
            pending_ ^= stops;
            const auto base = reinterpret_cast<uintptr_t>(block_);
            for (; stops != 0; stops &= stops - 1) {
                if (out > last) break;
                if (Grow) {
                    const ptrdiff_t at = out - ends;
                    ends = makeRoom(ends, static_cast<int32_t>(at - 1));
                    out = ends + at;
                    last = ends + columns;
                }
                *out++ = base + static_cast<uint64_t>(__builtin_ctzll(stops));
            }
            const auto count = static_cast<int32_t>(out - ends - 1);
            if (lineBit != 0) {
                lineEnd = block_ + __builtin_ctzll(lineBit);
                return count;
            }
            if (count == columns) {
                lineEnd = nextLineEnd();
                return count;
            }
            if (!nextBlock()) {  // the last field of the data ends with it
                if (Grow) ends = makeRoom(ends, count);
                ends[count + 1] = reinterpret_cast<uintptr_t>(end_);
                lineEnd = end_;
                return count + 1;
            }
        }
    }

    // The next line end, passing over the delimiters before it; the end of the data when there is none.
    const char* nextLineEnd() {
        while ((pending_ & lineEnds_) == 0) {
            if (!nextBlock()) return end_;
        }
        const uint64_t lineEnds = pending_ & lineEnds_;
        const uint64_t lowest = lineEnds & (~lineEnds + 1);
        pending_ &= ~(lowest << 1) + 1;  // keeps the bits above the line end
        return block_ + __builtin_ctzll(lowest);
    }

private:
    bool nextBlock() {
        if (end_ - block_ <= 64) return false;
        block_ += 64;
        loadBlock();
        return true;
    }

    void loadBlock() {
        const BlockBits bits = blockBits(block_, delimiter_);
        const ptrdiff_t left = end_ - block_;
        const uint64_t valid = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
        lineEnds_ = bits.lineEnds & valid;
        pending_ = (bits.delimiters | bits.lineEnds) & valid;
    }

    const char* block_;  // start of the 64-byte block the masks describe; bit i stands for block_[i]
    const char* end_;
    char delimiter_;
    uint64_t lineEnds_ = 0;  // the line ends of the block
    uint64_t pending_ = 0;   // the delimiters and line ends of the block not yet passed
};

}  // namespace vennrick
