#include "test_support.h"

#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "settings.h"
#include "switches.h"

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

std::string compressed(const std::string& text, const char* mode) {
    ScratchDir dir;
    const std::string path = dir.file("compressed");
    BGZF* file = bgzf_open(path.c_str(), mode);
    if (file == nullptr || bgzf_write(file, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        bgzf_close(file) != 0)
        throw std::runtime_error("cannot compress");
    return readFile(path);
}

RunResult runVennrick(const std::vector<std::string>& args, const std::string& dir, const std::string& input) {
    // Standard output and standard error go to files, so neither pipe can fill up and block the child. The
    // binary gets the test's environment without the rule that silences the toolkit's warnings in the test
    // process, so that whatever it writes to standard error is seen.
    ScratchDir capture;
    auto quoted = [](const std::string& text) {
        std::string q = "'";
        for (char c : text) c == '\'' ? q += "'\\''" : q += c;
        return q + "'";
    };
    std::string command = "cd " + quoted(dir) + " && exec env -u QT_LOGGING_RULES " + quoted(VENNRICK_BINARY);
    for (const std::string& a : args) command += " " + quoted(a);
    command += " <" + quoted(input) + " >" + quoted(capture.file("stdout")) + " 2>" + quoted(capture.file("stderr"));
    // Run through the shell and waited for with wait4, which also tells the child's peak resident size.
    int status = -1;
    struct rusage usage {};
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0 || wait4(child, &status, 0, &usage) != child) throw std::runtime_error("cannot run " + command);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(capture.file("stdout")),
            readFile(capture.file("stderr")), usage.ru_maxrss};
}

std::vector<std::string> manhattanArgs(const std::string& file, const std::vector<std::string>& more) {
    std::vector<std::string> args = {"-M", "manhattan", "-file", file};
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"-idcolumn", "1", "-column", "2"});
    return args;
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

std::string expectedConsole(const std::vector<std::string>& args, const std::string& afterSettings) {
    std::vector<std::string> argv{"vennrick"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream notices;
    readSettings(collectSwitches(argv), notices);
    return expectedPreamble(args) + "Start: <clock>\n" + notices.str() + afterSettings;
}

std::string expectCompleteRun(const std::string& name, const std::string& text, const std::string& hits,
                              std::vector<std::string> more) {
    ScratchDir dir;
    writeFile(dir.file("d.txt"), text);
    const bool header = std::find(more.begin(), more.end(), "-header") != more.end();
    more.insert(more.begin(), {"-out", "hits", "-figuretitle", "t", "-quiet", "yes"});
    const std::vector<std::string> args = manhattanArgs("d.txt", more);
    RunResult run = runVennrick(args, dir.path);
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(maskClock(run.out),
              expectedConsole(args, std::string(header ? "Header size 1\n" : "No header\n") + "\nDONE in <elapsed>\n\n"))
        << name;
    EXPECT_EQ(run.err, "") << name;
    EXPECT_TRUE(readFile(dir.file("hits")) == hits) << name << ": hit file differs";
    return readFile(dir.file("hits.jpg"));
}

}  // namespace vennrick::test
