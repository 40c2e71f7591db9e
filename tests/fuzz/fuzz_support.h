// Shared by the fuzz targets, with the standard headers they use: invariant checks that abort with a message, a
// scratch directory, input splitting.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "files.h"

namespace vennrick::fuzz {

// Aborts the process (a finding for the fuzzer) when condition is false.
void require(bool condition, const char* what);

// Mostly a small number in [lo, hi]; one time in four any 32-bit number, so that switch values from the
// whole range (a mistyped column number, a huge count) are tried as well as the usual ones.
int32_t smallOrAny(FuzzedDataProvider& in, int32_t lo, int32_t hi);

// The input split at NUL bytes.
std::vector<std::string> splitAtNul(const uint8_t* data, size_t size);

// One scratch directory per process, reused by every input.
const test::ScratchDir& scratch();

// The text as bgzip: blocks of at most blockBytes of it (1 to 60000), each a gzip member with the block length
// field, then the empty end block.
std::string bgzipOf(const std::string& text, size_t blockBytes);

// Messages for people: each is one non-empty line.
void requireOneLineEach(const std::vector<std::string>& lines);

// The hit file holds only lines of the table (carriage returns dropped), each at most once, in table order,
// after an optional first line that is a header line (or empty, for a header longer than the table).
void requireHitsAreInputLines(const std::string& hits, const std::string& table, bool header);

}  // namespace vennrick::fuzz
