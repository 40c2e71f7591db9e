// The stop lists of the row parser: where the delimiters and the line ends of a window of a piece are, as
// offsets in order, found 64 bytes at a time, so that rows are cut by indexing instead of bit by bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vennrick {

// The stops (delimiters and line ends) and the line ends of [begin, begin + length), each as offsets from
// begin in increasing order, and whether it holds a carriage return. Writes up to 16 entries past the ones it finds: each list needs room for
// length + 16 entries.
// Reads whole 64-byte blocks: up to 64 bytes after the window must be readable (their content is ignored).
struct StopCounts {
    size_t stops = 0, lineEnds = 0;
    bool carriageReturn = false;  // the window holds a carriage return
};
StopCounts findStops(const char* begin, uint32_t length, char delimiter, uint32_t* stops, uint32_t* lineEnds);

}  // namespace vennrick
