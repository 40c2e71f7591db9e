// The bytes of the data file, block by block: plain text straight from the file, gzip (one or several
// members), bgzip, zstd, xz and bzip2 decompressed on the way. The format is told by the content, never by
// the name; archives and variant files (zip, tar, VCF, BCF) are refused with a line that says what to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/fatal.h"
#include "reading/bgzip_inflater.h"
#include "reading/gzip_inflater.h"
#include "reading/stream_inflater.h"
#include "reading/stream_tail.h"

struct BGZF;
struct hFILE;

namespace vennrick {

struct DataSource {
    DataSource() = default;
    DataSource(DataSource&& other) noexcept;
    DataSource& operator=(DataSource&& other) noexcept;
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;
    ~DataSource();

    std::string path;             // as given ("standard input" for "-"), for messages
    int fd = -1;                  // regular file read with read() (plain, or inflated by gzip); -1 when bgzf owns it
    GzipInflaterPtr gzip;         // plain gzip in a regular file: inflated from fd
    BgzipInflaterPtr bgzip;       // bgzip in a regular file, inflated from fd on several threads
    StreamInflaterPtr stream;     // zstd, xz or bzip2, from fd or from pipe
    hFILE* pipe = nullptr;        // input that is not a regular file, when no BGZF reader owns it
    StreamTailPtr tail;           // input that is not a regular file, passed on through a pipe with its last bytes
    BGZF* bgzf = nullptr;         // bgzip input, or input that is not a regular file
    Compression compression = Compression::none;  // told by the first bytes of the file
    int positionFd = -1;          // descriptor whose offset tells how far the file has been read
    uint64_t fileBytes = 0;       // size on disk (compressed size for compressed input); 0 when unknown
    uint64_t plainBytesRead = 0;  // bytes handed out so far (decompressed bytes for compressed input)
    bool missingEofBlock = false; // bgzip file without its end-of-file block: cut short at a block edge
    bool bgzipStream = false;     // bgzip that is not a regular file: its end block is checked when it ends (tail)
    bool failed = false;          // the compressed data turned out corrupt or truncated
    bool started = false;         // the first bytes have been read and looked at (see readBlock)
    std::string head;             // those first bytes, handed out from headAt on before any others
    size_t headAt = 0;
    std::optional<Fatal> pendingFailure;  // met after bytes still to be handed out: the next call's outcome
};

// Opens the data file; "-" is standard input. A failure is fatal: silent on standard output, one line naming
// the file and the system's reason for standard error. threads > 1 lets the bgzip blocks of a regular file be
// decompressed on several threads and plain gzip be inflated on a thread of its own.
Outcome<DataSource> openDataSource(const std::string& path, unsigned threads);

// Whether the bytes handed out are decompressed on the way (or may be: input that is not a regular file),
// so that damage to the data can show as rows of garbage before it is detected.
bool isDecompressed(const DataSource& source);

// Reads up to size bytes into buffer, fewer only at the end of the data; 0 at the end. A read error or
// corrupt or truncated compressed data is fatal. The first call looks at the first bytes of the data (after
// decompression): a zip or tar archive, a VCF or a BCF file is fatal there, before any byte is handed out.
Outcome<size_t> readBlock(DataSource& source, char* buffer, size_t size);

// Bytes of the file itself consumed so far (compressed bytes for compressed input), for progress.
uint64_t fileBytesConsumed(const DataSource& source);

// The input's compression as found from its content: "none", "gzip" or "bgzip".
const char* compressionName(const DataSource& source);

}  // namespace vennrick
