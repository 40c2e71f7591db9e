// Plain gzip data (one member or several) inflated with ISA-L on a thread of its own, ahead of the reader,
// and handed out in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vennrick {

struct GzipInflater;

// Destroying an inflater stops its thread and releases its buffers.
struct GzipInflaterDeleter {
    void operator()(GzipInflater* inflater) const;
};
using GzipInflaterPtr = std::unique_ptr<GzipInflater, GzipInflaterDeleter>;

// Starts inflating the gzip data read from fd, from its current offset on, on a thread of its own when
// ownThread is true. fd stays the caller's and must stay open until the inflater is destroyed. Without a
// thread (not asked for, or none to be had), the data is inflated as it is read. unitPhase: the bytes of the
// data that come before this gzip data, when it does not start the data (for the unit rule of readInflated).
GzipInflaterPtr startGzipInflater(int fd, bool ownThread, size_t unitPhase = 0);

// Copies up to size inflated bytes into buffer, fewer only at the end of the data or before a failure.
// Returns the count (0 at the clean end of the data), or -1 when the data is corrupt or truncated or cannot
// be read: the bytes inflated before the failure are handed out first, and the failure on the next call.
int64_t readInflated(GzipInflater& inflater, char* buffer, size_t size);

// Waits until what comes next is known, without handing anything out: 1 when there are inflated bytes to hand
// out, 0 at the clean end of the data, -1 at a failure with no bytes before it.
int awaitInflated(GzipInflater& inflater);

// Compressed bytes behind the inflated bytes handed out so far, in proportion within the block being handed
// out: for progress, and for the reader's estimate of the rows to come.
uint64_t compressedBytesConsumed(const GzipInflater& inflater);

}  // namespace vennrick
