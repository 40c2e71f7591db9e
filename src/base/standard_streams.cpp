// Closed standard descriptors held on /dev/null, and whether standard input was one of them.
#include "base/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vennrick {
namespace {

bool inputClosed = false;

}  // namespace

void guardStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 0) inputClosed = true;
        // The lowest free descriptor is this one, since the ones below it are open.
        const int held = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (held >= 0 && held != fd) close(held);
    }
}

bool standardInputWasClosed() { return inputClosed; }

}  // namespace vennrick
