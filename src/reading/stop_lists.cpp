// The stop lists of the row parser: the stops and line ends of a window as offsets, 64 bytes at a time.
#include "reading/stop_lists.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vennrick {
namespace {

// The bits of a block inside the window, whose length from the block's start is left.
inline uint64_t inWindow(uint32_t left) { return left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1; }

// Appends base + the index of each set bit, one at a time.
inline uint32_t* appendEach(uint64_t bits, uint32_t base, uint32_t* out) {
    for (; bits != 0; bits &= bits - 1) *out++ = base + static_cast<uint32_t>(__builtin_ctzll(bits));
    return out;
}

StopCounts findStopsPlain(const char* begin, uint32_t length, char delimiter, uint32_t* stops,
                          uint32_t* lineEnds) {
    uint32_t* d = stops;
    uint32_t* n = lineEnds;
    uint64_t returns = 0;
    for (uint32_t at = 0; at < length; at += 64) {
        const uint64_t valid = inWindow(length - at);
        const BlockBits bits = blockBits(begin + at, delimiter);
        d = appendEach((bits.delimiters | bits.lineEnds) & valid, at, d);
        n = appendEach(bits.lineEnds & valid, at, n);
        returns |= bits.returns & valid;
    }
    return StopCounts{static_cast<size_t>(d - stops), static_cast<size_t>(n - lineEnds), returns != 0};
}

#if defined(__x86_64__)
// Appends base + the index of each set bit, `Group` at a time without a test per bit: the entries past the
// bits' count are written too (up to Group - 1 of them) and then overwritten or left past the end. A block
// holds a few delimiters and line ends, which one group takes with no branch to mispredict.
template <int Group>
[[gnu::target("popcnt,bmi")]] inline uint32_t* appendGroups(uint64_t bits, uint32_t base, uint32_t* out) {
    const int count = __builtin_popcountll(bits);
    uint32_t* o = out;
    do {
        for (int i = 0; i < Group; ++i) {
            o[i] = base + static_cast<uint32_t>(_tzcnt_u64(bits));
            bits = _blsr_u64(bits);
        }
        o += Group;
    } while (bits != 0);
    return out + count;
}

[[gnu::target("popcnt,bmi")]] StopCounts findStopsGrouped(const char* begin, uint32_t length, char delimiter,
                                                          uint32_t* stops, uint32_t* lineEnds) {
    uint32_t* d = stops;
    uint32_t* n = lineEnds;
    uint64_t returns = 0;
    for (uint32_t at = 0; at < length; at += 64) {
        const uint64_t valid = inWindow(length - at);
        const BlockBits bits = blockBits(begin + at, delimiter);
        d = appendGroups<8>((bits.delimiters | bits.lineEnds) & valid, at, d);
        n = appendGroups<4>(bits.lineEnds & valid, at, n);
        returns |= bits.returns & valid;
    }
    return StopCounts{static_cast<size_t>(d - stops), static_cast<size_t>(n - lineEnds), returns != 0};
}

// With AVX-512, the offsets of a block's stops are taken 16 at a time by a compressing move, the line ends
// (a few a block) as above.
[[gnu::target("avx512f,avx512bw,popcnt,bmi")]] StopCounts findStopsCompressed(const char* begin, uint32_t length,
                                                                             char delimiter, uint32_t* stops,
                                                                             uint32_t* lineEnds) {
    uint32_t* d = stops;
    uint32_t* n = lineEnds;
    uint64_t returns = 0;
    const __m512i delim = _mm512_set1_epi8(delimiter), newline = _mm512_set1_epi8('\n'), cr = _mm512_set1_epi8('\r');
    const __m512i first16 = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i next16 = _mm512_set1_epi32(16);
    for (uint32_t at = 0; at < length; at += 64) {
        const uint64_t valid = inWindow(length - at);
        const __m512i bytes = _mm512_loadu_si512(begin + at);
        const uint64_t ends = _mm512_cmpeq_epi8_mask(bytes, newline) & valid;
        uint64_t all = (_mm512_cmpeq_epi8_mask(bytes, delim) & valid) | ends;
        returns |= _mm512_cmpeq_epi8_mask(bytes, cr) & valid;
        __m512i offsets = _mm512_add_epi32(first16, _mm512_set1_epi32(static_cast<int>(at)));
        for (int quarter = 0; quarter < 4; ++quarter) {
            const auto mask = static_cast<__mmask16>(all);
            _mm512_storeu_si512(d, _mm512_maskz_compress_epi32(mask, offsets));
            d += __builtin_popcount(mask);
            all >>= 16;
            offsets = _mm512_add_epi32(offsets, next16);
        }
        n = appendGroups<4>(ends, at, n);
    }
    return StopCounts{static_cast<size_t>(d - stops), static_cast<size_t>(n - lineEnds), returns != 0};
}
#endif

}  // namespace

bool canUse(StopFinder finder) {
#if defined(__x86_64__)
    const bool grouped = __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi");
    switch (finder) {
        case StopFinder::oneByOne: return true;
        case StopFinder::grouped: return grouped;
        case StopFinder::compressed:
            return grouped && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    }
    return false;
#else
    return finder == StopFinder::oneByOne;
#endif
}

StopCounts findStopsWith(StopFinder finder, const char* begin, uint32_t length, char delimiter, uint32_t* stops,
                         uint32_t* lineEnds) {
#if defined(__x86_64__)
    if (finder == StopFinder::compressed) return findStopsCompressed(begin, length, delimiter, stops, lineEnds);
    if (finder == StopFinder::grouped) return findStopsGrouped(begin, length, delimiter, stops, lineEnds);
#endif
    return findStopsPlain(begin, length, delimiter, stops, lineEnds);
}

StopCounts findStops(const char* begin, uint32_t length, char delimiter, uint32_t* stops, uint32_t* lineEnds) {
    static const StopFinder fastest = canUse(StopFinder::compressed) ? StopFinder::compressed
                                      : canUse(StopFinder::grouped)  ? StopFinder::grouped
                                                                     : StopFinder::oneByOne;
    return findStopsWith(fastest, begin, length, delimiter, stops, lineEnds);
}

}  // namespace vennrick
