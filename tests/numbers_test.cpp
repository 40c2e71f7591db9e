#include "numbers.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace vennrick;

namespace {

// The toolkit's conversions are the reference: every case is checked against them, not against a
// hand-written expectation.
void expectSameAsToolkitDouble(const std::string& text) {
    bool ok = false;
    double expected = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toDouble(&ok);
    std::optional<double> got = parseDouble(text);
    ASSERT_EQ(got.has_value(), ok) << "[" << text << "]";
    if (!ok) return;
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(*got)) << text;
    } else {
        EXPECT_EQ(*got, expected) << text;
        EXPECT_EQ(std::signbit(*got), std::signbit(expected)) << text;
    }
}

void expectSameAsToolkitInt(const std::string& text) {
    bool ok = false;
    int expected = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toInt(&ok, 10);
    std::optional<int32_t> got = parseInt(text);
    ASSERT_EQ(got.has_value(), ok) << "[" << text << "]";
    if (ok) EXPECT_EQ(*got, expected) << text;
}

const char* const kDoubleTable[] = {
    " 1.5 ", "\t1.5\t", "1.5\r", "1.", ".5", "+.5e1", "5E-8", "8.179e-07", "1.064e-22", "4.9e-324", "1e-320",
    "2.4e-324", "2.5e-324", "1e308", "1.7976931348623157e308", "1.8e308", "1e400", "1e-400", "-1e-400",
    "0e-400", "0.0e-999", "inf", "INF", "Inf", "-inf", "+inf", "nan", "NaN", "NAN", "-nan", "+nan",
    "Infinity", "infinity", "nan(1)", "0x10", "0x1p3", "1,5", "1d-5", "1e", "1e+", "e5", ".", "-.", ".e1",
    "1.e1", "", " ", "-", "+", "+-1", "-+1", "--1", "1 5", "1.5e3x", "1.5f", "00012", "1_0", "-0", " -0 ",
    "1e0001", "1E+05", "0.000", "-0.0e5", "1.5\xc2\xa0", "\xc2\xa0" "2", "\xe3\x80\x80" "3\xe2\x80\x83",
    "\xc2\x85" "4", "\xe2\x80\x8b" "5", "\xef\xbc\x91", "1e99999999999999999999", "1e-99999999999999999999",
    "0.7183", "NA", "12345678901234567890123", "0.000000000000000000000000000001",
};

}  // namespace

TEST(numbers_test, double_conversion_matches_the_toolkit_on_the_documented_forms) {
    for (const char* text : kDoubleTable) expectSameAsToolkitDouble(text);
}

TEST(numbers_test, double_conversion_matches_the_toolkit_on_random_texts) {
    std::mt19937 random(12345);
    const std::string alphabet = "0123456789.eE+- \tnaifNIF";
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        int length = static_cast<int>(random() % 8);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        expectSameAsToolkitDouble(text);
    }
}

TEST(numbers_test, int_conversion_matches_the_toolkit) {
    const char* const table[] = {" 12 ", "\t12", "12\r", "+12", "-12", "012", "2147483647", "2147483648",
                                 "-2147483648", "-2147483649", "1e3", "12.0", "0x1f", "1,000", "", "+", "-",
                                 " - 1", "\v12", "12\n", "99999999999999999999", "+-1",
                                 "00000000000000000000000012", "\xc2\xa0" "7", "7\xe2\x80\xaf", "-0"};
    for (const char* text : table) expectSameAsToolkitInt(text);
    std::mt19937 random(777);
    const std::string alphabet = "0123456789+- x";
    for (int n = 0; n < 20000; ++n) {
        std::string text;
        int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        expectSameAsToolkitInt(text);
    }
}

TEST(numbers_test, float_conversion_fails_outside_single_precision_and_reads_as_zero) {
    EXPECT_EQ(toFloatOrZero("7.3"), 7.3f);
    EXPECT_EQ(static_cast<double>(toFloatOrZero("7.3")), 7.30000019073486328125);
    EXPECT_EQ(toFloatOrZero("abc"), 0.0f);
    EXPECT_EQ(toFloatOrZero("1e39"), 0.0f);           // beyond the float range
    EXPECT_EQ(toFloatOrZero("3.4028235e38"), 0.0f);   // rounds to the largest float but lies above it
    EXPECT_EQ(toFloatOrZero("1e-46"), 0.0f);          // underflows to zero
    EXPECT_GT(toFloatOrZero("1e-45"), 0.0f);          // the smallest subnormal survives
    EXPECT_TRUE(std::isinf(toFloatOrZero("inf")));
    EXPECT_EQ(toIntOrZero("x"), 0);
    EXPECT_EQ(toIntOrZero(" -3 "), -3);
}

TEST(numbers_test, tiny_numbers_give_their_logarithm_from_the_text) {
    EXPECT_DOUBLE_EQ(*minusLog10OfTinyNumber("1e-400"), 400.0);
    EXPECT_NEAR(*minusLog10OfTinyNumber("2.5E-1000"), 1000 - std::log10(2.5), 1e-9);
    EXPECT_NEAR(*minusLog10OfTinyNumber(" 0.00034e-330 "), 333 + 1 - std::log10(3.4), 1e-9);
    EXPECT_TRUE(std::isnan(*minusLog10OfTinyNumber("-1e-400")));
    EXPECT_FALSE(minusLog10OfTinyNumber("1e-300"));   // representable: the ordinary path handles it
    EXPECT_FALSE(minusLog10OfTinyNumber("0e-400"));   // exactly zero
    EXPECT_FALSE(minusLog10OfTinyNumber("1e400"));    // overflow is no tiny number
    EXPECT_FALSE(minusLog10OfTinyNumber("1e-400x"));
    EXPECT_GT(*minusLog10OfTinyNumber("1e-99999999999999999999"), 1e9);
}
