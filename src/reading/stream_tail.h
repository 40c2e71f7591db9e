// A stream that is not a regular file, passed on through a pipe by a thread of its own that keeps its last
// bytes: what a reader of the pipe cannot see when the stream ends (the end-of-file block of bgzip, which a
// regular file is checked for by seeking to it).
#pragma once

#include <cstddef>
#include <memory>

namespace vennrick {

struct StreamTail;
struct StreamTailStop {
    void operator()(StreamTail* tail) const;  // stops the thread (the stream need not be at its end) and frees it
};
using StreamTailPtr = std::unique_ptr<StreamTail, StreamTailStop>;

constexpr size_t kStreamTailBytes = 28;  // the bytes kept: the size of bgzip's end-of-file block

// Starts passing the stream on fd on; *readEnd is then the pipe's reading end, which the caller reads and
// closes before the tail is stopped. The tail owns fd from then on. nullptr, with errno set, when no pipe or
// thread could be had (fd is then still the caller's).
StreamTailPtr startStreamTail(int fd, int* readEnd);

// After the reading end has given the end of the data: whether the stream was read to its end without error
// and its last bytes are the count bytes given (count at most kStreamTailBytes). Waits for the thread.
bool streamEndsWith(StreamTail& tail, const unsigned char* bytes, size_t count);

}  // namespace vennrick
