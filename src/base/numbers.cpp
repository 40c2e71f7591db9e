// Number conversions: the toolkit's integer and floating-point rules, written once, for settings and rows alike.
#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vennrick {
namespace {

bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Length of a UTF-8 encoded Unicode space character at the start of s, 0 if none. Covers U+0085, U+00A0,
// U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
size_t unicodeSpaceAtStart(std::string_view s) {
    auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    if (s.size() >= 2 && b(0) == 0xC2 && (b(1) == 0x85 || b(1) == 0xA0)) return 2;
    if (s.size() >= 3) {
        if (b(0) == 0xE1 && b(1) == 0x9A && b(2) == 0x80) return 3;
        if (b(0) == 0xE2 && b(1) == 0x80 &&
            ((b(2) >= 0x80 && b(2) <= 0x8A) || b(2) == 0xA8 || b(2) == 0xA9 || b(2) == 0xAF))
            return 3;
        if (b(0) == 0xE2 && b(1) == 0x81 && b(2) == 0x9F) return 3;
        if (b(0) == 0xE3 && b(1) == 0x80 && b(2) == 0x80) return 3;
    }
    return 0;
}

size_t unicodeSpaceAtEnd(std::string_view s) {
    for (size_t len : {size_t{2}, size_t{3}}) {
        if (s.size() >= len && unicodeSpaceAtStart(s.substr(s.size() - len)) == len) return len;
    }
    return 0;
}

bool equalsNoCase(std::string_view a, std::string_view lowerB) {
    if (a.size() != lowerB.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerB[i]) return false;
    }
    return true;
}

// Shape of a number in decimal or scientific form: [+-]? (d+ (. d*)? | . d+) ([eE] [+-]? d+)?
struct DecimalShape {
    bool valid = false;
    bool negative = false;
    std::string_view body;   // text without a leading '+' (a '-' is kept), as std::from_chars accepts it
    bool hasNonZeroDigit = false;
    long long magnitude = 0;  // decimal exponent of the leading non-zero digit, saturated
};

DecimalShape scanDecimal(std::string_view s) {
    DecimalShape shape;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        shape.negative = s[i] == '-';
        ++i;
    }
    shape.body = s[0] == '+' ? s.substr(1) : s;
    size_t intDigits = 0, fracDigits = 0;
    long long firstNonZero = 0;  // position of the leading non-zero digit relative to the decimal point
    bool found = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        if (!found && s[i] != '0') {
            found = true;
            firstNonZero = 0;
        } else if (found) {
            ++firstNonZero;
        }
        ++intDigits;
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++fracDigits;
            if (!found && s[i] != '0') {
                found = true;
                firstNonZero = -static_cast<long long>(fracDigits);
            }
            ++i;
        }
    }
    if (intDigits + fracDigits == 0) return shape;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            ++i;
        }
        size_t expDigits = 0;
        constexpr long long kSaturate = 1000000000000LL;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (exponent < kSaturate) exponent = exponent * 10 + (s[i] - '0');
            ++expDigits;
            ++i;
        }
        if (expDigits == 0) return shape;
        if (expNegative) exponent = -exponent;
    }
    if (i != s.size()) return shape;
    shape.valid = true;
    shape.hasNonZeroDigit = found;
    shape.magnitude = firstNonZero + exponent;
    return shape;
}

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

}  // namespace

std::string_view trimSpace(std::string_view s) {
    for (;;) {
        if (!s.empty() && isAsciiSpace(static_cast<unsigned char>(s.front()))) {
            s.remove_prefix(1);
        } else if (size_t n = s.empty() || static_cast<unsigned char>(s.front()) < 0x80 ? 0 : unicodeSpaceAtStart(s)) {
            s.remove_prefix(n);
        } else {
            break;
        }
    }
    for (;;) {
        if (!s.empty() && isAsciiSpace(static_cast<unsigned char>(s.back()))) {
            s.remove_suffix(1);
        } else if (size_t n = s.empty() || static_cast<unsigned char>(s.back()) < 0x80 ? 0 : unicodeSpaceAtEnd(s)) {
            s.remove_suffix(n);
        } else {
            break;
        }
    }
    return s;
}

std::optional<int32_t> parseInt(std::string_view text) {
    // The common form, 1 to 9 plain digits, cannot overflow: read it in one pass, the first 8 digits of a
    // long one (a chromosome position) at once.
    if (!text.empty() && text.size() <= 9) {
        uint32_t value = 0;
        size_t i = 0;
        if (kLittleEndian && text.size() >= 8) {
            uint64_t eight;
            std::memcpy(&eight, text.data(), 8);
            if (detail::eightDigits(eight)) {
                value = detail::eightDigitsValue(eight);
                i = 8;
            }
        }
        for (; i < text.size(); ++i) {
            const uint32_t digit = static_cast<unsigned char>(text[i]) - uint32_t{'0'};
            if (digit > 9) break;
            value = value * 10 + digit;
        }
        if (i == text.size()) return static_cast<int32_t>(value);
    }
    // Integers, unlike floating-point numbers, are trimmed of ASCII white space only.
    std::string_view s = text;
    while (!s.empty() && isAsciiSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{1} << 31) return std::nullopt;  // keeps the sum far from overflow
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

namespace {

// The plain forms of nearly every table, "0.6512", "-1.5", "8.179e-07", read in one pass: at most 19 digits
// in all and a decimal exponent that leaves them exact. Then the value is the significand times or divided by
// an exact power of ten, one correctly rounded operation, which is what a full conversion gives too. Other
// texts (signs other than '-', blanks, zero, longer or larger numbers, letters) are left to the full path.
bool parsePlainDecimal(std::string_view s, double& result) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    auto digitAt = [](const char* p) { return static_cast<unsigned>(static_cast<unsigned char>(*p) - '0'); };
    const char* p = s.data();
    const char* const end = p + s.size();
    const bool negative = p != end && *p == '-';
    if (negative) ++p;
    uint64_t significand = 0;  // wraps beyond 19 digits, which are refused below
    const char* start = p;
    for (; p != end && digitAt(p) <= 9; ++p) significand = significand * 10 + digitAt(p);
    int digits = static_cast<int>(p - start);
    int fractionDigits = 0;
    if (p != end && *p == '.') {
        start = ++p;
        for (; p != end && digitAt(p) <= 9; ++p) significand = significand * 10 + digitAt(p);
        fractionDigits = static_cast<int>(p - start);
        digits += fractionDigits;
    }
    if (digits == 0 || digits > 19) return false;
    int exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negativeExponent = p != end && *p == '-';
        if (p != end && (*p == '-' || *p == '+')) ++p;
        start = p;
        for (; p != end && digitAt(p) <= 9 && p - start < 4; ++p) exponent = exponent * 10 + static_cast<int>(digitAt(p));
        if (p == start) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (p != end) return false;
    exponent -= fractionDigits;
    if (significand == 0 || significand > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
    const double value = exponent < 0 ? static_cast<double>(significand) / kPowersOfTen[-exponent]
                                      : static_cast<double>(significand) * kPowersOfTen[exponent];
    result = negative ? -value : value;
    return true;
}

}  // namespace

std::optional<double> parseDouble(std::string_view text) {
    if (double value; parsePlainDecimal(text, value)) return value;
    std::string_view s = trimSpace(text);
    if (s.empty()) return std::nullopt;
    // Fast path for the common plain forms: std::from_chars parses "-1.5e-8" directly; a '+' sign, letters
    // and range errors are sorted out below.
    const char first = s.front();
    const bool plainStart = (first >= '0' && first <= '9') || first == '.' ||
                            (first == '-' && s.size() > 1 && ((s[1] >= '0' && s[1] <= '9') || s[1] == '.'));
    if (plainStart) {
        double value = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (end == s.data() + s.size()) {
            if (ec == std::errc() && std::isfinite(value) && value != 0) return value;
            // Zero, infinity or a range error: decide by the shape of the text.
        } else {
            // from_chars stopped early: trailing text, or a form it reads differently ("infinity", "nan(...)").
            return std::nullopt;
        }
    }
    std::string_view unsigned_ = s;
    if (first == '+' || first == '-') unsigned_.remove_prefix(1);
    if (equalsNoCase(unsigned_, "inf")) return first == '-' ? -HUGE_VAL : HUGE_VAL;
    if (equalsNoCase(s, "nan")) return std::numeric_limits<double>::quiet_NaN();
    DecimalShape shape = scanDecimal(s);
    if (!shape.valid) return std::nullopt;
    if (!shape.hasNonZeroDigit) return shape.negative ? -0.0 : 0.0;
    double value = 0;
    auto [end, ec] = std::from_chars(shape.body.data(), shape.body.data() + shape.body.size(), value);
    if (end != shape.body.data() + shape.body.size() || ec != std::errc()) return std::nullopt;
    if (!std::isfinite(value) || value == 0) return std::nullopt;
    return value;
}

std::optional<float> parseFloat(std::string_view text) {
    std::optional<double> d = parseDouble(text);
    if (!d) return std::nullopt;
    if (std::isinf(*d) || std::isnan(*d)) return static_cast<float>(*d);
    if (std::fabs(*d) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
    float f = static_cast<float>(*d);
    if (*d != 0 && f == 0) return std::nullopt;
    return f;
}

int32_t toIntOrZero(std::string_view text) { return parseInt(text).value_or(0); }

float toFloatOrZero(std::string_view text) { return parseFloat(text).value_or(0.0f); }

std::optional<double> minusLog10OfTinyNumber(std::string_view text) {
    DecimalShape shape = scanDecimal(trimSpace(text));
    if (!shape.valid || !shape.hasNonZeroDigit || shape.magnitude >= -300) return std::nullopt;
    if (parseDouble(text)) return std::nullopt;  // representable after all: not an underflow
    if (shape.negative) return std::numeric_limits<double>::quiet_NaN();
    // value = m x 10^magnitude with 1 <= m < 10. Read m from the significant digits (at most 17 matter).
    std::string_view s = trimSpace(text);
    double mantissa = 0, scale = 1;
    int taken = 0;
    bool started = false;
    for (char c : s) {
        if (c == 'e' || c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (!started && c == '0') continue;
        started = true;
        if (taken < 17) {
            mantissa += (c - '0') * scale;
            scale /= 10;
            ++taken;
        }
    }
    return -(std::log10(mantissa) + static_cast<double>(shape.magnitude));
}

}  // namespace vennrick
