// bgzip data inflated with ISA-L by several threads at once and handed out in file order.
//
// A bgzip file is a chain of gzip members of at most 64 KiB each (blocks), every one inflated on its own. The
// threads take groups of consecutive blocks: one thread at a time reads the next group's compressed bytes and
// walks their headers to find where the group ends; the inflating of the group then runs beside that of the
// others. The reader copies the groups out in order, which costs no more than the kernel's copy of a plain
// file's read(). ISA-L inflates bgzip blocks a third faster than the BGZF reader's library here, and the
// groups spare the per-block hand-over of its thread pool.
//
// Blocks are checked as the BGZF reader checks them: the header, the block's length, the inflated data against
// the trailer's CRC. A gzip member that is not a bgzip block (valid gzip, but without the block
// length field) switches the rest of the data to the plain gzip inflater, as the BGZF reader switches to plain
// gzip there.
#include "reading/bgzip_inflater.h"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "reading/gzip_inflater.h"

namespace vennrick {

namespace {

constexpr size_t kMaxBlockBytes = size_t{1} << 16;  // of a block, compressed and inflated
constexpr size_t kHeaderBytes = 18;                 // gzip header with the block length field
constexpr size_t kTrailerBytes = 8;                 // CRC and inflated length
// A group is the blocks that fit in this many compressed bytes and whose inflated lengths, as their trailers give
// them, fit in as many inflated bytes (4 blocks of a typical file), and no more than kGroupBlocks of them: a
// trailer may tell less than its block gives, and then the group's buffer grows by a block at a time.
constexpr size_t kGroupBytes = size_t{1} << 18;
constexpr size_t kGroupBlocks = 32;
constexpr size_t kReadBytes = size_t{1} << 16;  // compressed bytes read at a time, as far as the group needs
// Damaged data loses the inflated bytes since the last multiple of this many, counted from the start of the
// data, as with the BGZF reader asked for this many bytes at a time: a failure there drops the request.
constexpr size_t kUnitBytes = size_t{1} << 16;
constexpr unsigned kMaxThreads = 32;  // the reader takes a few GB/s at most: more would only add threads

enum class GroupEnd : uint8_t {
    more,       // blocks follow
    end,        // the data ends cleanly after the group
    failed,     // the group stops at a block that is damaged, cut short or cannot be read
    plainGzip,  // a plain gzip member follows the group, at compressedEnd
};

struct Group {
    std::vector<uint8_t> output = std::vector<uint8_t>(kGroupBytes);  // [0, size) inflated; grows if a trailer lied
    // Where each block starts in the compressed bytes of the group (in the input of the thread that inflates
    // it), and where the last ends.
    std::vector<size_t> blockAt;
    size_t size = 0;                 // inflated bytes; with GroupEnd::failed those before the failing block
    GroupEnd after = GroupEnd::more;
    uint64_t compressedStart = 0;    // file offset of its first block
    uint64_t compressedEnd = 0;      // file offset after its blocks
    bool ready = false;              // inflated, and not yet handed out in full
};

// The gzip header of a bgzip block: magic, deflate, the extra-field flag and a 6-byte extra field that is the
// block length subfield "BC".
bool isBlockHeader(const uint8_t* h) {
    return (h[3] & 4) != 0 && h[10] == 6 && h[11] == 0 && h[12] == 'B' && h[13] == 'C' && h[14] == 2 && h[15] == 0;
}

bool isGzipHeader(const uint8_t* h) { return h[0] == 0x1f && h[1] == 0x8b && h[2] == 8; }

// Reads up to size bytes at offset; fewer only at the end of the file; -1 on a read error.
int64_t readAt(int fd, uint8_t* buffer, size_t size, uint64_t offset) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = pread(fd, buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(got);
}

}  // namespace

struct BgzipInflater {
    int fd = -1;
    std::vector<Group> ring;  // group k in ring[k % ring.size()]
    std::vector<std::thread> threads;

    // Guarded by mutex.
    std::mutex mutex;
    std::condition_variable groupReady, groupFreed;
    uint64_t planned = 0;     // groups whose blocks have been read
    uint64_t taken = 0;       // the group being handed out; those before it are done
    uint64_t readyCount = 0;  // groups inflated so far, so that the reader can wait for the next one
    uint64_t nextOffset = 0;  // file offset of the first block not in a group
    bool inputDone = false;   // no group follows the last one planned, or one has failed
    bool stopping = false;

    // The reading side.
    uint64_t handedOut = 0;  // inflated bytes handed out so far
    size_t offset = 0;       // bytes of group `taken` handed out
    uint64_t compressedHandedOut = 0;
    bool ended = false;      // the clean end of the data has been handed out
    bool failed = false;     // the failure has been reached: every later read fails
    std::vector<char> carry;  // [carryAt, size) the next bytes to hand out, taken from groups handed back early
    size_t carryAt = 0;
    GzipInflaterPtr gzip;    // the rest of the data, when a plain gzip member followed the blocks
    uint64_t gzipAt = 0;     // file offset where that member starts
};

namespace {

Group& groupOf(BgzipInflater& b, uint64_t k) { return b.ring[k % b.ring.size()]; }

// Reads the next group's blocks at b.nextOffset into input (kGroupBytes) and finds where each starts; moves
// b.nextOffset past them. Called with the mutex held: the groups are cut one after another.
void planGroup(BgzipInflater& b, Group& g, std::vector<uint8_t>& input) {
    g.blockAt.assign(1, 0);
    g.size = 0;
    g.after = GroupEnd::more;
    g.ready = false;
    g.compressedStart = b.nextOffset;
    size_t n = 0;            // bytes in input
    bool fileEnds = false;   // the file ends after them
    // Reads on until input holds `want` bytes (at most its size), the file ends, or reading fails.
    auto readTo = [&](size_t want) {
        want = std::min(want, input.size());
        while (n < want && !fileEnds) {
            const size_t ask = std::min(input.size(), std::max(want, n + kReadBytes)) - n;
            const int64_t got = readAt(b.fd, input.data() + n, ask, b.nextOffset + n);
            if (got < 0) return false;
            fileEnds = static_cast<size_t>(got) < ask;
            n += static_cast<size_t>(got);
        }
        return true;
    };
    size_t at = 0, inflated = 0;  // inflated: the lengths the blocks' trailers give
    while (g.after == GroupEnd::more && g.blockAt.size() <= kGroupBlocks) {
        if (!readTo(at + kHeaderBytes)) {
            g.after = GroupEnd::failed;
            break;
        }
        if (at == n && fileEnds) {
            g.after = GroupEnd::end;
            break;
        }
        const uint8_t* h = input.data() + at;
        if (n - at < kHeaderBytes || !isGzipHeader(h)) {
            if (n - at >= kHeaderBytes || fileEnds) g.after = GroupEnd::failed;  // else the header is read next time
            break;
        }
        if (!isBlockHeader(h)) {
            g.after = GroupEnd::plainGzip;
            break;
        }
        const size_t length = size_t{h[16]} + (size_t{h[17]} << 8) + 1;
        if (length < kHeaderBytes + kTrailerBytes) {
            g.after = GroupEnd::failed;
            break;
        }
        if (!readTo(at + length)) {
            g.after = GroupEnd::failed;
            break;
        }
        if (length > n - at) {
            if (fileEnds) g.after = GroupEnd::failed;  // cut inside the block; else it is read next time
            break;
        }
        const uint8_t* l = h + length - 4;
        const size_t claimed = std::min<size_t>(l[0] | l[1] << 8 | l[2] << 16 | size_t{l[3]} << 24, kMaxBlockBytes);
        if (inflated + claimed > kGroupBytes) break;  // the next group's
        inflated += claimed;
        at += length;
        g.blockAt.push_back(at);
    }
    b.nextOffset += at;
    g.compressedEnd = b.nextOffset;
    if (g.after != GroupEnd::more) b.inputDone = true;
}

// Inflates the group's blocks, each checked against the CRC in its trailer, as the BGZF reader checks them (it
// takes the inflated length from the data, not from the trailer); stops at the first that fails.
void inflateGroup(inflate_state& state, Group& g, const std::vector<uint8_t>& input) {
    size_t out = 0;
    for (size_t i = 0; i + 1 < g.blockAt.size(); ++i) {
        const uint8_t* block = input.data() + g.blockAt[i];
        const size_t length = g.blockAt[i + 1] - g.blockAt[i];
        if (g.output.size() - out < kMaxBlockBytes) g.output.resize(out + kMaxBlockBytes);  // a trailer told less
        const uint8_t* trailer = block + length - kTrailerBytes;
        const uint32_t crc = uint32_t{trailer[0]} | uint32_t{trailer[1]} << 8 | uint32_t{trailer[2]} << 16 |
                             uint32_t{trailer[3]} << 24;
        isal_inflate_init(&state);
        state.crc_flag = ISAL_GZIP_NO_HDR;  // raw deflate, with the CRC of what it gives
        state.next_in = const_cast<uint8_t*>(block + kHeaderBytes);
        state.avail_in = static_cast<uint32_t>(length - kHeaderBytes - kTrailerBytes);
        state.next_out = g.output.data() + out;
        state.avail_out = static_cast<uint32_t>(std::min(kMaxBlockBytes, g.output.size() - out));
        if (isal_inflate_stateless(&state) != ISAL_DECOMP_OK || state.crc != crc) {
            g.after = GroupEnd::failed;
            break;
        }
        out += state.total_out;
    }
    g.size = out;
}

void inflateGroups(BgzipInflater& b) {
    const auto state = std::make_unique<inflate_state>();
    std::vector<uint8_t> input(kGroupBytes);  // the compressed bytes of the group being inflated
    for (;;) {
        Group* g;
        {
            std::unique_lock<std::mutex> lock(b.mutex);
            b.groupFreed.wait(lock, [&] { return b.stopping || b.inputDone || b.planned < b.taken + b.ring.size(); });
            if (b.stopping || b.inputDone) return;
            g = &groupOf(b, b.planned);
            planGroup(b, *g, input);
            ++b.planned;
        }
        inflateGroup(*state, *g, input);
        {
            std::lock_guard<std::mutex> lock(b.mutex);
            g->ready = true;
            ++b.readyCount;
            if (g->after == GroupEnd::failed) b.inputDone = true;
        }
        b.groupReady.notify_one();
    }
}

// How far the bytes may be handed out now, as a count from the start of the data. Group `taken` is ready. The
// bytes of a unit are handed out once the groups ready in order hold the whole unit (or the data ends cleanly
// within it), so that a failure later on loses just what the BGZF reader loses. final: no later group can let
// the limit go further (one has failed); stalled: every group that can be ahead is ready, or the bgzip blocks
// end, so waiting would not help either. Called with the mutex held.
uint64_t handOutLimit(BgzipInflater& b, bool& final, bool& stalled) {
    uint64_t end = b.handedOut + (b.carry.size() - b.carryAt) - b.offset;  // where group `taken` starts
    const uint64_t groupEnd = end + groupOf(b, b.taken).size;
    const uint64_t wanted = (groupEnd + kUnitBytes - 1) / kUnitBytes * kUnitBytes;  // enough for the whole group
    final = stalled = false;
    uint64_t k = b.taken;
    for (; k < b.planned && groupOf(b, k).ready; ++k) {
        const Group& g = groupOf(b, k);
        end += g.size;
        if (g.after == GroupEnd::end) return std::min(end, groupEnd);
        if (g.after == GroupEnd::failed) {
            final = true;
            break;
        }
        if (g.after == GroupEnd::plainGzip) {  // its last unit is whole or not by the gzip data after it
            stalled = true;
            break;
        }
        if (end >= wanted) break;
    }
    stalled = stalled || k == b.taken + b.ring.size();
    return std::min(groupEnd, end - end % kUnitBytes);
}

// Moves the bytes of group `taken` not yet handed out to the end of the carry.
void carryRest(BgzipInflater& b, const Group& g) {
    b.carry.insert(b.carry.end(), g.output.begin() + static_cast<ptrdiff_t>(b.offset),
                   g.output.begin() + static_cast<ptrdiff_t>(g.size));
    b.offset = g.size;
}

// Hands group `taken` back to the threads; the mutex is held by lock, which is released.
void releaseGroup(BgzipInflater& b, Group& g, std::unique_lock<std::mutex>& lock) {
    g.ready = false;
    ++b.taken;
    b.offset = 0;
    lock.unlock();
    b.groupFreed.notify_all();
}

}  // namespace

void BgzipInflaterDeleter::operator()(BgzipInflater* b) const {
    {
        std::lock_guard<std::mutex> lock(b->mutex);
        b->stopping = true;
    }
    b->groupFreed.notify_all();
    for (std::thread& t : b->threads) t.join();
    delete b;
}

BgzipInflaterPtr startBgzipInflater(int fd, unsigned threads, uint64_t from) {
    BgzipInflaterPtr b(new BgzipInflater);
    b->fd = fd;
    b->nextOffset = from;
    const unsigned count = std::clamp(threads, 1u, kMaxThreads);
    b->ring.resize(2 * count + 4);  // a group being inflated by each thread, and count + 4 ready ahead of the reader
    for (unsigned i = 0; i < count; ++i) {
        try {
            b->threads.emplace_back(inflateGroups, std::ref(*b));
        } catch (const std::system_error&) {
            break;
        }
    }
    if (b->threads.empty()) return nullptr;
    return b;
}

int64_t readInflated(BgzipInflater& b, char* buffer, size_t size) {
    size_t copied = 0;
    while (copied < size && !b.failed && !b.ended && b.gzip == nullptr) {
        std::unique_lock<std::mutex> lock(b.mutex);
        Group& g = groupOf(b, b.taken);
        b.groupReady.wait(lock, [&] { return g.ready; });
        bool final, stalled;
        const uint64_t limit = handOutLimit(b, final, stalled);
        const size_t carried = b.carry.size() - b.carryAt;
        if (limit > b.handedOut) {
            lock.unlock();  // the group stays the reader's until it is handed back
            const size_t n = static_cast<size_t>(std::min<uint64_t>(size - copied, limit - b.handedOut));
            const size_t fromCarry = std::min(n, carried);
            if (fromCarry > 0) std::memcpy(buffer + copied, b.carry.data() + b.carryAt, fromCarry);
            std::memcpy(buffer + copied + fromCarry, g.output.data() + b.offset, n - fromCarry);
            b.carryAt += fromCarry;
            if (b.carryAt == b.carry.size()) b.carry.clear(), b.carryAt = 0;
            b.offset += n - fromCarry;
            copied += n;
            b.handedOut += n;
            // As far into the group's compressed bytes as its inflated bytes have been handed out.
            b.compressedHandedOut =
                g.size == 0 ? g.compressedEnd
                            : g.compressedStart + (g.compressedEnd - g.compressedStart) * b.offset / g.size;
        } else if (b.offset == g.size && carried == 0 && g.after == GroupEnd::more) {
            releaseGroup(b, g, lock);
        } else if (b.offset == g.size && carried == 0 && g.after == GroupEnd::end) {
            b.ended = true;
        } else if (g.after == GroupEnd::plainGzip) {
            // The unfinished unit waits in the carry until the gzip data after the group shows whether it is
            // whole; the gzip data's units go on from there.
            carryRest(b, g);
            b.gzipAt = g.compressedEnd;
            b.failed = lseek(b.fd, static_cast<off_t>(b.gzipAt), SEEK_SET) < 0;
            if (!b.failed) b.gzip = startGzipInflater(b.fd, true, b.carry.size() - b.carryAt);
        } else if (final) {
            b.failed = true;
        } else if (stalled) {
            // The groups ahead are all ready and still end inside the unit (blocks of very little data): the
            // rest of this group waits in the carry, so that the threads can go on.
            carryRest(b, g);
            releaseGroup(b, g, lock);
        } else {
            const uint64_t seen = b.readyCount;
            b.groupReady.wait(lock, [&] { return b.readyCount != seen; });
        }
    }
    if (b.gzip != nullptr && copied < size && b.carryAt < b.carry.size()) {
        if (awaitInflated(*b.gzip) < 0) {  // the unit ends in damage: the carry is lost with it
            b.carry.clear();
            b.carryAt = 0;
        }
        const size_t n = std::min(size - copied, b.carry.size() - b.carryAt);
        if (n > 0) std::memcpy(buffer + copied, b.carry.data() + b.carryAt, n);
        b.carryAt += n;
        copied += n;
    }
    if (b.gzip != nullptr && copied < size) {
        const int64_t n = readInflated(*b.gzip, buffer + copied, size - copied);
        if (n < 0) return copied > 0 ? static_cast<int64_t>(copied) : -1;
        copied += static_cast<size_t>(n);
    }
    if (copied == 0 && b.failed) return -1;
    return static_cast<int64_t>(copied);
}

uint64_t compressedBytesConsumed(const BgzipInflater& b) {
    return b.gzip != nullptr ? b.gzipAt + compressedBytesConsumed(*b.gzip) : b.compressedHandedOut;
}

}  // namespace vennrick
