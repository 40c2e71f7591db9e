// Whole files: written aside and renamed into place, refused where an ordinary open would be, links kept; and
// the real binary killed mid-write or racing another run on the same name.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/write_all.h"
#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> partialsIn(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind(kPartialPrefix, 0) == 0) found.push_back(entry.path().string());
    return found;
}

// The tool started in dir with its standard input from a pipe the test writes.
struct PipedRun {
    pid_t pid = -1;
    int input = -1;  // the pipe's writing end
    PipedRun(const std::vector<std::string>& args, const std::string& dir) {
        int ends[2];
        if (pipe(ends) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(ends[0], STDIN_FILENO);
            close(ends[0]), close(ends[1]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO), dup2(null, STDERR_FILENO);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(VENNRICK_BINARY)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VENNRICK_BINARY, argv.data());
            _exit(127);
        }
        close(ends[0]);
        input = ends[1];
    }
    void feed(const std::string& bytes) const { ASSERT_TRUE(writeAll(input, bytes.data(), bytes.size())); }
    void endInput() {
        if (input >= 0) close(input);
        input = -1;
    }
    // The exit status, or 128 + the signal that ended it.
    int wait() {
        endInput();
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

// Waits until the run has made its first temporary (it has read the header and started the hit file).
bool waitForPartial(const std::string& dir) {
    for (int i = 0; i < 2000; ++i) {
        if (!partialsIn(dir).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::string hitRows(const std::string& tag, int count) {
    std::string rows;
    for (int i = 0; i < count; ++i) rows += "1\t1e-9\t" + tag + " row " + std::to_string(i) + "\n";
    return rows;
}

}  // namespace

TEST(write_all_test, a_whole_file_replaces_the_name_only_when_complete) {
    ScratchDir dir;
    const std::string name = dir.file("out");
    writeFile(name, "before\n");
    chmod(name.c_str(), 0640);
    WholeFile file = createWholeFile(name);
    ASSERT_GE(file.fd, 0);
    ASSERT_EQ(partialsIn(dir.path).size(), 1u);
    writePiece(file, "after\n", 6);
    EXPECT_EQ(readFile(name), "before\n");  // nothing under the name until it is whole
    ASSERT_TRUE(finishWholeFile(file));
    EXPECT_EQ(readFile(name), "after\n");
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file's permissions are kept
    EXPECT_TRUE(partialsIn(dir.path).empty());

    WholeFile given = createWholeFile(name);
    writePiece(given, "never\n", 6);
    abandonWholeFile(given);
    EXPECT_EQ(readFile(name), "after\n");
    EXPECT_TRUE(partialsIn(dir.path).empty());
}

TEST(write_all_test, links_stay_links_and_devices_are_written_in_place) {
    ScratchDir dir;
    fs::create_directory(dir.file("real"));
    writeFile(dir.file("real/target"), "old\n");
    fs::create_symlink("real/target", dir.file("link"));
    ASSERT_TRUE(writeWholeFile(dir.file("link"), "new\n", 4));
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(readFile(dir.file("real/target")), "new\n");
    EXPECT_TRUE(partialsIn(dir.file("real")).empty());
    // A link to nowhere names the file the write creates.
    fs::create_symlink("real/made", dir.file("dangling"));
    ASSERT_TRUE(writeWholeFile(dir.file("dangling"), "made\n", 5));
    EXPECT_EQ(readFile(dir.file("real/made")), "made\n");

    EXPECT_TRUE(writeWholeFile("/dev/null", "x", 1));
    EXPECT_FALSE(writeWholeFile("/dev/full", "x", 1));
    EXPECT_EQ(errno, ENOSPC);
}

// A finished file holds no descriptor: finishing or giving it up again fails or does nothing, and never closes a
// descriptor the run still uses (standard input here, descriptor 0).
TEST(write_all_test, a_finished_file_closes_nothing_more) {
    ScratchDir dir;
    if (fcntl(0, F_GETFD) == -1) ASSERT_EQ(open("/dev/null", O_RDONLY), 0);
    for (const std::string& path : {std::string("/dev/null"), dir.file("regular")}) {
        WholeFile file = createWholeFile(path);
        writePiece(file, "x", 1);
        ASSERT_TRUE(finishWholeFile(file)) << path;
        EXPECT_FALSE(finishWholeFile(file)) << path;
        abandonWholeFile(file);
        EXPECT_NE(fcntl(0, F_GETFD), -1) << path << ": standard input was closed";
    }
    EXPECT_EQ(readFile(dir.file("regular")), "x");
}

TEST(write_all_test, names_an_open_would_refuse_are_refused_with_its_reason) {
    ScratchDir dir;
    fs::create_directory(dir.file("folder"));
    WholeFile onFolder = createWholeFile(dir.file("folder"));
    EXPECT_EQ(onFolder.fd, -1);
    EXPECT_EQ(onFolder.error, EISDIR);
    WholeFile missing = createWholeFile(dir.file("no/such/folder/file"));
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_FALSE(finishWholeFile(missing));
    EXPECT_TRUE(partialsIn(dir.path).empty());
}

TEST(write_all_test, a_file_size_limit_fails_the_write_and_keeps_the_old_file) {
    ScratchDir dir;
    const std::string name = dir.file("limited");
    writeFile(name, "old\n");
    const pid_t child = fork();
    if (child == 0) {
        struct rlimit limit {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(100000, 'x');
        const bool written = writeWholeFile(name, big.data(), big.size());
        _exit(!written && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write failed with EFBIG, no signal";
    EXPECT_EQ(readFile(name), "old\n");
    EXPECT_TRUE(partialsIn(dir.path).empty());
}

TEST(write_all_test, a_killed_run_leaves_no_partial_file_under_its_names) {
    const std::vector<std::string> args = {"-M", "manhattan", "-file", "-", "-header", "yes", "-quiet", "yes", "-out",
                                           "hits", "-idcolumn", "1", "-column", "2"};
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
        ScratchDir dir;
        writeFile(dir.file("hits"), "the hits of an earlier run\n");
        PipedRun run(args, dir.path);
        run.feed("CHR\tP\tNOTE\n" + hitRows("a", 20000));
        ASSERT_TRUE(waitForPartial(dir.path)) << signal;
        kill(run.pid, signal);
        EXPECT_EQ(run.wait(), 128 + signal);
        EXPECT_EQ(readFile(dir.file("hits")), "the hits of an earlier run\n") << signal;
        EXPECT_FALSE(fs::exists(dir.file("hits.jpg"))) << signal;
        // A handled signal removes the temporary; after SIGKILL it is left, recognisable by its name.
        EXPECT_EQ(partialsIn(dir.path).size(), signal == SIGKILL ? 1u : 0u) << signal;
    }
}

TEST(write_all_test, two_runs_on_one_name_leave_one_whole_hit_file) {
    ScratchDir dir;
    const std::vector<std::string> args = {"-M", "manhattan", "-file", "-", "-header", "yes", "-quiet", "yes", "-out",
                                           "hits", "-idcolumn", "1", "-column", "2"};
    const std::string header = "CHR\tP\tNOTE\n";
    const std::string a = hitRows("first", 30000), b = hitRows("second", 1000);
    PipedRun first(args, dir.path);
    first.feed(header + a);
    ASSERT_TRUE(waitForPartial(dir.path));
    PipedRun second(args, dir.path);
    second.feed(header + b);  // both are writing their hit files at once
    EXPECT_EQ(second.wait(), 0);
    EXPECT_EQ(readFile(dir.file("hits")), header + b);
    EXPECT_EQ(first.wait(), 0);
    EXPECT_EQ(readFile(dir.file("hits")), header + a);  // the later run's file, whole
    EXPECT_TRUE(partialsIn(dir.path).empty());
}
