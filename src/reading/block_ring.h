// A ring of blocks of decompressed bytes that a thread of their own fills ahead of the reader (or, without a
// thread, the reader fills one block at a time), handed out in order with the compressed bytes behind them.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vennrick {

constexpr size_t kRingBlockBytes = size_t{1} << 18;  // decompressed bytes per block
constexpr size_t kRingBlocks = 4;                    // blocks in the ring: how far the thread runs ahead

enum class BlockEnd { more, end, failed };  // what follows a block's bytes

struct RingBlock {
    std::vector<uint8_t> bytes;  // kRingBlockBytes of storage; [0, size) decompressed
    size_t size = 0;
    BlockEnd after = BlockEnd::more;
    uint64_t compressedStart = 0;  // compressed bytes consumed when the block was begun
    uint64_t compressedEnd = 0;    // and when it was complete
};

struct BlockRing {
    std::function<void(RingBlock&)> fill;  // decompresses the next block; touched by one thread at a time

    // Guarded by mutex: blocks [taken, filled) are ready for the reader.
    std::array<RingBlock, kRingBlocks> blocks;
    size_t ringSize = 1;  // blocks in use: kRingBlocks with a thread, 1 without
    std::mutex mutex;
    std::condition_variable blockFilled, blockFreed;
    uint64_t filled = 0, taken = 0;
    bool stopping = false;
    std::thread thread;  // not joinable when the reader fills the blocks itself

    // The reading side.
    size_t offset = 0;  // bytes of block `taken` already handed out
    uint64_t compressedHandedOut = 0;
    bool failed = false;  // the failure has been reached: every later read fails
};

// Gives the ring its fill and, with ownThread, starts the thread that fills ahead (the reader fills the blocks
// itself when no thread is to be had).
void startRing(BlockRing& ring, std::function<void(RingBlock&)> fill, bool ownThread);

// Stops and joins the filling thread; before the state fill works on goes.
void stopRing(BlockRing& ring);

// Copies up to size bytes out of the ring: the count, 0 at the end, -1 once the failure is reached.
int64_t readRing(BlockRing& ring, char* buffer, size_t size);

// Waits for the next block: 1 when bytes are ready, 0 at the end, -1 at the failure.
int awaitRing(BlockRing& ring);

}  // namespace vennrick
