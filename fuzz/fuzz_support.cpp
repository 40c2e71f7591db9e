#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

namespace vennrick::fuzz {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}

std::vector<std::string> splitAtNul(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    return parts;
}

}  // namespace vennrick::fuzz
