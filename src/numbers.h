// Number conversions with the toolkit's text rules, written once and shared by the settings and the
// per-row path of the table reader.
//
// Accepted by every kind: surrounding white space (for floating point also the Unicode space characters in
// UTF-8), an optional sign, and nothing else around the number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vennrick {

// Base-10 signed 32-bit integer: digits only, no group separators, no decimal point; out of range fails.
std::optional<int32_t> parseInt(std::string_view text);

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
