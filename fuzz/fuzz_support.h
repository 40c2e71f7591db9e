// Shared by the fuzz targets: invariant checks that abort with a message, and input splitting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vennrick::fuzz {

// Aborts the process (a finding for the fuzzer) when condition is false.
void require(bool condition, const char* what);

// The input split at NUL bytes.
std::vector<std::string> splitAtNul(const uint8_t* data, size_t size);

}  // namespace vennrick::fuzz
