// A panel's calls as dosages packed 64 samples a word in bit planes, and r2 counted on them with popcounts: the
// calls read straight from a VCF line's text (the usual columns many at a time with SSE2 or AVX2) or from the
// genotypes htslib has read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vennrick {

// The fixed fields of a VCF line as text, for a line of the plain form: a position of digits, REF and ALT alleles
// that are not empty ("." for no ALT), and GT once among the FORMAT keys. Other lines are read by htslib.
struct TextSite {
    int64_t pos = 0;
    std::vector<std::string_view> alleles;  // REF, then the ALT alleles
    int gtKey = 0;                          // index of GT among the FORMAT keys
    const char* samples = nullptr;          // the first sample column
    const char* end = nullptr;              // the end of the line
};

// Cuts the fixed fields of a VCF line (its nine first fields and where its samples start); false for a line not of
// the plain form.
bool cutSite(std::string_view line, TextSite& t);

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

// The dosages of every sample column from the text of a line, packed; false for a line not of the plain form, which
// htslib reads (see the definition).
bool textDosages(const TextSite& t, size_t columns, int allele, bool avx2, PlaneWriter& out);

// The dosages of a record htslib has read (its GT in gt, ngt values, for the kept samples), at their columns.
void recordDosages(const int32_t* gt, int ngt, const std::vector<uint32_t>& keptColumns, int allele, uint64_t* planes,
                   size_t words);

// r2 of two variants' planes (words words each): NaN when either does not vary over the samples called at both.
double planesR2(const uint64_t* x, const uint64_t* y, size_t words);

// The correlation part alone: dosages 0..2 per sample, negative for missing; NaN when either does not vary.
double dosageR2(const int8_t* x, const int8_t* y, size_t samples);

// The same r2, to the last bit, from the dosages packed 64 samples a word (as panelR2 computes it).
double packedR2(const int8_t* x, const int8_t* y, size_t samples);

}  // namespace vennrick
