#include "numbers.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace vennrick;

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

TEST(numbers_test, double_conversion_matches_the_toolkit) {
    for (const char* text : {
             " 1.5 ", "\t1.5\t", "1.5\r", "1.", ".5", "+.5e1", "5E-8", "8.179e-07", "1.064e-22", "4.9e-324", "1e-320",
             "2.4e-324", "2.5e-324", "1e308", "1.7976931348623157e308", "1.8e308", "1e400", "1e-400", "-1e-400",
             "0e-400", "0.0e-999", "inf", "INF", "Inf", "-inf", "+inf", "nan", "NaN", "NAN", "-nan", "+nan",
             "Infinity", "infinity", "nan(1)", "0x10", "0x1p3", "1,5", "1d-5", "1e", "1e+", "e5", ".", "-.", ".e1",
             "1.e1", "", " ", "-", "+", "+-1", "-+1", "--1", "1 5", "1.5e3x", "1.5f", "00012", "1_0", "-0", " -0 ",
             "1e0001", "1E+05", "0.000", "-0.0e5", "1.5\xc2\xa0", "\xc2\xa0" "2", "\xe3\x80\x80" "3\xe2\x80\x83",
             "\xc2\x85" "4", "\xe2\x80\x8b" "5", "\xef\xbc\x91", "1e99999999999999999999", "1e-99999999999999999999",
             "0.7183", "NA", "12345678901234567890123", "0.000000000000000000000000000001"})
        expectSameAsToolkitDouble(text);
    randomTexts(12345, "0123456789.eE+- \tnaifNIF", 8, expectSameAsToolkitDouble);
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
    for (const char* text : {"9007199254740993", "9007199254740992.5", "9007199254740993e22", "1e22", "1e23",
                             "4.5035996273704985e-22", "9999999999999999999e-22", "18446744073709551615",
                             "18446744073709551616e-23"})
        expectSameAsToolkitDouble(text);
}

TEST(numbers_test, int_conversion_matches_the_toolkit) {
    for (const char* text : {" 12 ", "\t12", "12\r", "+12", "-12", "012", "2147483647", "2147483648", "-2147483648",
                             "-2147483649", "1e3", "12.0", "0x1f", "1,000", "", "+", "-", " - 1", "\v12", "12\n",
                             "99999999999999999999", "+-1", "00000000000000000000000012", "\xc2\xa0" "7",
                             "7\xe2\x80\xaf", "-0", "7", "123456789", "999999999", "1234567890", "x23456789",
                             "12345678x", "00000000", "/0000000", ":0000000", "-12345678"})
        expectSameAsToolkitInt(text);
    randomTexts(777, "0123456789+- x", 12, expectSameAsToolkitInt);
    randomTexts(778, "0123456789", 11, expectSameAsToolkitInt);
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
