// Lines cut from text read in large blocks: the rest of a block moves to the front for the next one, and the
// buffer doubles for a line longer than it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vennrick {

struct LineBuffer {
    explicit LineBuffer(size_t block, size_t slack = 0) : bytes(block + slack), slack(slack) {}
    std::vector<char> bytes;
    size_t slack;  // bytes kept readable after the text read
    size_t at = 0, have = 0;
    bool eof = false;
};

// 1: the next line, without its line end (the last may lack one; a '\r' before it is dropped); 0: no more; -1: the
// reading failed. read(to, room) puts up to room bytes at to and returns how many, 0 at the end, < 0 on a failure.
template <class Read>
int nextLine(LineBuffer& b, std::string_view& line, Read&& read) {
    for (;;) {
        const char* from = b.bytes.data() + b.at;
        const char* nl = static_cast<const char*>(std::memchr(from, '\n', b.have - b.at));
        if (nl == nullptr && !b.eof) {
            if (b.at > 0) {
                std::memmove(b.bytes.data(), from, b.have - b.at);
                b.have -= b.at;
                b.at = 0;
            }
            if (b.have + b.slack == b.bytes.size()) b.bytes.resize(2 * b.bytes.size());
            const int64_t got = read(b.bytes.data() + b.have, b.bytes.size() - b.slack - b.have);
            if (got < 0) return -1;
            b.eof = got == 0;
            b.have += static_cast<size_t>(got);
            continue;
        }
        if (nl == nullptr && b.at == b.have) return 0;
        const size_t length = nl != nullptr ? static_cast<size_t>(nl - from) : b.have - b.at;
        b.at += nl != nullptr ? length + 1 : length;
        line = std::string_view(from, length);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return 1;
    }
}

}  // namespace vennrick
