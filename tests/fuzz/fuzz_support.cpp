#include "fuzz_support.h"

#include <zlib.h>

#include <cstring>

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

std::string bgzipOf(const std::string& text, size_t blockBytes) {
    auto block = [](const char* data, size_t size) {
        std::string out(18, '\0');
        const unsigned char header[16] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 0xff, 6, 0, 'B', 'C', 2, 0};
        std::memcpy(out.data(), header, 16);
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::string deflated(deflateBound(&z, static_cast<uLong>(size)), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = static_cast<uInt>(size);
        z.next_out = reinterpret_cast<Bytef*>(deflated.data());
        z.avail_out = static_cast<uInt>(deflated.size());
        deflate(&z, Z_FINISH);
        deflated.resize(z.total_out);
        deflateEnd(&z);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
        const size_t length = 18 + deflated.size() + 8 - 1;  // 60000 bytes deflate to less than 64 KiB
        out[16] = static_cast<char>(length & 0xff);
        out[17] = static_cast<char>(length >> 8);
        out += deflated;
        for (uint32_t word : {crc, static_cast<uint32_t>(size)})
            for (int i = 0; i < 4; ++i) out += static_cast<char>((word >> (8 * i)) & 0xff);
        return out;
    };
    blockBytes = std::clamp<size_t>(blockBytes, 1, 60000);
    std::string out;
    for (size_t at = 0; at < text.size(); at += blockBytes)
        out += block(text.data() + at, std::min(blockBytes, text.size() - at));
    return out + block("", 0);
}

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
