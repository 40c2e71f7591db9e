// Number conversions with the toolkit's text rules, written once and shared by the settings and the
// per-row path of the table reader.
//
// Accepted by every kind: surrounding white space (for floating point also the Unicode space characters in
// UTF-8), an optional sign, and nothing else around the number.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace vennrick {

namespace detail {

// Eight ASCII characters loaded as a little-endian word: whether all are digits, and their value.
inline bool eightDigits(uint64_t chars) {
    return ((chars & 0xF0F0F0F0F0F0F0F0u) | (((chars + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) ==
           0x3333333333333333u;
}

inline uint32_t eightDigitsValue(uint64_t chars) {
    chars -= 0x3030303030303030u;
    chars = chars * 10 + (chars >> 8);  // pairs of digits
    chars = (((chars & 0x000000FF000000FFu) * (100 + (uint64_t{1000000} << 32))) +
             (((chars >> 16) & 0x000000FF000000FFu) * (1 + (uint64_t{10000} << 32)))) >> 32;
    return static_cast<uint32_t>(chars);
}

}  // namespace detail

// Base-10 signed 32-bit integer: digits only, no group separators, no decimal point; out of range fails.
std::optional<int32_t> parseInt(std::string_view text);

// parseInt into value, false when it fails, where the 8 bytes from text.data() on are readable (those after
// the text are ignored), as in a buffer of the table reader. The common form, 1 to 9 plain digits (a
// chromosome position), is read without a branch on its length: positions of 7, 8 and 9 digits mixed at
// random made the length tests mispredict. (A flag and an out-parameter rather than an optional: the
// optional's two parts, stored apart and loaded as one, stalled the row loop.)
inline bool parseIntInBuffer(std::string_view text, int32_t& value) {
    if (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && text.size() - 1 < 9) {
        const size_t nine = text.size() == 9;  // a 9th digit, the leading one, is read on its own
        const uint32_t lead = nine ? static_cast<uint32_t>(static_cast<unsigned char>(text[0])) - '0' : 0;
        uint64_t chars;
        std::memcpy(&chars, text.data() + nine, 8);
        // The n digit characters to the top of the word, '0's shifted in below them: 8 digits of the same value.
        const unsigned shift = 64 - 8 * static_cast<unsigned>(text.size() - nine);
        chars = (chars << shift) | (0x3030303030303030u & ~(~uint64_t{0} << shift));
        if (lead <= 9 && detail::eightDigits(chars)) {
            value = static_cast<int32_t>(lead * 100000000u + detail::eightDigitsValue(chars));
            return true;
        }
    }
    const std::optional<int32_t> parsed = parseInt(text);
    value = parsed.value_or(0);
    return parsed.has_value();
}

// Truncating division of a 32-bit integer by a fixed divisor (>= 1) without a division instruction, whose
// latency was a tenth of a row's time when positions were divided: |n| times a 64-bit reciprocal, the top half
// of the product, is exact for every 32-bit |n| and divisor of at least 2 (Lemire, Kaser and Kurz 2019).
struct Divisor {
    int32_t divisor = 1;
    uint64_t reciprocal = 0;  // ceil(2^64 / divisor); unused for divisor 1

    explicit Divisor(int32_t d = 1) : divisor(d), reciprocal(d > 1 ? UINT64_MAX / static_cast<uint64_t>(d) + 1 : 0) {}

    // n / divisor, truncated toward zero.
    int32_t divide(int32_t n) const {
        if (divisor == 1) return n;
        const uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
        const auto quotient = static_cast<int32_t>((static_cast<unsigned __int128>(reciprocal) * magnitude) >> 64);
        return n < 0 ? -quotient : quotient;
    }
};

// Floating point in decimal or scientific form ("1.", ".5", "+.5e1", "5E-8"), "inf" with an optional sign
// and "nan" without one (any letter case). Fails on overflow to infinity and on underflow to zero.
std::optional<double> parseDouble(std::string_view text);

// Single precision: parseDouble, then fails when the magnitude exceeds the float range or rounds to zero.
std::optional<float> parseFloat(std::string_view text);

// The switch-value forms: text that does not convert reads as 0.
int32_t toIntOrZero(std::string_view text);
float toFloatOrZero(std::string_view text);

// For a number in decimal or scientific form whose value is too small for a double (parseDouble fails
// with underflow, e.g. "1e-400"): -log10 of its value, computed from the mantissa and exponent. nullopt for
// any other text. A negative number gives NaN, as the logarithm of a negative value does.
std::optional<double> minusLog10OfTinyNumber(std::string_view text);

// The text with surrounding white space removed, as the conversions see it.
std::string_view trimSpace(std::string_view text);

}  // namespace vennrick
