// The statistics of the QQ plot: which kept values take part, their median found in place by radix selection
// (no sort, no copy of the values), and the genomic inflation factor lambda from chi-squared quantiles.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vennrick {

// A kept value v = -log10(p) takes part when p = 10^-v lies in (0, 1]: v finite and >= 0. p = 1 (v = 0) takes
// part; NaN (p not a number, or negative), infinities and negative values (p above 1) do not.
inline bool takesPart(double v) { return v >= 0.0 && v <= std::numeric_limits<double>::max(); }

constexpr int kDigitBits = 16;                             // bits of the order key settled per selection level
constexpr size_t kDigitCount = size_t{1} << kDigitBits;    // bins per level

struct QqSample {
    int64_t usable = 0;                 // values that take part
    int64_t excluded = 0;               // values that do not
    double maxValue = 0;                // largest value that takes part; 0 when none does
    std::vector<uint64_t> leadingBins;  // values by the leading 16 bits of their order key (those that take no
                                        // part from bin 0x7FF0 on), counted in the same pass: the first level
                                        // of the median's selection
};

// One pass over the values.
QqSample sampleValues(const std::vector<double>& values);

// The usable values of ascending ranks lo and hi (0-based, lo <= hi < sample.usable), equal to those of a full
// sort. The values are read, never reordered or copied: each pass counts the usable values under the bits of
// the order key settled so far by their next 16 bits, until the bin holding a rank is small enough to copy.
std::pair<double, double> usableValuesAtRanks(const std::vector<double>& values, const QqSample& sample, int64_t lo,
                                              int64_t hi);

// The upper-tail quantile of the chi-squared distribution with 1 degree of freedom at p = 10^-v: the statistic
// whose upper-tail probability is p. 0 for v = 0; +infinity where p is too small even for long double (v above
// about 4931).
double chiSquaredQuantile(double v);

// lambda = median of the chi-squared quantiles of the usable p-values over the distribution's median
// (0.4549364...); an even count takes the mean of the two middle quantiles. nullopt with fewer than two usable
// values.
std::optional<double> inflationFactor(const std::vector<double>& values, const QqSample& sample);

// lambda with four decimals ("1.0234"; "inf" when not finite), or "NA".
std::string formatLambda(std::optional<double> lambda);

}  // namespace vennrick
