// The QQ statistics: which values take part, the median by selection against a full sort, and lambda against
// values computed independently (chi-squared statistics turned into p-values with erfc; a reference quantile).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "qq_stats.h"

using namespace vennrick;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kChiSquaredMedian = 0.454936423119572751942516646979649;  // of 1 degree of freedom

// -log10 of the upper-tail p-value of a chi-squared statistic x with 1 degree of freedom: p = erfc(sqrt(x / 2)).
double valueOfStatistic(double x) { return -std::log10(std::erfc(std::sqrt(x / 2))); }

double median(std::vector<double> x) {
    std::sort(x.begin(), x.end());
    const size_t n = x.size();
    return n % 2 == 1 ? x[n / 2] : (x[n / 2 - 1] + x[n / 2]) / 2;
}

}  // namespace

TEST(qq_stats_test, which_values_take_part) {
    // p = 1 (0 and -0), p below the double range (400) and the largest double take part; NaN (p not a number
    // or negative), infinities and negative values (p above 1) do not.
    const std::vector<double> values = {0.0, -0.0, 1.5, 400.0, std::numeric_limits<double>::max(),
                                        kNaN, -kNaN, kInf, -kInf, -0.5, -1e-300};
    const QqSample sample = sampleValues(values);
    EXPECT_EQ(sample.usable, 5);
    EXPECT_EQ(sample.excluded, 6);
    EXPECT_EQ(sample.maxValue, std::numeric_limits<double>::max());
    EXPECT_EQ(sampleValues({kNaN, -1.0}).maxValue, 0.0);
    EXPECT_EQ(sampleValues({}).usable, 0);
}

TEST(qq_stats_test, selection_equals_a_full_sort) {
    // Sizes on both sides of the copy limit (2^18 candidates), ties, excluded values among them, one value
    // everywhere (every bit settled by counting), and a middle that straddles two leading bins.
    std::mt19937_64 random(7);
    std::vector<std::vector<double>> inputs;
    for (size_t n : {2u, 3u, 17u, 1000u, 300001u, 700000u}) {
        std::vector<double> v(n);
        std::uniform_real_distribution<double> u(0, 1);
        for (double& x : v) x = -std::log10(std::max(std::round(u(random) * 1000) / 1000, 1e-9));
        for (size_t k = 0; k < n / 10; ++k) v[random() % n] = (k % 3 == 0) ? kNaN : (k % 3 == 1) ? -2.0 : kInf;
        inputs.push_back(v);
    }
    inputs.push_back(std::vector<double>(600000, 2.5));
    std::vector<double> straddle(600000, 0.25);
    std::fill(straddle.begin() + 300000, straddle.end(), 0.5);  // ranks 299999 and 300000 in different bins
    inputs.push_back(straddle);
    for (const std::vector<double>& v : inputs) {
        std::vector<double> sorted;
        for (double x : v)
            if (takesPart(x)) sorted.push_back(x);
        std::sort(sorted.begin(), sorted.end());
        const QqSample sample = sampleValues(v);
        ASSERT_EQ(sample.usable, static_cast<int64_t>(sorted.size()));
        const auto n = static_cast<int64_t>(sorted.size());
        for (int64_t k : {int64_t{0}, (n - 1) / 2, n / 3, n - 1}) {
            const int64_t hi = std::min(k + 1, n - 1);
            const auto [a, b] = usableValuesAtRanks(v, sample, k, hi);
            EXPECT_EQ(a, sorted[static_cast<size_t>(k)]) << "n " << n << " rank " << k;
            EXPECT_EQ(b, sorted[static_cast<size_t>(hi)]) << "n " << n << " rank " << hi;
        }
    }
}

TEST(qq_stats_test, lambda_of_known_statistics) {
    // lambda = median of the statistics over 0.4549...; odd and even counts, above and below the copy limit,
    // with p = 1 (statistic 0) among them and values that take no part mixed in.
    std::mt19937_64 random(11);
    std::chi_squared_distribution<double> chi(1.0);
    for (size_t n : {2u, 5u, 6u, 300001u, 300002u}) {
        std::vector<double> x(n), values;
        for (double& s : x) s = 1.3 * chi(random);  // inflated by 1.3
        x[0] = 0.0;
        for (double s : x) {
            values.push_back(valueOfStatistic(s));
            if (values.size() % 7 == 0) values.insert(values.end(), {kNaN, -0.3});
        }
        const std::optional<double> lambda = inflationFactor(values, sampleValues(values));
        ASSERT_TRUE(lambda.has_value());
        EXPECT_NEAR(*lambda, median(x) / kChiSquaredMedian, 1e-9 * *lambda) << n << " statistics";
    }
    // Uniform p-values i / (n + 1): the middle one is 0.5, so lambda is 1.
    std::vector<double> uniform;
    for (int i = 1; i <= 100001; ++i) uniform.push_back(-std::log10(i / 100002.0));
    EXPECT_NEAR(*inflationFactor(uniform, sampleValues(uniform)), 1.0, 1e-12);
}

TEST(qq_stats_test, tiny_p_values_and_too_few) {
    // The quantile of p = 1e-400 (far below the double range): 1834.10109294702877876..., from an independent
    // root of log10(erfc(sqrt(q / 2))) = -400 at 40 digits.
    EXPECT_NEAR(chiSquaredQuantile(400.0), 1834.101092947028779, 1e-9);
    EXPECT_EQ(chiSquaredQuantile(0.0), 0.0);
    const std::optional<double> lambda = inflationFactor({500.0, 0.1, 400.0}, sampleValues({500.0, 0.1, 400.0}));
    EXPECT_NEAR(*lambda, 1834.101092947028779 / kChiSquaredMedian, 1e-9);
    // A middle p-value too small even for long double: lambda is infinite, still ordered by its value.
    EXPECT_EQ(formatLambda(inflationFactor({6000.0, 7000.0, 0.1}, sampleValues({6000.0, 7000.0, 0.1}))), "inf");
    // A middle value between one of them and p = 1.
    const std::vector<double> mixed = {9000.0, valueOfStatistic(0.2345), 0.0};
    EXPECT_NEAR(*inflationFactor(mixed, sampleValues(mixed)), 0.2345 / kChiSquaredMedian, 1e-12);
    // Fewer than two usable values.
    for (const std::vector<double>& v : {std::vector<double>{}, {0.3}, {0.3, kNaN, -1.0}})
        EXPECT_EQ(formatLambda(inflationFactor(v, sampleValues(v))), "NA");
    EXPECT_EQ(formatLambda(1.02345), "1.0234");  // %.4f of the double just below 1.02345
    EXPECT_EQ(formatLambda(1.0), "1.0000");
}
