// Helpers shared by the tests: scratch directories, files, and running the real binary.
#pragma once

#include <string>
#include <vector>

namespace vennrick::test {

// A fresh directory under the system's temporary directory, removed with its contents on destruction.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);  // empty when missing
bool fileExists(const std::string& path);

struct RunResult {
    int status = -1;     // exit status; 128 + signal number when killed by a signal
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs the built vennrick binary with args (without the program name) in directory dir.
RunResult runVennrick(const std::vector<std::string>& args, const std::string& dir);

// Standard output with the clock lines masked: "Start: ..." becomes "Start: <clock>" and "DONE in ..."
// becomes "DONE in <elapsed>".
std::string maskClock(const std::string& out);

// The banner and argument echo the driver prints before the start line.
std::string expectedPreamble(const std::vector<std::string>& args);

}  // namespace vennrick::test
