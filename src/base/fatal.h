// A fatal outcome of a stage: what to print and where. Only the driver prints it and ends the run.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace vennrick {

struct Fatal {
    std::string message;  // documented text for standard output, printed exactly; may be empty
    std::string detail;   // extra explanation for standard error (one line, no newline); may be empty
};

// A stage's result: its value, or the fatal outcome that ends the run with exit status 1.
template <class T>
using Outcome = std::variant<T, Fatal>;

// Text from the command line or the data as a one-line message shows it: control characters are spelled out
// (\n, \t, \r, \xHH) and text past 60 bytes is cut, marked "...", so that a 50 MB field or a value with a line
// break stays one line.
std::string shownText(std::string_view text);

}  // namespace vennrick
