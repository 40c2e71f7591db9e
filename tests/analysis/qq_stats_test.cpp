// The QQ statistics: which values take part, the median by selection against a full sort, and lambda against
// values computed independently (chi-squared statistics turned into p-values with erfc; a reference quantile).

#include "test_support.h"
#include "analysis/qq_stats.h"

using namespace vennrick;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kChiSquaredMedian = 0.454936423119572751942516646979649;  // of 1 degree of freedom

// -log10 of the upper-tail p-value of a chi-squared statistic x with 1 degree of freedom: p = erfc(sqrt(x / 2)).
double valueOfStatistic(double x) { return -std::log10(std::erfc(std::sqrt(x / 2))); }

std::optional<double> lambdaOf(const std::vector<double>& values) {
    return inflationFactor(values, sampleValues(values));
}

}  // namespace

TEST(qq_stats_test, selection_equals_a_full_sort) {
    // p = 1 (0 and -0), p below the double range (400) and the largest double take part; NaN, infinities and
    // negative values (p above 1) do not.
    const std::vector<double> oddValues = {0.0, -0.0, 400.0, std::numeric_limits<double>::max(), kNaN, kInf, -kInf, -0.5};
    const QqSample odd = sampleValues(oddValues);
    EXPECT_EQ(std::make_tuple(odd.usable, odd.excluded, odd.maxValue),
              std::make_tuple(int64_t{4}, int64_t{4}, std::numeric_limits<double>::max()));
    // Sizes on both sides of the copy limit (2^18), ties and values that take no part; one value everywhere
    // (every bit settled by counting); middle ranks in two different leading bins.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::vector<double>> inputs = {std::vector<double>(600000, 2.5), std::vector<double>(600000, 0.25)};
    std::fill(inputs[1].begin() + 300000, inputs[1].end(), 0.5);
    for (size_t n : {2u, 17u, 1000u, 300001u, 700000u}) {
        std::vector<double> v(n);
        for (double& x : v) x = -std::log10(std::max(std::round(u(random) * 1000) / 1000, 1e-9));
        for (size_t k = 0; k < n / 10; ++k) v[random() % n] = k % 2 == 0 ? kNaN : -2.0;
        inputs.push_back(v);
    }
    for (const std::vector<double>& v : inputs) {
        std::vector<double> sorted;
        std::copy_if(v.begin(), v.end(), std::back_inserter(sorted), takesPart);
        std::sort(sorted.begin(), sorted.end());
        const QqSample sample = sampleValues(v);
        ASSERT_EQ(sample.usable, static_cast<int64_t>(sorted.size()));
        const auto n = static_cast<int64_t>(sorted.size());
        for (int64_t k : {int64_t{0}, (n - 1) / 2, n / 3, n - 2}) {
            const auto [a, b] = usableValuesAtRanks(v, sample, k, k + 1);
            EXPECT_TRUE(a == sorted[k] && b == sorted[k + 1]) << "n " << n << " ranks " << k << ", " << k + 1;
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
        for (double& s : x) s = 1.3 * chi(random);
        x[0] = 0.0;
        for (double s : x) values.insert(values.end(), {valueOfStatistic(s), kNaN, -0.3});
        std::sort(x.begin(), x.end());
        const double median = n % 2 == 1 ? x[n / 2] : (x[n / 2 - 1] + x[n / 2]) / 2;
        EXPECT_NEAR(*lambdaOf(values), median / kChiSquaredMedian, 1e-9 * median) << n << " statistics";
    }
    // Uniform p-values i / (n + 1): the middle one is 0.5, so lambda is 1.
    std::vector<double> uniform;
    for (int i = 1; i <= 100001; ++i) uniform.push_back(-std::log10(i / 100002.0));
    EXPECT_NEAR(*lambdaOf(uniform), 1.0, 1e-12);
}

TEST(qq_stats_test, tiny_p_values_and_too_few) {
    // The quantile of p = 1e-400, far below the double range: 1834.10109294702877876..., an independent root of
    // log10(erfc(sqrt(q / 2))) = -400 at 40 digits.
    EXPECT_NEAR(*lambdaOf({500.0, 0.1, 400.0}), 1834.101092947028779 / kChiSquaredMedian, 1e-9);
    EXPECT_NEAR(*lambdaOf({9000.0, valueOfStatistic(0.2345), 0.0}), 0.2345 / kChiSquaredMedian, 1e-12);
    // Too many equal values to gather: selected in passes of its own, with the same result.
    EXPECT_EQ(lambdaOf(std::vector<double>(300000, 0.5)), lambdaOf({0.5, 0.5, 0.5}));
    // A middle p-value too small even for long double: lambda is infinite, still ordered by its value.
    EXPECT_EQ(formatLambda(lambdaOf({6000.0, 7000.0, 0.1})), "inf");
    for (const std::vector<double>& v : {std::vector<double>{}, {0.3}, {0.3, kNaN, -1.0}})
        EXPECT_EQ(formatLambda(lambdaOf(v)), "NA");
    EXPECT_EQ(formatLambda(1.02345), "1.0234");  // %.4f of the double just below 1.02345
}

TEST(qq_stats_test, a_cap_is_suggested_for_a_few_values_far_above_the_rest) {
    std::vector<double> values;
    for (int i = 0; i < 100000; ++i) values.push_back(8.0 * i / 100000);  // the largest of the rest: 8
    EXPECT_FALSE(suggestCap(values)) << "no value stands apart";
    values.push_back(400);  // one p = 1e-400
    std::optional<CapSuggestion> cap = suggestCap(values);
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->above, 1);
    EXPECT_NEAR(cap->below, 8, 1e-3);
    EXPECT_EQ(cap->cap, 10);
    EXPECT_EQ(capSuggestionLine(*cap),
              "the strongest value lies above 3 times the next (8) and flattens the rest of the plot: -ymax 10 would "
              "cap the -log10(p) axis there");
    values.push_back(100);  // a second group member, still above 3 x 8
    cap = suggestCap(values);
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->above, 2);
    for (int i = 0; i < 20; ++i) values.push_back(150);  // 22 strong values, more than 0.01 % of 100022, together
    EXPECT_FALSE(suggestCap(values)) << "a group larger than 0.01 % is the signal, not an outlier";
    EXPECT_FALSE(suggestCap(std::vector<double>{0.5}));
}
