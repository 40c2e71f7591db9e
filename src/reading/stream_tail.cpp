// The stream's bytes copied to a pipe block by block, the last ones kept.
#include "reading/stream_tail.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "base/write_all.h"

namespace vennrick {

struct StreamTail {
    int in = -1, out = -1;
    int wake[2] = {-1, -1};  // written to when the run stops reading: a thread waiting for input then ends
    std::thread thread;
    unsigned char last[kStreamTailBytes] = {};
    size_t kept = 0;     // bytes of last that hold the stream's last bytes, at most kStreamTailBytes
    bool whole = false;  // the stream was read to its end and passed on whole
};

namespace {

void passOn(StreamTail& t) {
    // A reader that stops early closes its end: the write then fails with EPIPE instead of raising SIGPIPE,
    // which would end the run.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    std::vector<char> block(size_t{1} << 18);
    for (;;) {
        pollfd waitFor[2] = {{t.in, POLLIN, 0}, {t.wake[0], POLLIN, 0}};
        if (poll(waitFor, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (waitFor[1].revents != 0) break;  // stopped
        const ssize_t n = read(t.in, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            t.whole = true;
            break;
        }
        if (n < 0 || !writeAll(t.out, block.data(), static_cast<size_t>(n))) break;
        const size_t got = static_cast<size_t>(n);
        if (got >= kStreamTailBytes) {
            std::memcpy(t.last, block.data() + got - kStreamTailBytes, kStreamTailBytes);
            t.kept = kStreamTailBytes;
        } else {
            const size_t keep = std::min(t.kept, kStreamTailBytes - got);
            std::memmove(t.last, t.last + t.kept - keep, keep);
            std::memcpy(t.last + keep, block.data(), got);
            t.kept = keep + got;
        }
    }
    close(t.out);  // the reader sees the end of the data
    t.out = -1;
}

}  // namespace

void StreamTailStop::operator()(StreamTail* tail) const {
    if (tail->thread.joinable()) {
        const char stop = 1;
        (void)!write(tail->wake[1], &stop, 1);
        tail->thread.join();  // a write to the pipe fails once its reading end is closed, as it is by now
    }
    for (int fd : {tail->in, tail->out, tail->wake[0], tail->wake[1]})
        if (fd >= 0) close(fd);
    delete tail;
}

StreamTailPtr startStreamTail(int fd, int* readEnd) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    StreamTailPtr tail(new StreamTail);
    tail->in = fd;
    tail->out = ends[1];
    if (pipe2(tail->wake, O_CLOEXEC) != 0) {
        close(ends[0]);
        tail->in = -1;  // the caller keeps fd
        return nullptr;
    }
    try {
        tail->thread = std::thread(passOn, std::ref(*tail));
    } catch (const std::system_error&) {
        close(ends[0]);
        tail->in = -1;  // the caller keeps fd
        errno = EAGAIN;
        return nullptr;
    }
    *readEnd = ends[0];
    return tail;
}

bool streamEndsWith(StreamTail& tail, const unsigned char* bytes, size_t count) {
    if (tail.thread.joinable()) tail.thread.join();
    return tail.whole && count <= tail.kept && std::memcmp(tail.last + tail.kept - count, bytes, count) == 0;
}

}  // namespace vennrick
