// zstd, xz and bzip2 data decompressed on a thread of its own, ahead of the reader, and handed out in
// blocks, as plain gzip is (reading/gzip_inflater.h): frames or streams follow one another until the data
// ends, and data cut short or damaged is a failure after the bytes decompressed before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct hFILE;

namespace vennrick {

// How the data is compressed, told by its first bytes.
enum class Compression { none, gzip, zstd, xz, bzip2 };

// The compression whose magic bytes start bytes[0, size); none for anything else (plain text, or too few bytes
// to tell). A zstd skippable frame counts as zstd.
Compression compressionOf(const unsigned char* bytes, size_t size);

// "zstd", "xz", "bzip2", "gzip"; "" for none.
const char* compressionName(Compression compression);

struct StreamInflater;

// Destroying an inflater stops its thread and releases its buffers and the decompressor.
struct StreamInflaterDeleter {
    void operator()(StreamInflater* inflater) const;
};
using StreamInflaterPtr = std::unique_ptr<StreamInflater, StreamInflaterDeleter>;

// Starts decompressing data of the given compression (zstd, xz or bzip2) read from fd with read(), from
// its current offset on, or, when stream is not null, from stream (a pipe whose first bytes have been
// peeked at); either stays the caller's and must stay open until the inflater is destroyed. With threads > 1
// on a thread of its own (and xz written in blocks on up to `threads` threads of the library); otherwise, or
// when no thread is to be had, as the reader asks.
StreamInflaterPtr startStreamInflater(Compression compression, int fd, hFILE* stream, unsigned threads);

// Copies up to size decompressed bytes into buffer, fewer only at the end of the data or before a failure.
// Returns the count (0 at the clean end of the data), or -1 when the data is corrupt or truncated or cannot
// be read: the bytes decompressed before the failure are handed out first, and the failure on the next call.
int64_t readInflated(StreamInflater& inflater, char* buffer, size_t size);

// Compressed bytes behind the bytes handed out so far, in proportion within the block being handed out.
uint64_t compressedBytesConsumed(const StreamInflater& inflater);

}  // namespace vennrick
