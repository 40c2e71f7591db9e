// Helpers shared by the tests, with the standard headers they use: files, compressed bytes, running the real binary,
// figures compared and case tables.
#pragma once

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>


#include "figure/figure.h"
#include "reading/plot_data.h"
#include "files.h"

class QImage;

namespace vennrick::test {

// The text compressed by the BGZF writer: mode "wg" gives one gzip member, "w" bgzip blocks and the end block.
std::string compressed(const std::string& text, const char* mode);

// The text compressed by the formats' own libraries: "zstd" (one frame with its checksum, as the zstd tool
// writes), "zstd-frames" (a frame of its own for every 64 KiB of text, as association tools write their
// output), "xz" (with its CRC64), "xz-blocks" (a block for every 64 KiB of text, as xz -T writes them, which
// are decoded on several threads), "bzip2" (blocks of 100 kB, so that a table of a few hundred kB has several).
std::string packed(const std::string& text, const std::string& kind);

struct RunResult {
    int status = -1;     // exit status; 128 + signal number when killed by a signal
    std::string out;     // standard output
    std::string err;     // standard error
    long peakKb = 0;     // peak resident size of the process, in kilobytes
};

// Runs the built vennrick binary with args (without the program name) in directory dir, standard input from
// the file input: the file itself, or through a pipe that another process fills from it (throughPipe); an
// empty input closes standard input.
RunResult runVennrick(const std::vector<std::string>& args, const std::string& dir, const std::string& input = "/dev/null",
                      bool throughPipe = false);

// Standard output with the clock lines masked: "Start: ..." becomes "Start: <clock>" and "DONE in ..."
// becomes "DONE in <elapsed>".
std::string maskClock(const std::string& out);

// The banner and argument echo the driver prints before the start line.
std::string expectedPreamble(const std::vector<std::string>& args);

// Masked standard output of a manhattan run of args: preamble, start line, the settings notices for args (as
// the settings stage prints them; their texts are pinned by its own tests), then afterSettings.
std::string expectedConsole(const std::vector<std::string>& args, const std::string& afterSettings);

// One row as the reader keeps it, and PlotData as the reader leaves the rows: runs of equal IDs, values,
// positions (when asked for), count and extremes.
struct Row {
    std::string id;
    double value;
    int32_t pos = 0;
};
PlotData plotDataOf(const std::vector<Row>& rows, bool withPositions);

// The image file's bytes decoded; a null image when they are none.
QImage decoded(const std::string& bytes);

// b is figure a drawn k times as large: the same texts in the same point sizes, and texts' boxes, lines and dots
// within k pixels of a's scaled by k (line widths and dot sides exactly).
void expectScaled(const Figure& a, const Figure& b, double k);

// A case table: "case NAME" starts a case, each further line is "key value"; blank lines and lines that
// start with '#' are skipped. Values are read with the escapes \t \n \r \\ \xHH.
struct Case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> items;  // key and raw value, in file order
    bool has(const std::string& key) const;
    std::string get(const std::string& key) const;                // the first value of key, unescaped; "" if none
    std::vector<std::string> words(const std::string& key) const;  // that value split at blanks; "" is an empty word
};
std::string unescaped(const std::string& raw);
std::vector<std::string> wordsOf(const std::string& raw);
std::vector<Case> loadCases(const std::string& name);  // tests/cases/NAME

}  // namespace vennrick::test
