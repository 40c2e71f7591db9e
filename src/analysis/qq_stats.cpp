// The statistics of the QQ plot: usable values, their median by radix selection, and lambda.
#include "analysis/qq_stats.h"

#include <algorithm>
#include <functional>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vennrick {
namespace {

// Above this many candidates (2 MiB of keys, or a 64th of the values' memory) a bin is split by its next 16
// bits instead of being copied.
constexpr int64_t kCopyLimit = int64_t{1} << 18;
int64_t copyLimit(int64_t usable) { return std::max(kCopyLimit, usable / 64); }

// Library errors come back as values (NaN, infinity) instead of exceptions.
using QuantilePolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
    boost::math::policies::overflow_error<boost::math::policies::errno_on_error>,
    boost::math::policies::evaluation_error<boost::math::policies::errno_on_error>>;
using ChiSquared = boost::math::chi_squared_distribution<long double, QuantilePolicy>;

static_assert((kFirstExcludedKey & ((uint64_t{1} << kLeadingShift) - 1)) == 0, "a bin boundary");

inline double valueOfKey(uint64_t key) {
    double v;
    std::memcpy(&v, &key, sizeof v);
    return v;
}

// The usable values whose order key starts with the `known` leading bits `prefix`; `below` usable values
// have smaller keys, so the bin holds ranks below .. below + count - 1. A bin found from the counts of usable
// values holds no key of a value that takes no part (those keys start at kFirstExcludedKey).
struct Bin {
    uint64_t prefix = 0;
    int known = 0;  // 0, 16, 32, 48 or 64
    int64_t below = 0;
    int64_t count = 0;
};

inline bool inBin(uint64_t key, const Bin& bin) {
    return bin.known == 0 ? key < kFirstExcludedKey : key >> (64 - bin.known) == bin.prefix;
}

std::vector<uint64_t> countNextDigit(ValueView values, const Bin& bin) {
    std::vector<uint64_t> counts(kDigitCount, 0);
    const int shift = 64 - bin.known - kDigitBits;
    for (double v : values) {
        const uint64_t key = orderKey(v);
        if (inBin(key, bin)) ++counts[(key >> shift) & (kDigitCount - 1)];
    }
    return counts;
}

// The sub-bin of the next 16 bits that holds rank k.
Bin subBin(const Bin& bin, const std::vector<uint64_t>& counts, int64_t k) {
    int64_t below = bin.below;
    for (size_t d = 0; d + 1 < kDigitCount; ++d) {
        const auto count = static_cast<int64_t>(counts[d]);
        if (k < below + count) return Bin{(bin.prefix << kDigitBits) | d, bin.known + kDigitBits, below, count};
        below += count;
    }
    return Bin{(bin.prefix << kDigitBits) | (kDigitCount - 1), bin.known + kDigitBits, below,
               static_cast<int64_t>(counts[kDigitCount - 1])};
}

// The keys of ranks lo <= hi among keys, which hold every key of ranks first, first + 1, ...
std::pair<uint64_t, uint64_t> middleKeys(std::vector<uint64_t>& keys, int64_t first, int64_t lo, int64_t hi) {
    const auto at = [&](int64_t rank) { return keys.begin() + (rank - first); };
    std::nth_element(keys.begin(), at(lo), keys.end());
    if (hi > lo) std::nth_element(at(lo) + 1, at(hi), keys.end());
    return {*at(lo), *at(hi)};
}

// The middle ranks of the usable values: (n - 1) / 2 and n / 2, the same rank for an odd count.
std::pair<int64_t, int64_t> middleRanks(const QqSample& sample) { return {(sample.usable - 1) / 2, sample.usable / 2}; }

// lambda from the two middle values.
double lambdaOfMiddle(double lo, double hi) {
    // The quantile grows with v, so the middle quantiles are those of the middle values.
    static const long double distributionMedian = quantile(ChiSquared(1), 0.5L);  // 0.454936423119572...
    const long double median = (static_cast<long double>(chiSquaredQuantile(lo)) + chiSquaredQuantile(hi)) / 2;
    return static_cast<double>(median / distributionMedian);
}

// The keys of ranks lo <= hi, both inside bin; counts, when given, are the bin's values by their next 16 bits.
std::pair<uint64_t, uint64_t> selectKeys(ValueView values, Bin bin, const std::vector<uint64_t>* counts, int64_t lo,
                                         int64_t hi, int64_t limit) {
    std::vector<uint64_t> ownCounts;
    for (;;) {
        if (bin.known == 64) return {bin.prefix, bin.prefix};  // every key of the bin is the same
        if (bin.count <= limit) {
            std::vector<uint64_t> keys;
            keys.reserve(static_cast<size_t>(bin.count));
            for (double v : values)
                if (inBin(orderKey(v), bin)) keys.push_back(orderKey(v));
            return middleKeys(keys, bin.below, lo, hi);
        }
        if (counts == nullptr) {
            ownCounts = countNextDigit(values, bin);
            counts = &ownCounts;
        }
        const Bin binLo = subBin(bin, *counts, lo), binHi = subBin(bin, *counts, hi);
        counts = nullptr;
        if (binLo.prefix != binHi.prefix)
            return {selectKeys(values, binLo, nullptr, lo, lo, limit).first,
                    selectKeys(values, binHi, nullptr, hi, hi, limit).first};
        bin = binLo;
    }
}

}  // namespace

namespace {

template <class Offer>
QqSample sampleWith(ValueView values, Offer&& offer) {
    // Two sets of bins for alternate values: consecutive values often share a bin, and one set would make each
    // count wait for the previous one. Keys of values that take no part start at kFirstExcludedKey, so the
    // usable values are the counts below its bin and their largest key is the largest value.
    std::vector<uint64_t> even(kDigitCount, 0), odd(kDigitCount, 0);
    uint64_t maxKey = 0;
    const double* v = values.data();
    const size_t n = values.size();
    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        const uint64_t a = orderKey(v[i]), b = orderKey(v[i + 1]);
        offer(v[i]);
        offer(v[i + 1]);
        ++even[a >> kLeadingShift];
        ++odd[b >> kLeadingShift];
        maxKey = std::max({maxKey, a < kFirstExcludedKey ? a : 0, b < kFirstExcludedKey ? b : 0});
    }
    if (i < n) {
        const uint64_t a = orderKey(v[i]);
        offer(v[i]);
        ++even[a >> kLeadingShift];
        maxKey = std::max(maxKey, a < kFirstExcludedKey ? a : 0);
    }
    QqSample sample;
    sample.leadingBins = std::move(even);
    for (size_t d = 0; d < kDigitCount; ++d) {
        sample.leadingBins[d] += odd[d];
        (d < (kFirstExcludedKey >> kLeadingShift) ? sample.usable : sample.excluded) +=
            static_cast<int64_t>(sample.leadingBins[d]);
    }
    sample.maxValue = valueOfKey(maxKey);
    return sample;
}

}  // namespace

QqSample sampleValues(ValueView values) {
    return sampleWith(values, [](double) {});
}

QqSample sampleValues(ValueView values, StrongestValues& strongest) {
    return sampleWith(values, [&strongest](double v) { strongest.offer(v); });
}

std::pair<double, double> usableValuesAtRanks(ValueView values, const QqSample& sample, int64_t lo, int64_t hi) {
    const Bin all{0, 0, 0, sample.usable};
    const std::pair<uint64_t, uint64_t> keys =
        selectKeys(values, all, &sample.leadingBins, lo, hi, copyLimit(sample.usable));
    return {valueOfKey(keys.first), valueOfKey(keys.second)};
}

MedianGathering startGathering(const QqSample& sample) {
    MedianGathering gathering;
    if (sample.usable < 2) return gathering;
    const auto [lo, hi] = middleRanks(sample);
    const Bin all{0, 0, 0, sample.usable};
    const Bin binLo = subBin(all, sample.leadingBins, lo), binHi = subBin(all, sample.leadingBins, hi);
    const int64_t count = binLo.count + (binHi.prefix != binLo.prefix ? binHi.count : 0);
    if (count > copyLimit(sample.usable)) return gathering;
    gathering.leadingLo = binLo.prefix;
    gathering.leadingHi = binHi.prefix;
    gathering.expected = static_cast<size_t>(count);
    gathering.keys.reserve(gathering.expected);
    return gathering;
}

// Boost.Math's chi-squared quantile (an inverse of the regularised incomplete gamma function) in long double,
// with p formed in long double: p-values below the double range keep their full precision, and the result is
// accurate to a few units in the last place of long double (about 1e-18 relative), far beyond the four decimals
// printed.
double chiSquaredQuantile(double v) {
    const long double p = std::pow(10.0L, -static_cast<long double>(v));
    if (!(p >= std::numeric_limits<long double>::min())) return std::numeric_limits<double>::infinity();
    return static_cast<double>(quantile(complement(ChiSquared(1), p)));
}

// Boost.Math's inverse of the regularised incomplete beta function, accurate to a few units in the last place
// of a double.
std::pair<double, double> orderStatisticBand(int64_t i, int64_t n) {
    const auto a = static_cast<double>(i), b = static_cast<double>(n - i + 1);
    return {boost::math::ibeta_inv(a, b, 0.025, QuantilePolicy()), boost::math::ibeta_inv(a, b, 0.975, QuantilePolicy())};
}

std::optional<double> inflationFactor(ValueView values, const QqSample& sample, MedianGathering gathered) {
    if (sample.usable < 2) return std::nullopt;
    const auto [lo, hi] = middleRanks(sample);
    if (gathered.leadingLo == kDigitCount || gathered.keys.size() != gathered.expected) {
        const auto [a, b] = usableValuesAtRanks(values, sample, lo, hi);
        return lambdaOfMiddle(a, b);
    }
    // The gathered bins hold consecutive ranks from the first key of the lower one: any bin between them is
    // empty, since the middle ranks are neighbours.
    const int64_t first = subBin(Bin{0, 0, 0, sample.usable}, sample.leadingBins, lo).below;
    const auto [a, b] = middleKeys(gathered.keys, first, lo, hi);
    return lambdaOfMiddle(valueOfKey(a), valueOfKey(b));
}

std::optional<double> inflationFactor(ValueView values, const QqSample& sample) {
    MedianGathering gathering = startGathering(sample);
    if (gathering.leadingLo != kDigitCount)
        for (double v : values) offer(gathering, v);
    return inflationFactor(values, sample, std::move(gathering));
}

std::string formatLambda(std::optional<double> lambda) {
    if (!lambda) return "NA";
    if (!std::isfinite(*lambda)) return "inf";
    char text[400];  // "%.4f" of the largest double has 309 digits before the point
    std::snprintf(text, sizeof text, "%.4f", *lambda);
    return text;
}

std::string capSuggestionLine(const CapSuggestion& cap) {
    char below[32], capText[32];
    std::snprintf(below, sizeof below, "%.4g", cap.below);
    std::snprintf(capText, sizeof capText, "%.6g", cap.cap);
    return (cap.above == 1 ? std::string("the strongest value lies") : "the strongest " + std::to_string(cap.above) + " values lie") +
           " above 3 times the next (" + below + ") and flatten" + (cap.above == 1 ? "s" : "") +
           " the rest of the plot: -ymax " + capText + " would cap the -log10(p) axis there";
}

StrongestValues::StrongestValues(size_t valueCount) : k(std::max<size_t>(1, (valueCount + 9999) / 10000)) {
    top.reserve(4 * (k + 1));
}

void StrongestValues::keepStrongest() {
    const size_t keep = k + 1;
    std::nth_element(top.begin(), top.begin() + static_cast<ptrdiff_t>(keep - 1), top.end(), std::greater<double>());
    top.resize(keep);
    bar = *std::min_element(top.begin(), top.end());  // a value equal to it leaves the k + 1 strongest as they are
}

std::optional<CapSuggestion> suggestCap(ValueView values) {
    // The strongest 0.01 % of the points: of the values given, those that take part or not.
    if (values.size() < 2) return std::nullopt;
    StrongestValues strongest(values.size());
    for (double v : values) strongest.offer(v);
    return suggestCap(std::move(strongest));
}

std::optional<CapSuggestion> suggestCap(StrongestValues strongest) {
    const int64_t k = static_cast<int64_t>(strongest.k);
    std::vector<double>& top = strongest.top;
    if (top.size() < strongest.k + 1) return std::nullopt;
    if (top.size() > strongest.k + 1) strongest.keepStrongest();
    std::sort(top.begin(), top.end(), std::greater<double>());  // the k + 1 largest, largest first
    // The largest group of the strongest whose weakest lies above 3 times the next value.
    int64_t above = 0;
    for (int64_t j = 1; j <= k; ++j)
        if (top[static_cast<size_t>(j)] > 0 && top[static_cast<size_t>(j - 1)] > 3 * top[static_cast<size_t>(j)]) above = j;
    if (above == 0) return std::nullopt;
    const double below = top[static_cast<size_t>(above)];
    // A round cap above the rest: 1, 2 or 5 times a power of ten, or the next whole multiple of 5 from 10 on.
    const double wanted = below * 1.2;
    double cap;
    if (wanted >= 10) {
        cap = std::ceil(wanted / 5) * 5;
    } else {
        const double base = std::pow(10.0, std::floor(std::log10(wanted)));
        cap = 10 * base;
        for (double m : {1.0, 2.0, 5.0})
            if (m * base >= wanted) { cap = m * base; break; }
    }
    return CapSuggestion{below, cap, above};
}

}  // namespace vennrick
