// Plain gzip data (one member or several) inflated with ISA-L on a thread of its own, ahead of the reader,
// and handed out in blocks.
//
// ISA-L inflates several times faster than zlib. The inflating thread fills a ring of blocks; the reader
// copies out of them, which costs no more than the kernel's copy of a plain file's read().
#include "reading/gzip_inflater.h"

#include "reading/block_ring.h"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vennrick {

namespace {

constexpr size_t kInputBytes = size_t{1} << 18;  // compressed bytes read at a time
// Inflated bytes per block handed to the reader: kRingBlockBytes. Blocks of 512 KiB were no faster and held 1 MB
// more at the run's peak, which for gzip falls while the table is read.
constexpr size_t kBlockBytes = kRingBlockBytes;
// Damaged data loses the inflated bytes since the last multiple of this many, counted from the start of the
// data, as with the BGZF reader, which hands out plain gzip in units of this size and drops the unit in
// which it meets the damage: the rows read before the failure stay the same as with it.
constexpr size_t kUnitBytes = size_t{1} << 16;
static_assert(kBlockBytes % kUnitBytes == 0, "every block starts at a unit");
constexpr uint8_t kReservedFlags = 0xE0;  // gzip header flag bits that no writer sets; the data is refused

}  // namespace

struct GzipInflater {
    // The inflating side, touched only by the thread that inflates.
    int fd = -1;
    std::vector<uint8_t> input = std::vector<uint8_t>(kInputBytes);
    inflate_state state{};
    bool inputEnded = false;       // read() has returned 0
    uint64_t compressedRead = 0;   // compressed bytes read so far; input[0] lies at compressedRead - inputSize
    size_t inputSize = 0;          // bytes in input
    bool memberOpen = false;       // some bytes of the current member have been inflated or are buffered
    uint64_t flagsAt = 3;          // compressed offset of the current member's header flags
    bool flagsChecked = false;     // they have been looked at
    size_t unitPhase = 0;          // bytes of the data before this gzip data within their unit, for the unit rule

    BlockRing ring;  // the inflated blocks, and how far the reader has taken them
};

namespace {

// Makes the state ready for a member starting at the next input byte; the input not yet inflated is kept.
void startMember(GzipInflater& g) {
    uint8_t* const next = g.state.next_in;
    const uint32_t left = g.state.avail_in;
    isal_inflate_init(&g.state);
    g.state.crc_flag = ISAL_GZIP;  // parses the gzip header and checks the trailer's CRC and length
    g.state.next_in = next;
    g.state.avail_in = left;
    g.flagsAt = g.compressedRead - left + 3;  // after the two magic bytes and the method
    g.flagsChecked = false;
}

// False when the current member's header sets a reserved flag (ISA-L passes over them). The flags byte is
// looked at while it is in the input, before it is inflated.
bool flagsAccepted(GzipInflater& g) {
    const uint64_t inputStart = g.compressedRead - g.inputSize;
    if (g.flagsChecked || g.flagsAt >= g.compressedRead) return true;
    g.flagsChecked = true;
    return (g.input[g.flagsAt - inputStart] & kReservedFlags) == 0;
}

// Reads the next compressed bytes; false on a read error.
bool refill(GzipInflater& g) {
    for (;;) {
        ssize_t n = read(g.fd, g.input.data(), g.input.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        g.inputEnded = n == 0;
        g.inputSize = static_cast<size_t>(n);
        g.compressedRead += static_cast<uint64_t>(n);
        g.state.next_in = g.input.data();
        g.state.avail_in = static_cast<uint32_t>(n);
        return true;
    }
}

// Inflates into block until it is full, the data ends or a failure is met. Members follow one another until
// the compressed data ends; data that ends inside a member, or anything after a member that does not start a
// valid one, is a failure.
void fillBlock(GzipInflater& g, RingBlock& block) {
    block.compressedStart = g.compressedRead - g.state.avail_in;
    block.size = 0;
    block.after = BlockEnd::more;
    while (block.size < kBlockBytes) {
        if (g.state.avail_in == 0) {
            if (!refill(g)) {
                block.after = BlockEnd::failed;
                break;
            }
            if (g.inputEnded) {
                block.after = g.memberOpen ? BlockEnd::failed : BlockEnd::end;
                break;
            }
        }
        if (g.state.block_state == ISAL_BLOCK_FINISH) startMember(g);  // another member follows
        g.memberOpen = true;
        if (!flagsAccepted(g)) {
            block.after = BlockEnd::failed;
            break;
        }
        g.state.next_out = block.bytes.data() + block.size;
        g.state.avail_out = static_cast<uint32_t>(kBlockBytes - block.size);
        const int status = isal_inflate(&g.state);
        block.size = kBlockBytes - g.state.avail_out;
        if (status != ISAL_DECOMP_OK) {
            block.after = BlockEnd::failed;
            break;
        }
        if (g.state.block_state == ISAL_BLOCK_FINISH) g.memberOpen = false;
    }
    // Every block before this one was full, a whole number of units: the units are counted from the start of
    // the data by the phase alone. A failure in the first unit drops the whole block.
    if (block.after == BlockEnd::failed)
        block.size = std::max((g.unitPhase + block.size) / kUnitBytes * kUnitBytes, g.unitPhase) - g.unitPhase;
    block.compressedEnd = g.compressedRead - g.state.avail_in;
}

}  // namespace

void GzipInflaterDeleter::operator()(GzipInflater* g) const {
    stopRing(g->ring);
    delete g;
}

GzipInflaterPtr startGzipInflater(int fd, bool ownThread, size_t unitPhase) {
    GzipInflaterPtr g(new GzipInflater);
    g->fd = fd;
    g->unitPhase = unitPhase % kUnitBytes;
    startMember(*g);
    GzipInflater& inflater = *g;
    startRing(g->ring, [&inflater](RingBlock& block) { fillBlock(inflater, block); }, ownThread);
    return g;
}

int64_t readInflated(GzipInflater& g, char* buffer, size_t size) { return readRing(g.ring, buffer, size); }

int awaitInflated(GzipInflater& g) { return awaitRing(g.ring); }

uint64_t compressedBytesConsumed(const GzipInflater& g) { return g.ring.compressedHandedOut; }

}  // namespace vennrick
