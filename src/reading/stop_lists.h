// The stop lists of the row parser: where the delimiters and the line ends of a window of a piece are, as
// offsets in order, found 64 bytes at a time, so that rows are cut by indexing instead of bit by bit.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vennrick {

// The bits of the 64 bytes from base on that are the delimiter, a line end and a carriage return (bit i for
// base[i]).
struct BlockBits {
    uint64_t delimiters, lineEnds, returns;  // returns: carriage returns
};

inline BlockBits blockBits(const char* base, char delimiter) {
    uint64_t delimiters = 0, lineEnds = 0, returns = 0;
#if defined(__SSE2__)
    const __m128i delim = _mm_set1_epi8(delimiter), newline = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 16 * i));
        delimiters |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, delim))))
                      << (16 * i);
        lineEnds |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))))
                    << (16 * i);
        returns |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr))))
                   << (16 * i);
    }
#else
    for (int i = 0; i < 64; ++i) {
        delimiters |= static_cast<uint64_t>(base[i] == delimiter) << i;
        lineEnds |= static_cast<uint64_t>(base[i] == '\n') << i;
        returns |= static_cast<uint64_t>(base[i] == '\r') << i;
    }
#endif
    return BlockBits{delimiters, lineEnds, returns};
}

// The stops (delimiters and line ends) and the line ends of [begin, begin + length), each as offsets from
// begin in increasing order, and whether it holds a carriage return. Writes up to 16 entries past the ones it
// finds: each list needs room for length + 16 entries. Reads whole 64-byte blocks: up to 64 bytes after the
// window must be readable (their content is ignored).
struct StopCounts {
    size_t stops = 0, lineEnds = 0;
    bool carriageReturn = false;  // the window holds a carriage return
};
StopCounts findStops(const char* begin, uint32_t length, char delimiter, uint32_t* stops, uint32_t* lineEnds);

// The ways findStops has, which give the same lists: a bit at a time; eight bits at a time (with the bit
// count and bit scan instructions); sixteen at a time (AVX-512). findStops takes the fastest the processor has.
enum class StopFinder { oneByOne, grouped, compressed };
bool canUse(StopFinder finder);
StopCounts findStopsWith(StopFinder finder, const char* begin, uint32_t length, char delimiter, uint32_t* stops,
                         uint32_t* lineEnds);

}  // namespace vennrick
