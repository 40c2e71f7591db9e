// zstd, xz and bzip2 data decompressed on a thread of its own, ahead of the reader, and handed out in
// blocks. The ring of blocks is that of the gzip inflater; each compression is one decoder behind two
// calls: decode (some input to some output) and finish (the input has ended: flush, or tell that the data
// was cut short).
#include "reading/stream_inflater.h"

#include "reading/block_ring.h"

#include <bzlib.h>
#include <htslib/hfile.h>
#include <lzma.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vennrick {

Compression compressionOf(const unsigned char* b, size_t size) {
    if (size >= 2 && b[0] == 0x1f && b[1] == 0x8b) return Compression::gzip;
    if (size >= 4 && b[0] == 0x28 && b[1] == 0xb5 && b[2] == 0x2f && b[3] == 0xfd) return Compression::zstd;
    // A skippable frame: 0x184D2A5? little-endian, which a zstd stream may start with.
    if (size >= 4 && (b[0] & 0xf0) == 0x50 && b[1] == 0x2a && b[2] == 0x4d && b[3] == 0x18) return Compression::zstd;
    if (size >= 6 && std::memcmp(b, "\xFD" "7zXZ\0", 6) == 0) return Compression::xz;
    if (size >= 4 && b[0] == 'B' && b[1] == 'Z' && b[2] == 'h' && b[3] >= '1' && b[3] <= '9') return Compression::bzip2;
    return Compression::none;
}

const char* compressionName(Compression c) {
    switch (c) {
        case Compression::gzip: return "gzip";
        case Compression::zstd: return "zstd";
        case Compression::xz: return "xz";
        case Compression::bzip2: return "bzip2";
        case Compression::none: break;
    }
    return "";
}

namespace {

constexpr size_t kInputBytes = size_t{1} << 17;  // compressed bytes read at a time
constexpr size_t kBlockBytes = kRingBlockBytes;  // decompressed bytes per block handed to the reader
// xz data that asks for more memory than this to be decoded is refused (xz -9 needs 65 MiB).
constexpr uint64_t kXzMemoryLimit = uint64_t{1} << 30;
// xz written in several blocks (xz -T) is decoded on several threads while their buffers stay below this;
// beyond it the decoder goes on with one thread.
constexpr uint64_t kXzThreadingMemory = uint64_t{256} << 20;

enum class Step { ok, end, failed };       // what a decoder call found

// One decompressor; only the member of its compression is in use.
struct Decoder {
    Compression compression = Compression::none;
    ZSTD_DStream* zstd = nullptr;
    size_t zstdHint = 0;  // the last ZSTD_decompressStream result: 0 when a frame has just been completed
    lzma_stream xz = LZMA_STREAM_INIT;
    bz_stream bzip2{};
    bool bzip2Open = false;   // BZ2_bzDecompressInit has been called and not ended
    bool bzip2Ended = false;  // the last bzip2 stream is complete; another may follow

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (zstd != nullptr) ZSTD_freeDStream(zstd);
        lzma_end(&xz);
        if (bzip2Open) BZ2_bzDecompressEnd(&bzip2);
    }
};

bool startDecoder(Decoder& d, Compression compression, unsigned threads) {
    d.compression = compression;
    switch (compression) {
        case Compression::zstd:
            d.zstd = ZSTD_createDStream();
            return d.zstd != nullptr && !ZSTD_isError(ZSTD_initDStream(d.zstd));
        case Compression::xz: {
            // Concatenated streams are one data, as the xz tool reads them. xz decodes at a few tens of MB a
            // second, far slower than the rows are parsed: the blocks of a file written in blocks are decoded
            // on `threads` threads (10 M-row table in 98 blocks, xz -T2 -1: wall 48.6 s to 18.4 s on two busy
            // cores).
            if (threads > 1) {
                lzma_mt options{};
                options.flags = LZMA_CONCATENATED;
                options.threads = threads;
                options.memlimit_threading = kXzThreadingMemory;
                options.memlimit_stop = kXzMemoryLimit;
                return lzma_stream_decoder_mt(&d.xz, &options) == LZMA_OK;
            }
            return lzma_stream_decoder(&d.xz, kXzMemoryLimit, LZMA_CONCATENATED) == LZMA_OK;
        }
        case Compression::bzip2:
            d.bzip2Open = BZ2_bzDecompressInit(&d.bzip2, 0, 0) == BZ_OK;
            return d.bzip2Open;
        default:
            return false;
    }
}

// Decompresses from [in, in + inLeft) into [out, out + outLeft), advancing both. Both are non-empty.
Step decode(Decoder& d, const uint8_t*& in, size_t& inLeft, uint8_t*& out, size_t& outLeft) {
    switch (d.compression) {
        case Compression::zstd: {
            ZSTD_inBuffer input{in, inLeft, 0};
            ZSTD_outBuffer output{out, outLeft, 0};
            // Frames follow one another: the call after a completed frame starts the next.
            const size_t hint = ZSTD_decompressStream(d.zstd, &output, &input);
            in += input.pos, inLeft -= input.pos, out += output.pos, outLeft -= output.pos;
            if (ZSTD_isError(hint)) return Step::failed;
            d.zstdHint = hint;
            return Step::ok;
        }
        case Compression::xz: {
            d.xz.next_in = in, d.xz.avail_in = inLeft, d.xz.next_out = out, d.xz.avail_out = outLeft;
            const lzma_ret status = lzma_code(&d.xz, LZMA_RUN);
            in = d.xz.next_in, inLeft = d.xz.avail_in, out = d.xz.next_out, outLeft = d.xz.avail_out;
            return status == LZMA_OK || status == LZMA_STREAM_END ? Step::ok : Step::failed;
        }
        case Compression::bzip2: {
            if (d.bzip2Ended) {  // another stream follows the last one, as parallel bzip2 writers make them
                BZ2_bzDecompressEnd(&d.bzip2);
                d.bzip2 = bz_stream{};
                d.bzip2Open = BZ2_bzDecompressInit(&d.bzip2, 0, 0) == BZ_OK;
                if (!d.bzip2Open) return Step::failed;
                d.bzip2Ended = false;
            }
            constexpr size_t kMax = 1u << 30;  // the library counts in unsigned int
            d.bzip2.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
            d.bzip2.avail_in = static_cast<unsigned>(std::min(inLeft, kMax));
            d.bzip2.next_out = reinterpret_cast<char*>(out);
            d.bzip2.avail_out = static_cast<unsigned>(std::min(outLeft, kMax));
            const unsigned inGiven = d.bzip2.avail_in, outGiven = d.bzip2.avail_out;
            const int status = BZ2_bzDecompress(&d.bzip2);
            in += inGiven - d.bzip2.avail_in, inLeft -= inGiven - d.bzip2.avail_in;
            out += outGiven - d.bzip2.avail_out, outLeft -= outGiven - d.bzip2.avail_out;
            if (status == BZ_STREAM_END) d.bzip2Ended = true;
            return status == BZ_OK || status == BZ_STREAM_END ? Step::ok : Step::failed;
        }
        default:
            return Step::failed;
    }
}

// The input has ended: flushes what the decoder still holds into [out, out + outLeft). ok: output was made
// and more may follow; end: the data ended cleanly; failed: the data was cut short inside a frame or stream.
Step finish(Decoder& d, uint8_t*& out, size_t& outLeft) {
    switch (d.compression) {
        case Compression::zstd: {
            if (d.zstdHint == 0) return Step::end;
            ZSTD_inBuffer input{nullptr, 0, 0};
            ZSTD_outBuffer output{out, outLeft, 0};
            const size_t hint = ZSTD_decompressStream(d.zstd, &output, &input);
            out += output.pos, outLeft -= output.pos;
            if (ZSTD_isError(hint)) return Step::failed;
            d.zstdHint = hint;
            if (hint == 0) return Step::end;
            return output.pos > 0 ? Step::ok : Step::failed;
        }
        case Compression::xz: {
            d.xz.next_in = nullptr, d.xz.avail_in = 0, d.xz.next_out = out, d.xz.avail_out = outLeft;
            const lzma_ret status = lzma_code(&d.xz, LZMA_FINISH);
            const size_t made = outLeft - d.xz.avail_out;
            out = d.xz.next_out, outLeft = d.xz.avail_out;
            if (status == LZMA_STREAM_END) return Step::end;
            return status == LZMA_OK && made > 0 ? Step::ok : Step::failed;
        }
        case Compression::bzip2: {
            if (d.bzip2Ended) return Step::end;
            d.bzip2.next_in = nullptr;
            d.bzip2.avail_in = 0;
            d.bzip2.next_out = reinterpret_cast<char*>(out);
            d.bzip2.avail_out = static_cast<unsigned>(std::min<size_t>(outLeft, 1u << 30));
            const unsigned outGiven = d.bzip2.avail_out;
            const int status = BZ2_bzDecompress(&d.bzip2);
            const size_t made = outGiven - d.bzip2.avail_out;
            out += made, outLeft -= made;
            if (status == BZ_STREAM_END) {
                d.bzip2Ended = true;
                return Step::end;
            }
            return status == BZ_OK && made > 0 ? Step::ok : Step::failed;
        }
        default:
            return Step::failed;
    }
}

}  // namespace

struct StreamInflater {
    // The decompressing side, touched only by the thread that decompresses.
    int fd = -1;
    hFILE* stream = nullptr;
    Decoder decoder;
    std::vector<uint8_t> input = std::vector<uint8_t>(kInputBytes);
    const uint8_t* next = nullptr;  // input not yet decompressed: [next, next + left)
    size_t left = 0;
    bool inputEnded = false;
    uint64_t compressedRead = 0;  // compressed bytes read so far

    BlockRing ring;  // the decompressed blocks, and how far the reader has taken them
};

namespace {

// Reads the next compressed bytes; false on a read error.
bool refill(StreamInflater& s) {
    for (;;) {
        const ssize_t n = s.stream != nullptr ? hread(s.stream, s.input.data(), s.input.size())
                                              : read(s.fd, s.input.data(), s.input.size());
        if (n < 0 && s.stream == nullptr && errno == EINTR) continue;
        if (n < 0) return false;
        s.inputEnded = n == 0;
        s.left = static_cast<size_t>(n);
        s.next = s.input.data();
        s.compressedRead += static_cast<uint64_t>(n);
        return true;
    }
}

void fillBlock(StreamInflater& s, RingBlock& block) {
    block.compressedStart = s.compressedRead - s.left;
    block.size = 0;
    block.after = BlockEnd::more;
    uint8_t* out = block.bytes.data();
    size_t outLeft = kBlockBytes;
    while (outLeft > 0) {
        if (s.left == 0 && !s.inputEnded && !refill(s)) {
            block.after = BlockEnd::failed;
            break;
        }
        Step step;
        if (s.left == 0) {
            step = finish(s.decoder, out, outLeft);
            if (step == Step::end) block.after = BlockEnd::end;
        } else {
            const size_t before = s.left + outLeft;
            step = decode(s.decoder, s.next, s.left, out, outLeft);
            if (step == Step::ok && s.left + outLeft == before) step = Step::failed;  // no progress: never loop
        }
        if (step == Step::failed) block.after = BlockEnd::failed;
        if (step != Step::ok) break;
    }
    block.size = kBlockBytes - outLeft;
    block.compressedEnd = s.compressedRead - s.left;
}

}  // namespace

void StreamInflaterDeleter::operator()(StreamInflater* s) const {
    stopRing(s->ring);
    delete s;
}

StreamInflaterPtr startStreamInflater(Compression compression, int fd, hFILE* stream, unsigned threads) {
    StreamInflaterPtr s(new StreamInflater);
    s->fd = fd;
    s->stream = stream;
    if (!startDecoder(s->decoder, compression, threads)) {
        // No decompressor to be had: the first block reports the failure.
        s->ring.blocks[0].after = BlockEnd::failed;
        s->ring.filled = 1;
        return s;
    }
    StreamInflater& inflater = *s;
    startRing(s->ring, [&inflater](RingBlock& block) { fillBlock(inflater, block); }, threads > 1);
    return s;
}

int64_t readInflated(StreamInflater& s, char* buffer, size_t size) { return readRing(s.ring, buffer, size); }

uint64_t compressedBytesConsumed(const StreamInflater& s) { return s.ring.compressedHandedOut; }

}  // namespace vennrick
