#include "write_all.h"

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

bool writeWholeFile(const std::string& path, const char* bytes, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool written = writeAll(fd, bytes, size);
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (!written) {
        const int ignored = ftruncate(fd, 0);  // fails on a device such as /dev/full, which holds nothing
        (void)ignored;
    }
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    struct stat st;
    if (!written && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
    errno = error;
    return written;
}

}  // namespace vennrick
