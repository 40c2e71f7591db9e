// Checked writes of whole buffers, and whole files written aside and renamed into place, with the temporaries
// removed when the run is stopped by a signal.
#include "base/write_all.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

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

namespace {

// The temporaries being written, for the signal handler: fixed slots, since a handler may not allocate.
struct PartialSlot {
    std::atomic<int> state{0};  // 0: free; 1: taken, its path being written; 2: holds the path of a temporary
    char path[PATH_MAX];
};
constexpr int kPartialSlots = 64;  // more files at once than any run writes
PartialSlot partials[kPartialSlots];

// Stopped by a signal that would end the process: the temporaries go, then the signal takes its usual course
// (the status a caller sees is the signal's, as before).
void removePartialsAndRaise(int signal) {
    for (PartialSlot& slot : partials)
        if (slot.state.load() == 2) unlink(slot.path);
    struct sigaction usual {};
    usual.sa_handler = SIG_DFL;
    sigemptyset(&usual.sa_mask);
    sigaction(signal, &usual, nullptr);
    raise(signal);
}

void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
            struct sigaction now {};
            // A signal the caller ignores (nohup's SIGHUP) stays ignored.
            if (sigaction(signal, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
            struct sigaction handler {};
            handler.sa_handler = removePartialsAndRaise;
            sigemptyset(&handler.sa_mask);
            sigaction(signal, &handler, nullptr);
        }
        // Beyond a file-size limit a write fails with EFBIG and is reported, instead of the signal ending the
        // run with a partial file.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, nullptr);
    });
}

void rememberPartial(const std::string& path) {
    if (path.size() >= PATH_MAX) return;
    for (PartialSlot& slot : partials) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state.store(2);
        return;
    }
}

void forgetPartial(const std::string& path) {
    for (PartialSlot& slot : partials) {
        if (slot.state.load() == 2 && path == slot.path) {
            slot.state.store(0);
            return;
        }
    }
}

// The file a name leads to through its symbolic links (the name itself when it is none); a link that leads
// nowhere names the file a write would create.
std::string followLinks(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        char link[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), link, sizeof link - 1);
        if (n < 0) return at;
        link[n] = '\0';
        const size_t slash = at.rfind('/');
        at = (link[0] == '/' || slash == std::string::npos) ? std::string(link) : at.substr(0, slash + 1) + link;
    }
    return at;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writing in place, as an ordinary open for writing does.
void openInPlace(WholeFile& file) {
    file.temporary.clear();
    file.fd = open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file.fd < 0) file.error = errno;
}

std::atomic<unsigned> partialCount{0};

}  // namespace

WholeFile createWholeFile(const std::string& path) {
    installHandlers();
    WholeFile file;
    file.path = path;
    file.target = followLinks(path);
    struct stat st;
    const bool exists = stat(file.target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        file.error = errno;
        return file;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        openInPlace(file);  // a device or a pipe; a directory is refused here with the open's reason
        return file;
    }
    if (exists) {
        // Refused exactly when an open for writing is: the run must not replace a file it could not write.
        const int probe = open(file.target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            file.error = errno;
            return file;
        }
        close(probe);
    }
    const std::string folder = folderOf(file.target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.temporary = folder + "/" + kPartialPrefix + std::to_string(getpid()) + "-" +
                         std::to_string(partialCount.fetch_add(1));
        rememberPartial(file.temporary);
        file.fd = open(file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.fd >= 0) {
            // The file that is replaced keeps its permissions.
            if (exists) (void)fchmod(file.fd, st.st_mode & 07777);
            return file;
        }
        const int error = errno;
        forgetPartial(file.temporary);
        if (error == EEXIST) continue;
        if (exists && (error == EACCES || error == EPERM || error == EROFS)) {
            openInPlace(file);  // a writable file in a folder that takes no new file: written as before
            return file;
        }
        file.temporary.clear();
        file.error = error;
        return file;
    }
    file.temporary.clear();
    file.error = EEXIST;
    return file;
}

void writePiece(WholeFile& file, const char* bytes, size_t size) {
    if (file.error == 0 && !writeAll(file.fd, bytes, size)) file.error = errno != 0 ? errno : EIO;
}

void abandonWholeFile(WholeFile& file) {
    if (file.fd >= 0) close(file.fd);
    file.fd = -1;
    if (!file.temporary.empty()) {
        unlink(file.temporary.c_str());
        forgetPartial(file.temporary);
        file.temporary.clear();
    }
}

bool finishWholeFile(WholeFile& file) {
    if (file.fd < 0) {
        errno = file.error;
        return false;
    }
    if (file.temporary.empty()) {  // written in place: nothing whole can be left, so nothing is
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
    if (close(file.fd) != 0 && file.error == 0) file.error = errno;
    file.fd = -1;
    if (file.error == 0 && rename(file.temporary.c_str(), file.target.c_str()) != 0) file.error = errno;
    if (file.error != 0) unlink(file.temporary.c_str());
    forgetPartial(file.temporary);
    file.temporary.clear();
    errno = file.error;
    return file.error == 0;
}

bool writeWholeFile(const std::string& path, const char* bytes, size_t size) {
    WholeFile file = createWholeFile(path);
    if (file.fd >= 0) writePiece(file, bytes, size);
    return finishWholeFile(file);
}

}  // namespace vennrick
