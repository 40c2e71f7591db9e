// What the tool answers to --help, -h and --version given alone: the usage from the table of switches, and
// the versions of the tool and of the libraries it runs with.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vennrick {

// The text for an argument list that asks for help or the version (the program name and one of --help, -h,
// --version, nothing else); nullopt for any other list, which runs as it always has.
std::optional<std::string> aboutText(const std::vector<std::string>& args);

// "vennrick VERSION" and one line per library: Qt, htslib, ISA-L, zlib, zstd, xz (liblzma), bzip2.
std::string versionText();

}  // namespace vennrick
