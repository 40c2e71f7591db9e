// The statistics of the QQ plot: which kept values take part, their median found in place by radix selection
// (no sort, no copy of the values), and the genomic inflation factor lambda from chi-squared quantiles.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "reading/plot_data.h"

namespace vennrick {

// A kept value v = -log10(p) takes part when p = 10^-v lies in (0, 1]: v finite and >= 0. p = 1 (v = 0) takes
// part; NaN (p not a number, or negative), infinities and negative values (p above 1) do not.
inline bool takesPart(double v) { return v >= 0.0 && v <= std::numeric_limits<double>::max(); }

constexpr int kDigitBits = 16;                           // bits of the order key settled per selection level
constexpr size_t kDigitCount = size_t{1} << kDigitBits;  // bins per level
constexpr int kLeadingShift = 64 - kDigitBits;           // the leading digit of a key is key >> kLeadingShift

// The order key of a value: its bit pattern as an unsigned integer, -0 counted as +0. For the values that take
// part keys order as the values do and lie below kFirstExcludedKey (the key of +infinity); every other value
// (infinities, NaN, negative values) has a key at or above it.
constexpr uint64_t kFirstExcludedKey = uint64_t{0x7FF} << 52;
inline uint64_t orderKey(double v) {
    const double zero = v + 0.0;
    uint64_t key;
    std::memcpy(&key, &zero, sizeof key);
    return key;
}

struct QqSample {
    int64_t usable = 0;                 // values that take part
    int64_t excluded = 0;               // values that do not
    double maxValue = 0;                // largest value that takes part; 0 when none does
    std::vector<uint64_t> leadingBins;  // values by the leading digit of their order key (those that take no part
                                        // from bin 0x7FF0 on), counted in the same pass: the first level of the
                                        // median's selection
};

// One pass over the values.
QqSample sampleValues(ValueView values);

// The order keys of the two middle ranks' leading bins, gathered in a pass over the values that other work
// shares (a pass costs as much as the rest of lambda): offer every value, in any order.
struct MedianGathering {
    uint64_t leadingLo = kDigitCount, leadingHi = kDigitCount;  // leading digits to gather; kDigitCount: none
    size_t expected = 0;                                        // keys with those digits, from the sample
    std::vector<uint64_t> keys;                                 // gathered; reserved for all of them
};

// What to gather: nothing with fewer than two usable values, or when the bins hold more than
// max(2^18, usable / 64) values (then lambda selects in passes of its own).
MedianGathering startGathering(const QqSample& sample);

inline void offer(MedianGathering& gathering, double v) {
    const uint64_t key = orderKey(v), leading = key >> kLeadingShift;
    if (leading == gathering.leadingLo || leading == gathering.leadingHi) gathering.keys.push_back(key);
}

// The usable values of ascending ranks lo and hi (0-based, lo <= hi < sample.usable), equal to those of a full
// sort. The values are read, never reordered or copied: each pass counts the usable values under the bits of
// the order key settled so far by their next 16 bits, until the bin holding a rank is small enough to copy.
std::pair<double, double> usableValuesAtRanks(ValueView values, const QqSample& sample, int64_t lo, int64_t hi);

// The upper-tail quantile of the chi-squared distribution with 1 degree of freedom at p = 10^-v: the statistic
// whose upper-tail probability is p. 0 for v = 0; +infinity where p is too small even for long double (v above
// about 4931).
double chiSquaredQuantile(double v);

// The 95% band of the i-th smallest of n uniform p-values (1 <= i <= n): the 0.025 and 0.975 quantiles of
// Beta(i, n - i + 1), in that order.
std::pair<double, double> orderStatisticBand(int64_t i, int64_t n);

// lambda = median of the chi-squared quantiles of the usable p-values over the distribution's median
// (0.4549364...); an even count takes the mean of the two middle quantiles. nullopt with fewer than two usable
// values. From the keys gathered for the sample when they are complete, else by usableValuesAtRanks; the
// second form gathers in a pass of its own.
std::optional<double> inflationFactor(ValueView values, const QqSample& sample, MedianGathering gathered);
std::optional<double> inflationFactor(ValueView values, const QqSample& sample);

// lambda with four decimals ("1.0234"; "inf" when not finite), or "NA".
std::string formatLambda(std::optional<double> lambda);

// When a few of the strongest values that take part (within the strongest 0.01 %, at least one) all lie above 3
// times the value below them, which flattens every other point into the bottom of a plot: that value, a round cap
// just above it (1, 2 or 5 times a power of ten, or a multiple of 5 from 10 on), and how many values lie above it
// (the largest such group). One pass over the values, of its own or shared with the QQ sample.
struct CapSuggestion {
    double below = 0;   // the largest value under the strongest group
    double cap = 0;     // the suggested -ymax
    int64_t above = 0;  // values in the strongest group
};
std::optional<CapSuggestion> suggestCap(ValueView values);

// The strongest values that take part, gathered while another pass reads every value once (sampleValues): the
// values above a bar are kept, and whenever they fill the buffer the strongest are kept and the bar raised.
struct StrongestValues {
    explicit StrongestValues(size_t valueCount);
    size_t k;                 // the strongest 0.01 % of valueCount, at least 1: k + 1 values are wanted
    std::vector<double> top;  // candidates; holds the k + 1 strongest of the values offered
    double bar = -std::numeric_limits<double>::infinity();  // a value at or below it is not needed
    void keepStrongest();
    void offer(double v) {
        if (!(v > bar) || !takesPart(v)) return;
        top.push_back(v);
        if (top.size() == 4 * (k + 1)) keepStrongest();
    }
};

// The suggestion from the strongest values of all the values.
std::optional<CapSuggestion> suggestCap(StrongestValues strongest);

// sampleValues, offering every value to strongest as well.
QqSample sampleValues(ValueView values, StrongestValues& strongest);

// The line for standard error that suggests the cap.
std::string capSuggestionLine(const CapSuggestion& cap);

}  // namespace vennrick
