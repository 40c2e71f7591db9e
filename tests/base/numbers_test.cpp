// Number conversions against the toolkit's, the divisor, the switch fallbacks and the logarithm of tiny numbers.
#include "base/numbers.h"

#include <QString>

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

// The toolkit's conversions are the reference: every case is checked against them, not against a
// hand-written expectation.
QString qtext(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void expectSameAsToolkitDouble(const std::string& text) {
    bool ok = false;
    const double want = qtext(text).toDouble(&ok);
    const std::optional<double> got = parseDouble(text);
    ASSERT_EQ(got.has_value(), ok) << "[" << text << "]";
    if (ok)
        EXPECT_TRUE(std::isnan(want) ? std::isnan(*got) : *got == want && std::signbit(*got) == std::signbit(want))
            << "[" << text << "] gives " << *got << ", the toolkit " << want;
}

// parseInt, and parseIntInBuffer with digits, blanks and letters after the text in its buffer.
void expectSameAsToolkitInt(const std::string& text) {
    bool ok = false;
    const int want = qtext(text).toInt(&ok, 10);
    const std::optional<int32_t> got = parseInt(text);
    ASSERT_EQ(got.has_value(), ok) << "[" << text << "]";
    if (ok) EXPECT_EQ(*got, want) << "[" << text << "]";
    for (const char* after : {"12345678", " \t-x\0\0\0\0"}) {
        const std::string buffer = text + std::string(after, 8);
        int32_t inBuffer = -1;
        const std::string_view field = std::string_view(buffer).substr(0, text.size());
        ASSERT_EQ(parseIntInBuffer(field, inBuffer), ok) << "[" << text << "]";
        if (ok) EXPECT_EQ(inBuffer, want) << "[" << text << "]";
    }
}

// 20,000 random texts of up to maxLength - 1 characters of the alphabet.
template <class Check>
void randomTexts(unsigned seed, const std::string& alphabet, unsigned maxLength, Check check) {
    std::mt19937 random(seed);
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        for (unsigned i = random() % maxLength; i > 0; --i) text += alphabet[random() % alphabet.size()];
        check(text);
    }
}

}  // namespace

TEST(numbers_test, conversions_match_the_toolkit) {
    const Case texts = loadCases("numbers.txt").at(0);
    for (const auto& [kind, text] : texts.items)
        kind == "double" ? expectSameAsToolkitDouble(unescaped(text)) : expectSameAsToolkitInt(unescaped(text));
    randomTexts(12345, "0123456789.eE+- \tnaifNIF", 8, expectSameAsToolkitDouble);
    randomTexts(777, "0123456789+- x", 12, expectSameAsToolkitInt);
    randomTexts(778, "0123456789", 11, expectSameAsToolkitInt);
}

TEST(numbers_test, long_significands_near_the_fast_path_limits_match_the_toolkit) {
    // Plain decimals of up to 19 digits with exponents up to +-22 are converted by one multiplication or
    // division; longer significands, larger exponents and values beyond 2^53 take the general path.
    std::mt19937_64 random(2024);
    for (int n = 0; n < 20000; ++n) {
        const int digits = 15 + static_cast<int>(random() % 6);  // 15..20 significant digits
        std::string text = std::to_string(1 + random() % 9);
        for (int i = 1; i < digits; ++i) text += static_cast<char>('0' + random() % 10);
        if (random() % 2) text.insert(1 + random() % (text.size() - 1), ".");
        const int exponent = static_cast<int>(random() % 51) - 25;  // -25..25
        if (exponent != 0) text += "e" + std::to_string(exponent);
        expectSameAsToolkitDouble(text);
    }
}

TEST(numbers_test, divisor_truncates_like_division) {
    std::mt19937 random(99);
    const int32_t dividends[] = {0, 1, -1, 9, 10, -15, 12345, INT32_MAX, INT32_MIN, INT32_MIN + 1, 2147483646};
    for (int32_t d : {1, 2, 3, 7, 10, 1000, 65536, 99999989, INT32_MAX - 1, INT32_MAX}) {
        const Divisor divisor(d);
        for (int32_t n : dividends)
            EXPECT_EQ(divisor.divide(n), static_cast<int32_t>(int64_t{n} / d)) << n << " / " << d;
        for (int i = 0; i < 20000; ++i) {
            const auto n = static_cast<int32_t>(random());
            EXPECT_EQ(divisor.divide(n), static_cast<int32_t>(int64_t{n} / d)) << n << " / " << d;
        }
    }
}

TEST(numbers_test, switch_values_read_as_zero_when_they_do_not_convert) {
    EXPECT_EQ(static_cast<double>(toFloatOrZero("7.3")), 7.30000019073486328125);
    EXPECT_EQ(toFloatOrZero("abc"), 0.0f);
    EXPECT_EQ(toFloatOrZero("1e39"), 0.0f);          // beyond the float range
    EXPECT_EQ(toFloatOrZero("3.4028235e38"), 0.0f);  // rounds to the largest float but lies above it
    EXPECT_EQ(toFloatOrZero("1e-46"), 0.0f);         // underflows to zero
    EXPECT_GT(toFloatOrZero("1e-45"), 0.0f);         // the smallest subnormal survives
    EXPECT_TRUE(std::isinf(toFloatOrZero("inf")));
    EXPECT_EQ(toIntOrZero("x"), 0);
    EXPECT_EQ(toIntOrZero(" -3 "), -3);
}

TEST(numbers_test, tiny_numbers_give_their_logarithm_from_the_text) {
    EXPECT_DOUBLE_EQ(*minusLog10OfTinyNumber("1e-400"), 400.0);
    EXPECT_NEAR(*minusLog10OfTinyNumber("2.5E-1000"), 1000 - std::log10(2.5), 1e-9);
    EXPECT_NEAR(*minusLog10OfTinyNumber(" 0.00034e-330 "), 333 + 1 - std::log10(3.4), 1e-9);
    EXPECT_TRUE(std::isnan(*minusLog10OfTinyNumber("-1e-400")));
    EXPECT_GT(*minusLog10OfTinyNumber("1e-99999999999999999999"), 1e9);
    // Representable, exactly zero, overflow and trailing text are no tiny numbers.
    for (const char* other : {"1e-300", "0e-400", "1e400", "1e-400x"}) EXPECT_FALSE(minusLog10OfTinyNumber(other)) << other;
}
