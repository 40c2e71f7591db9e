// Checked writes of whole buffers and whole files.
#include "base/write_all.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vennrick {

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

WholeFile createWholeFile(const std::string& path) {
    WholeFile file;
    file.path = path;
    file.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file.fd < 0) file.error = errno;
    return file;
}

void writePiece(WholeFile& file, const char* bytes, size_t size) {
    if (file.error == 0 && !writeAll(file.fd, bytes, size)) file.error = errno != 0 ? errno : EIO;
}

bool finishWholeFile(WholeFile& file) {
    if (file.fd < 0) {
        errno = file.error;
        return false;
    }
    if (file.error != 0) {
        const int ignored = ftruncate(file.fd, 0);  // fails on a device such as /dev/full, which holds nothing
        (void)ignored;
    }
    if (close(file.fd) != 0 && file.error == 0) file.error = errno;
    file.fd = -1;
    struct stat st;
    if (file.error != 0 && lstat(file.path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(file.path.c_str());
    errno = file.error;
    return file.error == 0;
}

bool writeWholeFile(const std::string& path, const char* bytes, size_t size) {
    WholeFile file = createWholeFile(path);
    if (file.fd >= 0) writePiece(file, bytes, size);
    return finishWholeFile(file);
}

}  // namespace vennrick
