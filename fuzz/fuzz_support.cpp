#include "fuzz_support.h"

#include <cstdlib>

namespace vennrick::fuzz {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}

int32_t smallOrAny(FuzzedDataProvider& in, int32_t lo, int32_t hi) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) return in.ConsumeIntegral<int32_t>();
    return in.ConsumeIntegralInRange(lo, hi);
}

std::vector<std::string> splitAtNul(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        data[i] == 0 ? parts.emplace_back() : parts.back() += static_cast<char>(data[i]);
    }
    return parts;
}

void requireOneLineEach(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        require(!line.empty() && line.find('\n') == std::string::npos && line.find('\r') == std::string::npos,
                "a message is one non-empty line");
}

const test::ScratchDir& scratch() {
    static const test::ScratchDir dir;
    return dir;
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') lines.push_back(std::move(line)), line.clear();
        else if (c != '\r') line += c;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

void requireHitsAreInputLines(const std::string& hits, const std::string& table, bool header) {
    if (table.size() >= 2 && static_cast<unsigned char>(table[0]) == 0x1f && static_cast<unsigned char>(table[1]) == 0x8b)
        return;  // compressed input: the hits are decompressed lines
    require(hits.empty() || hits.back() == '\n', "every hit line ends with a line feed");
    const std::vector<std::string> input = linesOf(table.compare(0, 3, "\xEF\xBB\xBF") == 0 ? table.substr(3) : table);
    const std::vector<std::string> output = linesOf(hits);
    size_t first = 0;
    if (header && !output.empty()) {
        require(output[0].empty() || std::find(input.begin(), input.end(), output[0]) != input.end(),
                "the first hit line is a header line");
        first = 1;
    }
    size_t at = 0;
    for (size_t k = first; k < output.size(); ++k) {
        require(!output[k].empty(), "a hit row is never empty");
        while (at < input.size() && input[at] != output[k]) ++at;
        require(at < input.size(), "hit rows are rows of the table, in table order");
        ++at;
    }
}

}  // namespace vennrick::fuzz
