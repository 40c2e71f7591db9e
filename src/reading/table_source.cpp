// The table's bytes block by block: plain, gzip or bgzip, told by the content.
#include "reading/table_source.h"

#include <fcntl.h>
#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "base/standard_streams.h"

namespace vennrick {
namespace {

Fatal openFailure(const std::string& path, int error) {
    return Fatal{"", "cannot open the data file '" + path + "': " + std::strerror(error)};
}

Fatal corruptData(const DataSource& source) {
    // gzip and bgzip keep the words they always had; the other compressions are named.
    const bool named = source.stream != nullptr;
    return Fatal{"", "cannot read the data file '" + source.path + "': the " +
                         (named ? std::string(compressionName(source.compression)) + "-" : std::string()) +
                         "compressed data is corrupt or truncated"};
}

void closeSource(DataSource& s) {
    s.gzip.reset();  // stops the inflating threads before their descriptor is closed
    s.bgzip.reset();
    s.stream.reset();
    if (s.bgzf != nullptr) bgzf_close(s.bgzf);  // also closes the descriptor
    if (s.pipe != nullptr) hclose_abruptly(s.pipe);  // also closes the descriptor
    if (s.fd >= 0) close(s.fd);
    s.tail.reset();  // after the pipe's reading end is closed: its thread then ends
    s.bgzf = nullptr;
    s.pipe = nullptr;
    s.fd = -1;
    s.positionFd = -1;
}

// What the first bytes of the data (decompressed) show it to be, when it is something that is no table but
// holds one or comes from a tool that writes one: the line that says so and what to do.
std::optional<std::string> refusedContent(const std::string& head, const DataSource& source) {
    auto startsWith = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
    std::string what, todo;
    if (startsWith("PK\x03\x04") || startsWith("PK\x05\x06") || startsWith("PK\x07\x08")) {
        what = "a zip archive", todo = "unpack it (unzip) and give the table inside with -file";
    } else if (head.size() >= 262 && head.compare(257, 5, "ustar") == 0) {
        what = "a tar archive", todo = "unpack it (tar -xf) and give the table inside with -file";
    } else if (startsWith("##fileformat=VCF")) {
        what = "a VCF file", todo = "give the association results as a table (columns of chromosome, position "
                                    "and p-value), e.g. made from it with bcftools query";
    } else if (startsWith("BCF\x02") || startsWith("BCF\x01")) {
        what = "a BCF file", todo = "give the association results as a table (columns of chromosome, position "
                                    "and p-value), e.g. made from it with bcftools query";
    } else {
        return std::nullopt;
    }
    const std::string compression =
        source.compression != Compression::none ? std::string(" (") + compressionName(source.compression) + "-compressed)" : "";
    return "the data file '" + source.path + "' is " + what + compression + ", not a table: " + todo;
}

// How the BGZF reader classifies the regular file open on fd; fd is left at offset 0.
struct Probe {
    bool plainGzip = false;  // gzip that is not bgzip
    bool bgzip = false;      // bgzip ending with its end-of-file block
};

Outcome<Probe> probeCompressed(int fd, const std::string& path) {
    const int probeFd = dup(fd);  // the BGZF reader closes the descriptor it is given
    BGZF* probe = probeFd >= 0 ? bgzf_dopen(probeFd, "r") : nullptr;
    if (probe == nullptr) {
        int error = errno != 0 ? errno : EIO;
        if (probeFd >= 0) close(probeFd);
        return openFailure(path, error);
    }
    Probe found;
    found.plainGzip = bgzf_compression(probe) == gzip;
    found.bgzip = bgzf_compression(probe) == bgzf && bgzf_check_EOF(probe) == 1;
    bgzf_close(probe);
    if (lseek(fd, 0, SEEK_SET) != 0) return openFailure(path, errno);  // the probe read from the shared offset
    return found;
}

}  // namespace

DataSource::DataSource(DataSource&& other) noexcept { *this = std::move(other); }

DataSource& DataSource::operator=(DataSource&& other) noexcept {
    if (this != &other) {
        closeSource(*this);
        path = std::move(other.path);
        fd = std::exchange(other.fd, -1);
        gzip = std::move(other.gzip);
        bgzip = std::move(other.bgzip);
        stream = std::move(other.stream);
        pipe = std::exchange(other.pipe, nullptr);
        tail = std::move(other.tail);
        bgzf = std::exchange(other.bgzf, nullptr);
        compression = other.compression;
        positionFd = std::exchange(other.positionFd, -1);
        fileBytes = other.fileBytes;
        plainBytesRead = other.plainBytesRead;
        missingEofBlock = other.missingEofBlock;
        bgzipStream = other.bgzipStream;
        failed = other.failed;
        started = other.started;
        head = std::move(other.head);
        headAt = other.headAt;
        pendingFailure = std::move(other.pendingFailure);
    }
    return *this;
}

DataSource::~DataSource() { closeSource(*this); }

Outcome<DataSource> openDataSource(const std::string& path, unsigned threads) {
    // The library's own log lines would add to our one-line messages; failures are reported by us.
    hts_set_log_level(HTS_LOG_OFF);

    // "-" is standard input, read as a stream whatever it is: its offset need not be 0, and it is read once.
    const bool standardInput = path == "-";
    DataSource source;
    source.path = standardInput ? "standard input" : path;
    if (standardInput && standardInputWasClosed())
        return Fatal{"", "cannot read the data file 'standard input': standard input is closed"};
    int fd = standardInput ? fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return openFailure(source.path, errno);
    struct stat st;
    int statError = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (statError != 0) {
        close(fd);
        return openFailure(source.path, statError);
    }
    const bool regularFile = S_ISREG(st.st_mode) && !standardInput;
    source.positionFd = fd;

    // The first bytes tell the compression: read in place from a regular file, peeked at through htslib's
    // buffered reader from anything else (a pipe), which then feeds the decompression. zstd, xz and bzip2
    // are decompressed by an inflater of their own, on a thread of its own when threads > 1. A plain regular
    // file is read with read() straight into our blocks: no extra copy. Anything else (gzip, bgzip, and a
    // pipe of plain text) goes through the BGZF reader, which passes plain text through unchanged.
    unsigned char magic[6] = {0, 0, 0, 0, 0, 0};
    ssize_t magicBytes = 0;
    if (S_ISREG(st.st_mode)) {
        const off_t at = regularFile ? 0 : lseek(fd, 0, SEEK_CUR);
        magicBytes = at < 0 ? 0 : pread(fd, magic, sizeof magic, at);
    } else {
        // A stream's last bytes cannot be read again once it has ended: a thread passes it on and keeps them,
        // for the end-of-file check that a regular file gets by seeking.
        int passedOn = -1;
        if ((source.tail = startStreamTail(fd, &passedOn)) != nullptr) fd = passedOn;
        source.positionFd = fd;
        source.pipe = hdopen(fd, "r");
        if (source.pipe == nullptr) {
            int error = errno != 0 ? errno : EIO;
            close(fd);
            return openFailure(source.path, error);
        }
        magicBytes = hpeek(source.pipe, magic, sizeof magic);
        if (magicBytes < 0) {
            int error = errno != 0 ? errno : EIO;
            return openFailure(source.path, error);  // the source's destructor closes the pipe
        }
    }
    source.compression = compressionOf(magic, static_cast<size_t>(std::max<ssize_t>(magicBytes, 0)));
    if (source.compression == Compression::zstd || source.compression == Compression::xz ||
        source.compression == Compression::bzip2) {
        if (regularFile) source.fileBytes = static_cast<uint64_t>(st.st_size);
        if (source.pipe == nullptr) source.fd = fd;
        source.stream = startStreamInflater(source.compression, source.pipe == nullptr ? fd : -1, source.pipe, threads);
        return source;
    }

    bool compressed = true;
    if (regularFile) {
        source.fileBytes = static_cast<uint64_t>(st.st_size);
        compressed = source.compression == Compression::gzip;
    }
    if (!compressed) {
        source.fd = fd;
        return source;
    }

    // A regular file in plain gzip (not bgzip, as the BGZF reader tells them apart) is inflated with ISA-L
    // instead, several times faster than the BGZF reader's zlib, on a thread of its own when threads > 1.
    // A bgzip file with its end block is inflated with ISA-L on several threads at once when threads > 1.
    if (S_ISREG(st.st_mode)) {
        Outcome<Probe> probe = probeCompressed(fd, path);
        if (Fatal* fatal = std::get_if<Fatal>(&probe)) {
            close(fd);
            return *fatal;
        }
        if (std::get<Probe>(probe).plainGzip) {
            source.fd = fd;
            source.gzip = startGzipInflater(fd, threads > 1);
            return source;
        }
        if (std::get<Probe>(probe).bgzip && regularFile && threads > 1) {
            source.bgzip = startBgzipInflater(fd, threads);
            if (source.bgzip != nullptr) {
                source.fd = fd;
                return source;
            }
        }
    }

    source.bgzf = source.pipe != nullptr ? bgzf_hopen(source.pipe, "r") : bgzf_dopen(fd, "r");
    if (source.bgzf == nullptr) {
        int error = errno != 0 ? errno : EIO;
        if (source.pipe == nullptr) close(fd);
        source.positionFd = -1;
        return openFailure(source.path, error);  // the source's destructor closes the pipe
    }
    source.pipe = nullptr;  // the BGZF reader owns it
    if (bgzf_compression(source.bgzf) == bgzf) {
        // A bgzip file ends with an empty block; without it the file was cut short at a block edge, which
        // would otherwise read as a clean end. Only a seekable file can be checked.
        source.missingEofBlock = S_ISREG(st.st_mode) && bgzf_check_EOF(source.bgzf) == 0;
        source.bgzipStream = !S_ISREG(st.st_mode);  // told by its first block, as a file is
        // What comes here (standard input, a pipe, a bgzip file without its end block, or no thread to be had)
        // is decompressed on the reading thread. The library's own threads are not used: on a run of empty
        // blocks they took memory without bound (100,000 empty blocks, 2.8 MB: 880 MB), and through a pipe
        // they were no faster.
    }
    return source;
}

namespace {

// bgzip's end-of-file block: an empty block, the last 28 bytes of every whole bgzip file.
constexpr unsigned char kEofBlock[28] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 0xff, 6, 0, 'B', 'C',
                                         2,    0,    0x1b, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Outcome<size_t> readFromSource(DataSource& source, char* buffer, size_t size) {
    size_t filled = 0;
    if (source.failed) return corruptData(source);
    if (source.gzip != nullptr || source.bgzip != nullptr || source.stream != nullptr) {
        const int64_t n = source.gzip != nullptr    ? readInflated(*source.gzip, buffer, size)
                          : source.bgzip != nullptr ? readInflated(*source.bgzip, buffer, size)
                                                    : readInflated(*source.stream, buffer, size);
        if (n < 0) {
            source.failed = true;
            return corruptData(source);
        }
        filled = static_cast<size_t>(n);
    } else if (source.bgzf != nullptr) {
        // Asked for in small steps, so that a failure loses at most one step of the bytes before it: those
        // are handed out first and the failure is reported on the next call.
        constexpr size_t kStep = size_t{1} << 16;
        while (filled < size) {
            ssize_t n = bgzf_read(source.bgzf, buffer + filled, std::min(kStep, size - filled));
            // bgzip ends with an empty end-of-file block: data that ends without it was cut short at a block
            // edge. A regular file is checked for it when opened; a stream when it ends, so that the same bytes
            // give the same outcome from a file and from a pipe.
            const bool cutShort =
                n == 0 && (source.missingEofBlock ||
                           (source.bgzipStream && (source.tail == nullptr ||
                                                   !streamEndsWith(*source.tail, kEofBlock, sizeof kEofBlock))));
            if (n < 0 || source.bgzf->errcode != 0 || cutShort) {
                source.failed = true;
                if (filled == 0) return corruptData(source);
                break;
            }
            if (n == 0) break;
            filled += static_cast<size_t>(n);
        }
    } else if (source.fd >= 0) {
        while (filled < size) {
            ssize_t n = read(source.fd, buffer + filled, size - filled);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fatal{"", "cannot read the data file '" + source.path + "': " + std::strerror(errno)};
            if (n == 0) break;
            filled += static_cast<size_t>(n);
        }
    }
    return filled;
}

// The first bytes of the data, read before anything is handed out: enough for every refused format.
constexpr size_t kHeadBytes = 512;

}  // namespace

Outcome<size_t> readBlock(DataSource& source, char* buffer, size_t size) {
    if (!source.started) {
        source.started = true;
        source.head.resize(kHeadBytes);
        size_t have = 0;
        while (have < kHeadBytes) {
            Outcome<size_t> n = readFromSource(source, source.head.data() + have, kHeadBytes - have);
            if (Fatal* fatal = std::get_if<Fatal>(&n)) {
                source.pendingFailure = *fatal;
                break;
            }
            if (std::get<size_t>(n) == 0) break;
            have += std::get<size_t>(n);
        }
        source.head.resize(have);
        if (std::optional<std::string> refused = refusedContent(source.head, source)) {
            source.pendingFailure = Fatal{"", *refused};
            source.head.clear();
        }
    }
    size_t filled = 0;
    if (source.headAt < source.head.size()) {
        filled = std::min(size, source.head.size() - source.headAt);
        std::memcpy(buffer, source.head.data() + source.headAt, filled);
        source.headAt += filled;
        if (source.headAt == source.head.size()) std::string().swap(source.head), source.headAt = 0;
    }
    // A failure met while bytes before it were still to be handed out comes on the call after them.
    if (filled < size && source.head.empty()) {
        if (source.pendingFailure) {
            if (filled == 0) return *source.pendingFailure;
        } else {
            Outcome<size_t> n = readFromSource(source, buffer + filled, size - filled);
            if (Fatal* fatal = std::get_if<Fatal>(&n)) {
                if (filled == 0) return *fatal;
                source.pendingFailure = *fatal;
            } else {
                filled += std::get<size_t>(n);
            }
        }
    }
    source.plainBytesRead += filled;
    return filled;
}

bool isDecompressed(const DataSource& source) {
    return source.gzip != nullptr || source.bgzip != nullptr || source.stream != nullptr || source.bgzf != nullptr;
}

uint64_t fileBytesConsumed(const DataSource& source) {
    if (source.gzip != nullptr) return compressedBytesConsumed(*source.gzip);
    if (source.bgzip != nullptr) return compressedBytesConsumed(*source.bgzip);
    if (source.stream != nullptr) return compressedBytesConsumed(*source.stream);
    if (source.bgzf == nullptr) return source.plainBytesRead;
    // In a bgzip file, the offset of the block being handed out; the descriptor's offset runs ahead by what
    // the decompression threads have read, which made the reader's size estimate from it far too low.
    if (bgzf_compression(source.bgzf) == bgzf) return static_cast<uint64_t>(source.bgzf->block_address);
    off_t at = source.positionFd >= 0 ? lseek(source.positionFd, 0, SEEK_CUR) : -1;
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

const char* compressionName(const DataSource& source) {
    if (source.stream) return compressionName(source.compression);
    if (source.gzip) return "gzip";
    if (source.bgzip) return "bgzip";
    if (source.bgzf != nullptr) {
        switch (bgzf_compression(source.bgzf)) {
            case bgzf: return "bgzip";
            case gzip: return "gzip";
            default: return "none";
        }
    }
    return "none";
}

}  // namespace vennrick
