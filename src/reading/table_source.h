// The bytes of the data file, block by block: plain text straight from the file, gzip (one or several
// members) and bgzip decompressed on the way. The format is told by the content, never by the name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/fatal.h"
#include "reading/bgzip_inflater.h"
#include "reading/gzip_inflater.h"

struct BGZF;

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
    BGZF* bgzf = nullptr;         // bgzip input, or input that is not a regular file
    int positionFd = -1;          // descriptor whose offset tells how far the file has been read
    uint64_t fileBytes = 0;       // size on disk (compressed size for compressed input); 0 when unknown
    uint64_t plainBytesRead = 0;  // bytes handed out so far (decompressed bytes for compressed input)
    bool missingEofBlock = false; // bgzip file without its end-of-file block: cut short at a block edge
    bool bgzipStream = false;     // bgzip that is not a regular file: its end block is checked when it ends
    bool failed = false;          // the compressed data turned out corrupt or truncated
};

// Opens the data file; "-" is standard input. A failure is fatal: silent on standard output, one line naming
// the file and the system's reason for standard error. threads > 1 lets the bgzip blocks of a regular file be
// decompressed on several threads and plain gzip be inflated on a thread of its own.
Outcome<DataSource> openDataSource(const std::string& path, unsigned threads);

// Whether the bytes handed out are decompressed on the way (or may be: input that is not a regular file),
// so that damage to the data can show as rows of garbage before it is detected.
bool isDecompressed(const DataSource& source);

// Reads up to size bytes into buffer, fewer only at the end of the data; 0 at the end. A read error or
// corrupt or truncated compressed data is fatal.
Outcome<size_t> readBlock(DataSource& source, char* buffer, size_t size);

// Bytes of the file itself consumed so far (compressed bytes for compressed input), for progress.
uint64_t fileBytesConsumed(const DataSource& source);

// The input's compression as found from its content: "none", "gzip" or "bgzip".
const char* compressionName(const DataSource& source);

}  // namespace vennrick
