// The ring of decompressed blocks: the filling thread, the hand-out and the stop.
#include "reading/block_ring.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace vennrick {
namespace {

void fillAhead(BlockRing& r) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(r.mutex);
            r.blockFreed.wait(lock, [&] { return r.stopping || r.filled - r.taken < r.ringSize; });
            if (r.stopping) return;
        }
        RingBlock& block = r.blocks[r.filled % r.ringSize];  // not the reader's until it is counted as filled
        r.fill(block);
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            ++r.filled;
        }
        r.blockFilled.notify_one();
        if (block.after != BlockEnd::more) return;
    }
}

// The block `taken`, filled by the reader itself when there is no thread; under the lock.
RingBlock& nextBlock(BlockRing& r, std::unique_lock<std::mutex>& lock) {
    if (!r.thread.joinable() && r.filled == r.taken) {
        r.fill(r.blocks[r.filled % r.ringSize]);
        ++r.filled;
    }
    r.blockFilled.wait(lock, [&] { return r.filled > r.taken; });
    return r.blocks[r.taken % r.ringSize];
}

}  // namespace

void startRing(BlockRing& r, std::function<void(RingBlock&)> fill, bool ownThread) {
    r.fill = std::move(fill);
    r.blocks[0].bytes.resize(kRingBlockBytes);
    if (!ownThread) return;
    for (RingBlock& block : r.blocks) block.bytes.resize(kRingBlockBytes);
    r.ringSize = kRingBlocks;
    try {
        r.thread = std::thread(fillAhead, std::ref(r));
    } catch (const std::system_error&) {  // no thread to be had: the reader fills each block itself
        r.ringSize = 1;
    }
}

void stopRing(BlockRing& r) {
    if (!r.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.stopping = true;
    }
    r.blockFreed.notify_one();
    r.thread.join();
}

int64_t readRing(BlockRing& r, char* buffer, size_t size) {
    size_t copied = 0;
    while (copied < size && !r.failed) {
        RingBlock* block;
        {
            std::unique_lock<std::mutex> lock(r.mutex);
            block = &nextBlock(r, lock);
        }
        const size_t n = std::min(size - copied, block->size - r.offset);
        std::memcpy(buffer + copied, block->bytes.data() + r.offset, n);
        copied += n;
        r.offset += n;
        // As far into the block's compressed bytes as its decompressed bytes have been handed out: the reader
        // estimates the rows to come from it.
        r.compressedHandedOut = block->size == 0 ? block->compressedEnd
                                                 : block->compressedStart + (block->compressedEnd - block->compressedStart) *
                                                                                r.offset / block->size;
        if (r.offset < block->size) break;  // the buffer is full
        if (block->after == BlockEnd::end) return static_cast<int64_t>(copied);
        if (block->after == BlockEnd::failed) {
            r.failed = true;
            break;
        }
        r.offset = 0;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            ++r.taken;
        }
        r.blockFreed.notify_one();
    }
    if (copied == 0 && r.failed) return -1;
    return static_cast<int64_t>(copied);
}

int awaitRing(BlockRing& r) {
    if (r.failed) return -1;
    std::unique_lock<std::mutex> lock(r.mutex);
    const RingBlock& block = nextBlock(r, lock);
    if (r.offset < block.size) return 1;
    return block.after == BlockEnd::failed ? -1 : 0;  // a full block is never empty: it is the last
}

}  // namespace vennrick
