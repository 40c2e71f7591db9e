// Small text helpers: cutting at separators, quoting, lists and counts in words, the run's lines for people.
#include "base/text.h"

#include <cctype>
#include <cstdio>

#include "base/fatal.h"

namespace vennrick {

std::vector<std::string_view> splitAtAny(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    for (;;) {
        size_t at = text.find_first_of(separators);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

std::string quoted(std::string_view text) { return "'" + shownText(text) + "'"; }

std::string listed(const std::vector<std::string>& items, size_t total) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += (i + 1 == items.size() && total == items.size()) ? " and " : ", ";
        text += items[i];
    }
    if (total > items.size()) text += " and " + std::to_string(total - items.size()) + " more";
    return text;
}

std::string rowCount(uint64_t n, const char* kind) {
    return std::to_string(n) + " " + kind + (n == 1 ? "" : "s");
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string lowered(std::string_view text) {
    std::string low(text);
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return low;
}

bool equalNoCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) return false;
    return true;
}

void printLines(std::ostream& err, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) err << "vennrick: " << line << '\n';
    err << std::flush;
}

}  // namespace vennrick
