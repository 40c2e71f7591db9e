#include "table_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vennrick {
namespace {

Fatal openFailure(const std::string& path, int error) {
    return Fatal{"", "cannot open the data file '" + path + "': " + std::strerror(error)};
}

void closeSource(DataSource& s) {
    if (s.fd >= 0) close(s.fd);
    s.bgzf = nullptr;
    s.fd = -1;
    s.positionFd = -1;
}

}  // namespace

DataSource::DataSource(DataSource&& other) noexcept { *this = std::move(other); }

DataSource& DataSource::operator=(DataSource&& other) noexcept {
    if (this != &other) {
        closeSource(*this);
        path = std::move(other.path);
        fd = std::exchange(other.fd, -1);
        bgzf = std::exchange(other.bgzf, nullptr);
        positionFd = std::exchange(other.positionFd, -1);
        fileBytes = other.fileBytes;
        plainBytesRead = other.plainBytesRead;
        missingEofBlock = other.missingEofBlock;
    }
    return *this;
}

DataSource::~DataSource() { closeSource(*this); }

Outcome<DataSource> openDataSource(const std::string& path, unsigned threads) {
    DataSource source;
    source.path = path;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return openFailure(path, errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        close(fd);
        return openFailure(path, error);
    }
    source.positionFd = fd;

    if (S_ISREG(st.st_mode)) source.fileBytes = static_cast<uint64_t>(st.st_size);
    source.fd = fd;
    return source;
}

Outcome<size_t> readBlock(DataSource& source, char* buffer, size_t size) {
    size_t filled = 0;
    if (source.fd >= 0) {
        while (filled < size) {
            ssize_t n = read(source.fd, buffer + filled, size - filled);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fatal{"", "cannot read the data file '" + source.path + "': " + std::strerror(errno)};
            if (n == 0) break;
            filled += static_cast<size_t>(n);
        }
    }
    source.plainBytesRead += filled;
    return filled;
}

uint64_t fileBytesConsumed(const DataSource& source) { return source.plainBytesRead; }

}  // namespace vennrick
