// Reading a panel's calls into bit planes, from a VCF line's text or from htslib's genotypes, and r2 from the planes.
#include "region/panel_calls.h"

#include <htslib/vcf.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VENNRICK_X86 1
#endif

#include <cmath>
#include <cstring>

namespace vennrick {
namespace {

void pack(const int8_t* d, size_t samples, size_t words, uint64_t* planes) {
    PlaneWriter w(planes, words);
    for (size_t s = 0; s < samples; ++s) w.put(d[s]);
    w.finish();
}

// A call read from text at q (its end before columnEnd): numbers and '.' joined by '/' or '|', ending at the column's
// end or a ':'. -2 for a call not of that form.
inline int textCall(const char* q, const char* columnEnd, int allele) {
    int count = 0, called = 0;
    bool missing = false;
    for (;;) {
        if (q == columnEnd) return -2;
        if (*q == '.') {
            missing = true;
            ++q;
        } else if (*q >= '0' && *q <= '9') {
            int index = 0, digits = 0;
            for (; q < columnEnd && *q >= '0' && *q <= '9'; ++q, ++digits) index = index * 10 + (*q - '0');
            if (digits > 6) return -2;
            count += allele == 0 ? index != 0 : index == allele;
        } else {
            return -2;
        }
        ++called;
        if (q == columnEnd || *q == ':') break;
        if (*q != '/' && *q != '|') return -2;
        ++q;
    }
    return dosageOf(count, called, missing);
}

#ifdef __SSE2__
// Four usual columns at p ("0|1\t" four times: diploid calls of one-digit alleles or '.', GT alone), read at once
// into four bits of each plane. False when the 16 bytes are not four such columns.
inline bool fourColumns(const char* p, int allele, PlaneWriter& out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digit0 = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit0, _mm_set1_epi8(9)), digit0);
    const __m128i isDot = _mm_cmpeq_epi8(v, _mm_set1_epi8('.'));
    const unsigned tabs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
    const unsigned seps = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('|')), _mm_cmpeq_epi8(v, _mm_set1_epi8('/')))));
    const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(isDigit));
    const unsigned dots = static_cast<unsigned>(_mm_movemask_epi8(isDot));
    if ((tabs & 0x8888) != 0x8888 || (seps & 0x2222) != 0x2222 || ((digits | dots) & 0x5555) != 0x5555) return false;
    const __m128i mine = allele == 0 ? _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('0')), isDigit)
                                     : _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(allele <= 9 ? '0' + allele : 0)));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(mine));
    const unsigned first = m & 0x1111, second = (m >> 2) & 0x1111;
    const unsigned missing = (dots | dots >> 2) & 0x1111;
    auto gather = [](unsigned x) {  // bits 0, 4, 8, 12 to bits 0 to 3
        x = (x | x >> 3) & 0x0303;
        return uint64_t{(x | x >> 6) & 0xF};
    };
    out.put(gather(~missing & 0x1111), gather((first | second) & ~missing), gather(first & second & ~missing), 4);
    return true;
}
#endif

#ifdef VENNRICK_X86
// Usual columns ("0|1\t": diploid calls of one-digit alleles or '.', GT alone) eight at a time from p on, with
// AVX2, as long as they come (and up to a whole word of each plane at a time); p and the column count c move past
// the columns read. Where the columns stop being usual, the caller reads on one at a time. Each column is a 32-bit
// lane: its calls are worked out in the lane's low byte, and one bit per lane taken from it.
[[gnu::target("avx2")]] inline uint64_t lanes(__m256i x) {  // the top bit of each lane's low byte, lane by lane
    return static_cast<uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(x, 24))));
}

[[gnu::target("avx2")]] size_t eightColumnGroups(const char*& p, const char* end, size_t c, size_t columns, int allele,
                                                 PlaneWriter& out) {
    const __m256i tab = _mm256_set1_epi8('\t'), bar = _mm256_set1_epi8('|'), slash = _mm256_set1_epi8('/');
    const __m256i dot = _mm256_set1_epi8('.'), zero = _mm256_set1_epi8('0'), nine = _mm256_set1_epi8(9);
    const __m256i mineChar = _mm256_set1_epi8(static_cast<char>(allele <= 9 ? '0' + allele : 0));
    // Which byte of a column may hold what: the alleles in bytes 0 and 2, the separator in 1, the tab in 3.
    const __m256i alleleBytes = _mm256_set1_epi32(0x00FF00FF), sepByte = _mm256_set1_epi32(0x0000FF00),
                  tabByte = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    // The most usual columns of all, "0|0\t" with alleles 0 or 1: each byte's difference (xor) from "0|0\t" is at
    // most 1 for an allele and 0 for the bar and the tab, and the allele bits are the differences' low bits.
    const __m256i phased = _mm256_set1_epi32(0x09307C30);  // "0|0\t", little-endian
    const __m256i phasedReach = _mm256_set1_epi32(0x00010001);
    const bool zeroOrOne = allele <= 1;  // counting allele 1 (or every non-reference one, the same here)
    for (;;) {
        uint64_t called = 0, one = 0, two = 0;
        unsigned k = 0;
        for (; k < 8 && c + 8 <= columns && end - p >= 32; ++k, p += 32, c += 8) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const unsigned shift = 8 * k;
            if (zeroOrOne) {
                const __m256i d = _mm256_xor_si256(v, phased);
                if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(d, phasedReach), d)) == -1) {
                    const uint64_t a = static_cast<uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(d, 31))));
                    const uint64_t b = static_cast<uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(d, 15))));
                    called |= uint64_t{0xFF} << shift;
                    one |= (a | b) << shift;
                    two |= (a & b) << shift;
                    continue;
                }
            }
            const __m256i digit0 = _mm256_sub_epi8(v, zero);
            const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit0, nine), digit0);
            const __m256i isDot = _mm256_cmpeq_epi8(v, dot);
            const __m256i isSep = _mm256_or_si256(_mm256_cmpeq_epi8(v, bar), _mm256_cmpeq_epi8(v, slash));
            const __m256i fits = _mm256_or_si256(
                _mm256_and_si256(_mm256_or_si256(isDigit, isDot), alleleBytes),
                _mm256_or_si256(_mm256_and_si256(isSep, sepByte), _mm256_and_si256(_mm256_cmpeq_epi8(v, tab), tabByte)));
            if (_mm256_movemask_epi8(fits) != -1) break;
            const __m256i mine = allele == 0 ? _mm256_andnot_si256(_mm256_cmpeq_epi8(v, zero), isDigit)
                                             : _mm256_cmpeq_epi8(v, mineChar);
            const __m256i secondMine = _mm256_srli_epi32(mine, 16);  // byte 2 of each lane to byte 0
            const __m256i missing = _mm256_or_si256(isDot, _mm256_srli_epi32(isDot, 16));
            called |= (~lanes(missing) & 0xFF) << shift;
            one |= lanes(_mm256_andnot_si256(missing, _mm256_or_si256(mine, secondMine))) << shift;
            two |= lanes(_mm256_andnot_si256(missing, _mm256_and_si256(mine, secondMine))) << shift;
        }
        if (k > 0) out.put(called, one, two, 8 * k);
        if (k < 8) return c;
    }
}
#endif



struct Sums {
    int64_t n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
};

// The sums of dosageR2 over packed planes: a dosage is one + two, its square one + 3 two, and a missing call has
// neither bit, so only the counts of x and y need the mask of samples called at both.
inline __attribute__((always_inline)) Sums packedSums(const uint64_t* x, const uint64_t* y, size_t words) {
    Sums s;
    const uint64_t *xc = x, *xo = x + words, *xt = x + 2 * words;
    const uint64_t *yc = y, *yo = y + words, *yt = y + 2 * words;
    for (size_t w = 0; w < words; ++w) {
        const uint64_t both = xc[w] & yc[w];
        const int64_t a = __builtin_popcountll(xo[w] & both), b = __builtin_popcountll(xt[w] & both);
        const int64_t c = __builtin_popcountll(yo[w] & both), d = __builtin_popcountll(yt[w] & both);
        s.n += __builtin_popcountll(both);
        s.sx += a + b;
        s.sxx += a + 3 * b;
        s.sy += c + d;
        s.syy += c + 3 * d;
        s.sxy += __builtin_popcountll(xo[w] & yo[w]) + __builtin_popcountll(xo[w] & yt[w]) +
                 __builtin_popcountll(xt[w] & yo[w]) + __builtin_popcountll(xt[w] & yt[w]);
    }
    return s;
}

__attribute__((target("popcnt"))) Sums packedSumsPopcnt(const uint64_t* x, const uint64_t* y, size_t words) {
    return packedSums(x, y, words);
}

Sums packedSumsPlain(const uint64_t* x, const uint64_t* y, size_t words) { return packedSums(x, y, words); }

double r2OfSums(const Sums& s) {
    if (s.n == 0) return std::nan("");
    const double n = static_cast<double>(s.n);
    const double vx = n * s.sxx - static_cast<double>(s.sx) * s.sx;
    const double vy = n * s.syy - static_cast<double>(s.sy) * s.sy;
    if (!(vx > 0) || !(vy > 0)) return std::nan("");
    const double c = n * s.sxy - static_cast<double>(s.sx) * s.sy;
    return std::min(1.0, c * c / (vx * vy));
}

}  // namespace

bool cutSite(std::string_view line, TextSite& t) {
    const char* p = line.data();
    const char* const end = line.data() + line.size();
    std::string_view fields[9];
    for (std::string_view& f : fields) {
        const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
        if (tab == nullptr) return false;
        f = std::string_view(p, static_cast<size_t>(tab - p));
        p = tab + 1;
    }
    t.samples = p;
    t.end = end;
    if (fields[1].empty() || fields[1].size() > 10) return false;
    t.pos = 0;
    for (char c : fields[1]) {
        if (c < '0' || c > '9') return false;
        t.pos = t.pos * 10 + (c - '0');
    }
    t.alleles.clear();
    if (fields[3].empty()) return false;
    t.alleles.push_back(fields[3]);
    if (fields[4] != ".") {
        std::string_view alt = fields[4];
        for (;;) {
            const size_t comma = alt.find(',');
            const std::string_view a = alt.substr(0, comma);
            if (a.empty() || a == ".") return false;
            t.alleles.push_back(a);
            if (comma == std::string_view::npos) break;
            alt.remove_prefix(comma + 1);
        }
    }
    int key = 0, found = 0;
    std::string_view format = fields[8];
    for (;;) {
        const size_t colon = format.find(':');
        if (format.substr(0, colon) == "GT") t.gtKey = key, ++found;
        if (colon == std::string_view::npos) break;
        format.remove_prefix(colon + 1);
        ++key;
    }
    return found == 1;
}

// The dosages of every sample column from the text of a line, packed (the columns -ldsamples leaves out are taken
// out of the called plane afterwards). False for a line not of the plain form (a call that is not numbers and '.'
// joined by '/' or '|', a sample without its GT, another number of columns than the header's); htslib reads those.
bool textDosages(const TextSite& t, size_t columns, int allele, bool avx2, PlaneWriter& out) {
    const char* p = t.samples;
    const char* const end = t.end;
    const char mine = static_cast<char>(allele <= 9 ? '0' + allele : 0);  // a one-digit allele's character
    auto counts = [&](char d) { return allele == 0 ? d != '0' : d == mine; };
    for (size_t c = 0; c < columns;) {
        if (t.gtKey == 0) {
#ifdef VENNRICK_X86
            if (avx2 && c + 8 <= columns && end - p >= 32) {
                const size_t before = c;
                c = eightColumnGroups(p, end, c, columns, allele, out);
                if (c != before) continue;
            }
#endif
#ifdef __SSE2__
            if (c + 4 <= columns && end - p >= 16 && fourColumns(p, allele, out)) {
                p += 16;
                c += 4;
                continue;
            }
#endif
            // The usual column.
            if (end - p >= 4 && p[3] == '\t' && (p[1] == '|' || p[1] == '/')) {
                const char a = p[0], b = p[2];
                const bool aDigit = a >= '0' && a <= '9', bDigit = b >= '0' && b <= '9';
                if (aDigit && bDigit) out.put(counts(a) + counts(b));
                else if ((aDigit || a == '.') && (bDigit || b == '.')) out.put(-1);
                else return false;
                p += 4;
                ++c;
                continue;
            }
        }
        const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(end - p)));
        const char* columnEnd = tab != nullptr ? tab : end;
        if (tab == nullptr && c + 1 < columns) return false;  // too few columns
        const char* q = p;
        for (int k = 0; k < t.gtKey; ++k) {
            q = static_cast<const char*>(std::memchr(q, ':', static_cast<size_t>(columnEnd - q)));
            if (q == nullptr) return false;
            ++q;
        }
        const int d = textCall(q, columnEnd, allele);
        if (d < -1) return false;
        out.put(d);
        ++c;
        if (tab == nullptr) {
            out.finish();
            return true;
        }
        p = tab + 1;
    }
    return false;  // more columns than the header has samples (or a last column ending in a tab)
}

// The same dosages from a record htslib has read (its GT in gt, ngt values, for the kept samples), at their columns.
void recordDosages(const int32_t* gt, int ngt, const std::vector<uint32_t>& keptColumns, int allele, uint64_t* planes,
                   size_t words) {
    std::fill(planes, planes + 3 * words, uint64_t{0});
    const size_t samples = keptColumns.size();
    const int ploidy = ngt / static_cast<int>(samples);
    for (size_t s = 0; s < samples; ++s) {
        const int32_t* call = gt + s * static_cast<size_t>(ploidy);
        int count = 0, called = 0;
        bool missing = false;
        for (int a = 0; a < ploidy; ++a) {
            if (call[a] == bcf_int32_vector_end) break;
            if (bcf_gt_is_missing(call[a])) {
                missing = true;
                break;
            }
            const int index = bcf_gt_allele(call[a]);
            count += allele == 0 ? index != 0 : index == allele;
            ++called;
        }
        const int d = dosageOf(count, called, missing);
        const size_t w = keptColumns[s] >> 6;
        const uint64_t bit = uint64_t{1} << (keptColumns[s] & 63);
        planes[w] |= d >= 0 ? bit : 0;
        planes[words + w] |= d >= 1 ? bit : 0;
        planes[2 * words + w] |= d >= 2 ? bit : 0;
    }
}

double planesR2(const uint64_t* x, const uint64_t* y, size_t words) {
    static const bool popcnt = __builtin_cpu_supports("popcnt");
    return r2OfSums(popcnt ? packedSumsPopcnt(x, y, words) : packedSumsPlain(x, y, words));
}

double dosageR2(const int8_t* x, const int8_t* y, size_t samples) {
    Sums s;
    for (size_t i = 0; i < samples; ++i) {
        const int a = x[i], b = y[i];
        if ((a | b) < 0) continue;
        ++s.n;
        s.sx += a;
        s.sy += b;
        s.sxx += a * a;
        s.syy += b * b;
        s.sxy += a * b;
    }
    return r2OfSums(s);
}

double packedR2(const int8_t* x, const int8_t* y, size_t samples) {
    const size_t words = (samples + 63) / 64;
    std::vector<uint64_t> px(3 * words), py(3 * words);
    pack(x, samples, words, px.data());
    pack(y, samples, words, py.data());
    return r2OfSums(__builtin_cpu_supports("popcnt") ? packedSumsPopcnt(px.data(), py.data(), words)
                                                     : packedSumsPlain(px.data(), py.data(), words));
}

}  // namespace vennrick
