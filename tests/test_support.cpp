#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vennrick::test {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vennrick-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

namespace {

std::string drain(int fd) {
    std::string bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    return bytes;
}

}  // namespace

RunResult runVennrick(const std::vector<std::string>& args, const std::string& dir) {
    // Standard output and standard error go to files, so neither pipe can fill up and block the child.
    ScratchDir capture;
    const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
    std::vector<std::string> argv{VENNRICK_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    // The binary gets the test's environment without the rule that silences the toolkit's warnings in the
    // test process, so that whatever the binary writes to standard error is seen.
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "QT_LOGGING_RULES=", 17) != 0) env.push_back(*e);
    env.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + std::string(cargs[0]));
    int status = 0;
    waitpid(pid, &status, 0);

    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = drain(open(outPath.c_str(), O_RDONLY));
    result.err = drain(open(errPath.c_str(), O_RDONLY));
    return result;
}

std::string maskClock(const std::string& out) {
    static const std::regex start("Start: [0-9]{2}:[0-9]{2}:[0-9]{2} [A-Za-z]{3} [A-Za-z]{3} [0-9]{1,2} [0-9]{4}\n");
    static const std::regex done("\nDONE in [0-9a-z ]+\n\n");
    std::string masked = std::regex_replace(out, start, "Start: <clock>\n");
    return std::regex_replace(masked, done, "\nDONE in <elapsed>\n\n");
}

std::string expectedPreamble(const std::vector<std::string>& args) {
    std::string text =
        "\nVennrick - VNK v. 0.3.1\nWebsite: https://vennrick.org\n"
        "Email: help@vennrick.org, developers@vennrick.org\n\n";
    for (size_t i = 0; i < args.size(); ++i) text += std::to_string(i + 1) + " " + args[i] + "\n";
    return text;
}

}  // namespace vennrick::test
