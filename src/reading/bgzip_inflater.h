// bgzip data in a regular file inflated with ISA-L by several threads at once, block groups in parallel, and
// handed out in file order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vennrick {

struct BgzipInflater;

// Destroying an inflater stops its threads and releases its buffers.
struct BgzipInflaterDeleter {
    void operator()(BgzipInflater* inflater) const;
};
using BgzipInflaterPtr = std::unique_ptr<BgzipInflater, BgzipInflaterDeleter>;

// Starts inflating the bgzip data of the regular file open on fd, from the block at file offset `from` (0: the
// start), on up to `threads` threads; nullptr when no thread can be started. fd stays the caller's and must stay
// open until the inflater is destroyed; its offset is used only if a plain gzip member follows the bgzip blocks.
// The inflater reads ahead of what is handed out by a few groups of blocks at most.
BgzipInflaterPtr startBgzipInflater(int fd, unsigned threads, uint64_t from = 0);

// Copies up to size inflated bytes into buffer, fewer only at the end of the data or before a failure.
// Returns the count (0 at the clean end of the data), or -1 when the data is corrupt or truncated or cannot
// be read. The bytes before a failure are handed out first, in whole units of 64 KiB counted from the start
// of the data, as the BGZF reader hands them out when asked for 64 KiB at a time; the failure comes on the
// next call.
int64_t readInflated(BgzipInflater& inflater, char* buffer, size_t size);

// Compressed bytes behind the inflated bytes handed out so far, in proportion within the block group being
// handed out: for progress, and for the reader's estimate of the rows to come.
uint64_t compressedBytesConsumed(const BgzipInflater& inflater);

}  // namespace vennrick
