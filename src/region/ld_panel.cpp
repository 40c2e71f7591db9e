// Reading a region of an indexed VCF or BCF panel and computing r2 with the lead from its genotype calls.
#include "region/ld_panel.h"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VENNRICK_X86 1
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/parallel.h"
#include "reading/bgzip_inflater.h"
#include "reading/line_buffer.h"
#include "settings/region_options.h"

namespace vennrick {
namespace {

bool sameAllele(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

// The panel opened for one region (or a part of it): file, header and index, closed on every way out.
struct Panel {
    htsFile* fp = nullptr;
    bcf_hdr_t* hdr = nullptr;
    hts_idx_t* idx = nullptr;  // BCF
    tbx_t* tbx = nullptr;      // VCF
    bcf1_t* rec = nullptr;
    kstring_t line = {0, 0, nullptr};
    int32_t* gt = nullptr;
    int ngt = 0;
    int fd = -1;                  // the VCF panel, for the inflater
    BgzipInflaterPtr inflater;    // the window's blocks inflated on threads (VCF panels, with threads)
    ~Panel() {
        inflater.reset();  // stops its threads before their descriptor is closed
        if (fd >= 0) close(fd);
        free(gt);
        free(line.s);
        if (rec) bcf_destroy(rec);
        if (tbx) tbx_destroy(tbx);
        if (idx) hts_idx_destroy(idx);
        if (hdr) bcf_hdr_destroy(hdr);
        if (fp) hts_close(fp);
    }
};

// The lines of a VCF panel's window as text, read from the first block the index gives for the window on, in file
// order (by the BGZF reader, or by an inflater that inflates the blocks ahead on threads of its own), up to the first line starting past the window or naming another chromosome: the lines the index's own
// iterator gives, without its copy and its walk over every line. A line starting before the window is the window's
// when it reaches into it, as the index reckons: by the length of its REF, or by an END in its INFO.
class WindowLines {
public:
    // reachingIn: a line starting before the window is its when it reaches into it (else never: the part of a
    // window after another).
    WindowLines(BGZF* fp, BgzipInflater* inflater, std::string chrom, int64_t beg, int64_t end, bool reachingIn)
        : fp_(fp), inflater_(inflater), chrom_(std::move(chrom)), beg_(beg), end_(end), reachingIn_(reachingIn),
          buf_(kBlock) {}

    // 1: the next line (without its line end) and its position; 0: no more; -1: the file is damaged.
    int next(std::string_view& line, int64_t& pos) {
        for (;;) {
            const int got = nextLine(buf_, line, [&](char* to, size_t room) -> int64_t {
                return inflater_ != nullptr ? readInflated(*inflater_, to, room) : bgzf_read(fp_, to, room);
            });
            if (got <= 0) return got;
            const int placed = place(line, pos);
            if (placed != 2) return placed;
        }
    }

private:
    // 1: a line of the window; 2: a line before it; 0: past it; -1: a line the index could not place.
    int place(std::string_view line, int64_t& pos) const {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return -1;
        if (line.substr(0, tab) != chrom_) return 0;
        size_t i = tab + 1;
        if (i >= line.size() || line[i] < '1' || line[i] > '9') return -1;
        pos = 0;
        for (; i < line.size() && i <= tab + 10 && line[i] >= '0' && line[i] <= '9'; ++i) pos = pos * 10 + (line[i] - '0');
        if (i >= line.size() || line[i] != '\t') return -1;
        const int64_t beg = pos - 1;
        if (beg >= end_) return 0;
        if (beg >= beg_) return 1;
        if (!reachingIn_) return 2;
        // Starting before the window: its end, from its REF (the fourth field) and an END in INFO (the eighth).
        std::string_view fields[8];
        size_t count = 0, from = 0;
        while (count < 8) {
            const size_t cut = line.find('\t', from);
            fields[count++] = line.substr(from, cut == std::string_view::npos ? std::string_view::npos : cut - from);
            if (cut == std::string_view::npos) break;
            from = cut + 1;
        }
        if (count < 4 || fields[3].empty()) return -1;
        int64_t end = beg + static_cast<int64_t>(fields[3].size());
        if (count == 8) {
            const std::string info(fields[7]);
            const char* at = nullptr;
            if (info.compare(0, 4, "END=") == 0) at = info.c_str() + 4;
            else if (const size_t found = info.find(";END="); found != std::string::npos) at = info.c_str() + found + 5;
            if (at != nullptr && *at != '.') {
                const long long value = std::strtoll(at, nullptr, 0);
                if (value > beg) end = value;
            }
        }
        return end > beg_ ? 1 : 2;
    }

    static constexpr size_t kBlock = size_t{1} << 20;
    BGZF* fp_;
    BgzipInflater* inflater_;  // when not null, the text comes from it
    std::string chrom_;
    int64_t beg_, end_;  // the window, from 0, end excluded
    bool reachingIn_;
    LineBuffer buf_;
};

// The fixed fields of a VCF line as text, for a line of the plain form: a position of digits, REF and ALT alleles
// that are not empty ("." for no ALT), and GT once among the FORMAT keys. Other lines are read by htslib.
struct TextSite {
    int64_t pos = 0;
    std::vector<std::string_view> alleles;  // REF, then the ALT alleles
    int gtKey = 0;                          // index of GT among the FORMAT keys
    const char* samples = nullptr;          // the first sample column
    const char* end = nullptr;              // the end of the line
};

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

// The dosage of an allele (0: every non-reference allele) in a call: a haploid call counts its allele twice, a call
// with a missing allele is missing (-1).
inline int dosageOf(int count, int called, bool missing) {
    return missing || called == 0 ? -1 : called == 1 ? 2 * count : std::min(count, 2);
}

// Dosages written packed 64 samples a word in three planes of `words` words each: called (not missing), one (dosage
// at least 1), two (dosage 2); bits taken in order, a few at a time.
struct PlaneWriter {
    uint64_t* planes;
    size_t words;
    uint64_t c = 0, o = 0, t = 0;
    size_t n = 0;  // bits written
    PlaneWriter(uint64_t* planes_, size_t words_) : planes(planes_), words(words_) {}
    // count bits (at most 64) of each plane, low bit first; the bits above count are 0.
    void put(uint64_t called, uint64_t one, uint64_t two, unsigned count) {
        const unsigned shift = n & 63;
        c |= called << shift;
        o |= one << shift;
        t |= two << shift;
        if (shift + count >= 64) {
            const size_t w = n >> 6;
            planes[w] = c;
            planes[words + w] = o;
            planes[2 * words + w] = t;
            c = shift == 0 ? 0 : called >> (64 - shift);
            o = shift == 0 ? 0 : one >> (64 - shift);
            t = shift == 0 ? 0 : two >> (64 - shift);
        }
        n += count;
    }
    void put(int d) { put(uint64_t{d >= 0}, uint64_t{d >= 1}, uint64_t{d >= 2}, 1); }
    void finish() {
        if (n & 63) {
            const size_t w = n >> 6;
            planes[w] = c;
            planes[words + w] = o;
            planes[2 * words + w] = t;
        }
    }
};

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

std::string siteText(const std::string& chrom, int64_t pos, const std::string_view* alleles, int count) {
    std::string text = chrom + ":" + std::to_string(pos) + " ";
    text += alleles[0];
    for (int k = 1; k < count; ++k) (text += k == 1 ? "/" : ",") += alleles[k];
    return text;
}

constexpr uint32_t kNone = UINT32_MAX;  // a variant not resolved (yet)

// Variants from which another part of the window, read on a thread of its own, pays for itself.
constexpr int64_t kVariantsPerPart = 128;

// What every part of a window reads by: the request, the panel's samples, the variants by position and where
// each variant's planes are.
struct PanelScan {
    explicit PanelScan(const PanelRequest& request) : q(request) {}
    const PanelRequest& q;
    bool isBcf = false;
    bool fromText = false;                 // a VCF whose calls are read from its text
    bool avx2 = false;
    bool subset = false;                   // -ldsamples: the BCF records are cut to the samples kept
    size_t columns = 0;                    // sample columns of a line
    size_t words = 0;                      // words of a plane
    std::vector<uint32_t> keptColumns;     // the columns of the samples kept
    std::vector<uint64_t> keptBits;        // the same as bits of a plane
    std::string panelChrom;                // the chromosome as the panel names it
    std::vector<size_t> order;             // the variants by position
    std::vector<int32_t> sortedPos;        // their positions
    int32_t leadPos = 0;
    std::vector<uint32_t> slot;            // per variant: its planes' place among its part's packed; kNone
};

struct ItrClose {
    void operator()(hts_itr_t* itr) const { hts_itr_destroy(itr); }
};

// A part of the window: the sites starting in [beg, end) (from 0; the first part also takes sites starting before
// it that reach into it), and the variants order[lo..hi) whose positions fall there.
struct PanelPart {
    int64_t beg = 0, end = 0;
    size_t lo = 0, hi = 0;
    std::unique_ptr<hts_itr_t, ItrClose> itr;
    std::vector<uint64_t> packed;            // the planes of its resolved variants, one after another
    std::string nearBelow, nearAbove, atLead;  // sites near the lead, for a lead not found
    const char* problem = nullptr;           // why its reading stopped
};

// Opens the panel and reads its header; the problem, or nullptr.
const char* openPanel(const PanelRequest& q, Panel& p) {
    p.fp = hts_open(q.path.c_str(), "r");
    if (p.fp == nullptr) return "cannot be opened";
    const htsFormat* format = hts_get_format(p.fp);
    if (format->format != bcf && format->format != vcf) return "is not a VCF or BCF file";
    if (format->format == vcf && format->compression != bgzf) return "is not compressed with bgzip, so it cannot be indexed";
    p.hdr = bcf_hdr_read(p.fp);
    if (p.hdr == nullptr) return "its header cannot be read (a damaged file?)";
    return nullptr;
}

// Reads a part of the window from the panel p (opened, its header's samples set), resolving its variants: their
// planes in part.packed, their places in scan.slot. threads > 1: the part's blocks are inflated on that many threads
// (VCF). The problem, or nullptr.
const char* readPart(PanelScan& scan, PanelPart& part, bool first, unsigned threads, Panel& p) {
    const PanelRequest& q = scan.q;
    const size_t words = scan.words;
    const bool noLines = part.itr->finished || part.itr->n_off == 0;
    if (!scan.isBcf && !noLines && threads > 1) {
        // The part's blocks inflated ahead of the reading on threads of their own, from the block it starts in (the
        // bytes of that block before it are let go); without a thread, by the BGZF reader.
        const uint64_t start = part.itr->off[0].u;
        p.fd = open(q.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (p.fd >= 0) p.inflater = startBgzipInflater(p.fd, threads, start >> 16);
        for (size_t skip = start & 0xFFFF; p.inflater != nullptr && skip > 0;) {
            char scratch[4096];
            const int64_t got = readInflated(*p.inflater, scratch, std::min(skip, sizeof scratch));
            if (got <= 0) return "is damaged: its region cannot be reached";
            skip -= static_cast<size_t>(got);
        }
    }
    WindowLines lines(hts_get_bgzfp(p.fp), p.inflater.get(), scan.panelChrom, part.beg, part.end, first);
    if (!scan.isBcf && !noLines && p.inflater == nullptr &&
        bgzf_seek(hts_get_bgzfp(p.fp), static_cast<int64_t>(part.itr->off[0].u), SEEK_SET) < 0)
        return "is damaged: its region cannot be reached";
    p.rec = bcf_init();
    const auto posBegin = scan.sortedPos.begin() + static_cast<std::ptrdiff_t>(part.lo);
    const auto posEnd = scan.sortedPos.begin() + static_cast<std::ptrdiff_t>(part.hi);
    const int32_t leadPos = scan.leadPos;
    std::vector<uint64_t>& packed = part.packed;
    packed.reserve((part.hi - part.lo) * 3 * words);
    int64_t belowPos = INT64_MIN, abovePos = INT64_MAX;
    TextSite site;
    std::string_view line;  // the VCF line being read
    // The line read by htslib, for a line not of the plain form (or every line where GT is declared otherwise).
    auto parseRecord = [&] {
        p.line.l = 0;
        return kputsn(line.data(), line.size(), &p.line) >= 0 && vcf_parse1(&p.line, p.hdr, p.rec) >= 0;
    };
    std::vector<std::string_view> recordAlleles;
    int got;
    for (;;) {
        bool text = false;  // the line is read from its text (site); else htslib has read it (p.rec)
        if (scan.isBcf) {
            got = bcf_itr_next(p.fp, part.itr.get(), p.rec);
            if (got >= 0 && !first && p.rec->pos < part.beg) continue;  // a site of the part before
            // The iterator's records hold every sample: those of -ldsamples are taken out here.
            if (got >= 0 && scan.subset && bcf_subset_format(p.hdr, p.rec) != 0) got = -2;
        } else {
            std::string_view view;
            int64_t pos = 0;
            const int read = noLines ? 0 : lines.next(view, pos);
            got = read > 0 ? 0 : read == 0 ? -1 : -2;
            if (got >= 0) {
                const bool wanted = std::binary_search(posBegin, posEnd, static_cast<int32_t>(pos)) || pos == leadPos ||
                                    (pos < leadPos && pos >= belowPos) || (pos > leadPos && pos <= abovePos);
                if (!wanted) continue;
                line = view;
                text = scan.fromText && cutSite(view, site);
                if (!text && !parseRecord()) {
                    got = -2;
                    break;
                }
            }
        }
        if (got < 0) break;
        const int64_t pos = text ? site.pos : p.rec->pos + 1;
        const bool near = (pos < leadPos && pos >= belowPos) || (pos > leadPos && pos <= abovePos) || pos == leadPos;
        auto range = std::equal_range(posBegin, posEnd, static_cast<int32_t>(pos));
        if (range.first == range.second && !near) continue;
        if (!text) {
            bcf_unpack(p.rec, BCF_UN_STR);
            recordAlleles.assign(p.rec->d.allele, p.rec->d.allele + p.rec->n_allele);
        }
        const std::vector<std::string_view>& alleles = text ? site.alleles : recordAlleles;
        if (near) {
            const std::string where = siteText(scan.panelChrom, pos, alleles.data(), static_cast<int>(alleles.size()));
            if (pos < leadPos) belowPos = pos, part.nearBelow = where;
            else if (pos > leadPos) { if (pos < abovePos) abovePos = pos, part.nearAbove = where; }
            else part.atLead += (part.atLead.empty() ? "" : "; ") + where;
        }
        if (range.first == range.second) continue;
        bool haveCalls = false;
        for (auto it = range.first; it != range.second; ++it) {
            const size_t j = scan.order[static_cast<size_t>(it - scan.sortedPos.begin())];
            if (scan.slot[j] != kNone) continue;
            const LdVariant& v = q.variants[j];
            int allele = 0;  // the ALT allele counted; 0: every non-reference allele
            if (!v.allele1.empty() && !v.allele2.empty()) {
                for (size_t k = 1; k < alleles.size() && allele == 0; ++k)
                    if ((sameAllele(alleles[0], v.allele1) && sameAllele(alleles[k], v.allele2)) ||
                        (sameAllele(alleles[0], v.allele2) && sameAllele(alleles[k], v.allele1)))
                        allele = static_cast<int>(k);
                if (allele == 0) continue;
            }
            packed.resize(packed.size() + 3 * words);
            uint64_t* planes = packed.data() + packed.size() - 3 * words;
            PlaneWriter writer(planes, words);
            if (text && textDosages(site, scan.columns, allele, scan.avx2, writer)) {
                for (size_t w = 0; w < 3 * words; ++w) planes[w] &= scan.keptBits[w % words];
            } else if (text) {
                // Not of the plain form: htslib reads the line, as every line of a panel it cannot be read from.
                if (!parseRecord()) {
                    got = -2;
                    break;
                }
                text = false;
            }
            if (!text) {
                if (!haveCalls) {
                    const int n = bcf_get_genotypes(p.hdr, p.rec, &p.gt, &p.ngt);
                    if (n <= 0) {  // no GT: the site says nothing
                        packed.resize(packed.size() - 3 * words);
                        break;
                    }
                    haveCalls = true;
                }
                recordDosages(p.gt, p.ngt, scan.keptColumns, allele, planes, words);
            }
            scan.slot[j] = static_cast<uint32_t>(packed.size() / (3 * words) - 1);
        }
        if (got < -1) break;
    }
    return got < -1 ? "is damaged: a record of the region cannot be read" : nullptr;
}

}  // namespace

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

PanelR2 panelR2(const PanelRequest& q) {
    const auto started = std::chrono::steady_clock::now();
    PanelR2 out;
    out.r2.assign(q.variants.size(), std::nan(""));
    const std::string name = "-ldref '" + q.path + "'";
    auto fail = [&](std::string why) {
        out.warnings.push_back(name + ": " + why + "; the region " + q.chrom + ":" + std::to_string(q.start) + "-" +
                               std::to_string(q.end) + " is drawn without r2");
        return out;
    };
    hts_set_log_level(HTS_LOG_OFF);  // its problems are told in one line of ours
    Panel p;
    const char* problem = openPanel(q, p);
    if (problem != nullptr) return fail(problem);
    const htsFormat* format = hts_get_format(p.fp);
    PanelScan scan(q);
    scan.isBcf = format->format == bcf;
    if (!q.samplesFile.empty()) {
        const int missing = bcf_hdr_set_samples(p.hdr, q.samplesFile.c_str(), 1);
        if (missing < 0) return fail("the samples of -ldsamples '" + q.samplesFile + "' cannot be read");
        if (missing > 0)
            out.warnings.push_back(name + ": sample " + std::to_string(missing) + " of -ldsamples '" + q.samplesFile +
                                   "' is not in the panel; the others are used");
    }
    const size_t samples = static_cast<size_t>(bcf_hdr_nsamples(p.hdr));
    if (samples == 0) return fail("has no samples (or none of -ldsamples)");
    // A VCF's calls are read from its text: its sample columns (all of them; those kept by -ldsamples have a bit in
    // keep) when the header declares GT as the usual string.
    const uint8_t* keep = p.hdr->keep_samples;
    scan.subset = keep != nullptr;
    scan.columns = keep != nullptr ? static_cast<size_t>(p.hdr->nsamples_ori) : samples;
    // The dosages are packed by column: a sample left out has no bit in any plane, so takes no part, like a missing
    // call.
    scan.words = (scan.columns + 63) / 64;
    scan.keptBits.assign(scan.words, 0);
    for (size_t c = 0; c < scan.columns; ++c)
        if (keep == nullptr || (keep[c >> 3] >> (c & 7) & 1)) {
            scan.keptColumns.push_back(static_cast<uint32_t>(c));
            scan.keptBits[c >> 6] |= uint64_t{1} << (c & 63);
        }
    if (scan.keptColumns.size() != samples) return fail("its samples cannot be told apart (a damaged header?)");
    const int gtId = bcf_hdr_id2int(p.hdr, BCF_DT_ID, "GT");
#ifdef VENNRICK_X86
    scan.avx2 = __builtin_cpu_supports("avx2");
#endif
    scan.fromText = !scan.isBcf && gtId >= 0 && bcf_hdr_idinfo_exists(p.hdr, BCF_HL_FMT, gtId) &&
                    bcf_hdr_id2type(p.hdr, BCF_HL_FMT, gtId) == BCF_HT_STR;

    // The chromosome as the panel names it: as the table does, or with "chr" added or taken away.
    const std::string bare(withoutChrPrefix(q.chrom));
    const std::string names[] = {q.chrom, bare, "chr" + bare};
    int tid = -1;
    if (scan.isBcf) {
        p.idx = bcf_index_load(q.path.c_str());
        if (p.idx == nullptr) return fail("its index (.csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = bcf_hdr_name2id(p.hdr, n.c_str())) >= 0) scan.panelChrom = n;
    } else {
        p.tbx = tbx_index_load(q.path.c_str());
        if (p.tbx == nullptr) return fail("its index (.tbi or .csi) cannot be read");
        for (const std::string& n : names)
            if (tid < 0 && (tid = tbx_name2id(p.tbx, n.c_str())) >= 0) scan.panelChrom = n;
    }
    if (tid < 0) {
        int count = 0;
        const char** seqs = scan.isBcf ? bcf_hdr_seqnames(p.hdr, &count) : tbx_seqnames(p.tbx, &count);
        std::string some;
        for (int i = 0; i < count && i < 5; ++i) some += (i ? ", " : "") + std::string(seqs[i]);
        free(seqs);
        return fail("has no chromosome '" + q.chrom + "' (its chromosomes: " + (some.empty() ? "none" : some) +
                    (count > 5 ? ", ..." : "") + ")");
    }

    // The variants by position; each is resolved by the first site that is its.
    std::vector<int32_t> positions;
    for (const LdVariant& v : q.variants) positions.push_back(v.pos);
    scan.order.resize(q.variants.size());
    for (size_t i = 0; i < scan.order.size(); ++i) scan.order[i] = i;
    if (!std::is_sorted(positions.begin(), positions.end()))
        std::stable_sort(scan.order.begin(), scan.order.end(), [&](size_t a, size_t b) { return positions[a] < positions[b]; });
    for (size_t i : scan.order) scan.sortedPos.push_back(positions[i]);
    scan.leadPos = q.variants[q.lead].pos;
    scan.slot.assign(q.variants.size(), kNone);

    // The window cut into parts of about as many variants, read at the same time, each by a reader of its own: a
    // site is read by the part its position falls in (lines starting before the window, by the first), and a
    // variant can only be resolved by a site of its position, so the parts need nothing of each other. On a window
    // of thousands of variants, inflating the blocks is half the work, and each part inflates only its own.
    const unsigned count = partsFor(static_cast<int64_t>(q.variants.size()), q.threads, kVariantsPerPart, 64);
    const int64_t windowBeg = int64_t{q.start} - 1 < 0 ? 0 : q.start - 1;  // from 0
    std::vector<PanelPart> parts;
    for (unsigned k = 0; k < count; ++k) {
        const size_t lo = static_cast<size_t>(partBegin(static_cast<int64_t>(q.variants.size()), k, count));
        const int64_t beg = k == 0 ? windowBeg : std::max<int64_t>(int64_t{scan.sortedPos[lo]} - 1, windowBeg);
        if (k > 0 && beg >= int64_t{q.end}) break;                // variants past the window: no site to read
        if (!parts.empty() && beg <= parts.back().beg) continue;  // one position throughout: no part of its own
        if (!parts.empty()) parts.back().end = beg;
        PanelPart part;
        part.beg = beg;
        part.end = int64_t{q.end};
        part.lo = lo;
        parts.push_back(std::move(part));
    }
    for (size_t k = 0; k < parts.size(); ++k) {
        PanelPart& part = parts[k];
        part.hi = k + 1 < parts.size() ? parts[k + 1].lo : q.variants.size();
        part.itr.reset(scan.isBcf ? bcf_itr_queryi(p.idx, tid, part.beg, part.end) : tbx_itr_queryi(p.tbx, tid, part.beg, part.end));
        if (part.itr == nullptr) return fail("its index cannot be searched for the region");
    }
    runInParallel(static_cast<unsigned>(parts.size()), [&](unsigned k) {
        PanelPart& part = parts[k];
        if (k == 0) {
            part.problem = readPart(scan, part, k == 0, parts.size() == 1 ? q.threads : 1, p);
            return;
        }
        Panel own;
        part.problem = openPanel(q, own);
        if (part.problem == nullptr && !q.samplesFile.empty() &&
            bcf_hdr_set_samples(own.hdr, q.samplesFile.c_str(), 1) < 0)
            part.problem = "its header cannot be read (a damaged file?)";
        if (part.problem == nullptr) part.problem = readPart(scan, part, false, 1, own);
    });
    for (const PanelPart& part : parts)
        if (part.problem != nullptr) return fail(part.problem);

    if (scan.slot[q.lead] == kNone) {
        // The nearest sites below the lead are those of the last part that has one, above it of the first.
        std::string nearBelow, nearAbove, atLead;
        for (const PanelPart& part : parts) {
            if (!part.nearBelow.empty()) nearBelow = part.nearBelow;
            if (nearAbove.empty()) nearAbove = part.nearAbove;
            if (!part.atLead.empty()) atLead += (atLead.empty() ? "" : "; ") + part.atLead;
        }
        const LdVariant& lead = q.variants[q.lead];
        std::string what = "the lead " + (lead.id.empty() ? std::string() : std::string(lead.id) + " ") + "(" + q.chrom +
                           ":" + std::to_string(lead.pos) +
                           (lead.allele1.empty() ? "" : " " + std::string(lead.allele1) + "/" + std::string(lead.allele2)) +
                           ") is not in the panel";
        if (!atLead.empty()) what += "; at its position the panel has " + atLead + " (other alleles)";
        std::string nearest = nearBelow.empty() ? nearAbove : nearAbove.empty() ? nearBelow : nearBelow + " and " + nearAbove;
        what += nearest.empty() ? "; the panel has no site in the region (another build?)"
                                : "; nearest panel sites: " + nearest;
        return fail(what);
    }
    out.leadFound = true;
    // The planes of a resolved variant, in the packed planes of the part that read it.
    std::vector<uint32_t> partOf(q.variants.size(), 0);
    for (uint32_t k = 0; k < parts.size(); ++k)
        for (size_t i = parts[k].lo; i < parts[k].hi; ++i) partOf[scan.order[i]] = k;
    const size_t stride = 3 * scan.words;
    auto planes = [&](size_t j) { return parts[partOf[j]].packed.data() + size_t{scan.slot[j]} * stride; };
    const bool popcnt = __builtin_cpu_supports("popcnt");
    const uint64_t* x = planes(q.lead);
    for (size_t j = 0; j < q.variants.size(); ++j) {
        if (scan.slot[j] == kNone) continue;
        const uint64_t* y = planes(j);
        out.r2[j] = j == q.lead ? 1.0
                                : r2OfSums(popcnt ? packedSumsPopcnt(x, y, scan.words) : packedSumsPlain(x, y, scan.words));
    }
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return out;
}

}  // namespace vennrick
