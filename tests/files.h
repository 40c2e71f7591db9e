// Scratch directories and whole files, shared by the tests and the fuzz targets.
#pragma once

#include <string>

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

}  // namespace vennrick::test
