// Small text helpers shared by the stages: cutting a list, quoting a table's text for a message, counting
// words, and printing the run's lines for people.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vennrick {

// The parts of text cut at every character of separators, empty parts kept ("3,,5" has three parts).
std::vector<std::string_view> splitAtAny(std::string_view text, std::string_view separators);

// A text in single quotes as a message shows it (see shownText).
std::string quoted(std::string_view text);

// "a", "a and b", "a, b and c"; with more items than shown (total), "a, b, c and 4 more".
std::string listed(const std::vector<std::string>& items, size_t total);

// "1 row", "2 rows" (or another kind of thing).
std::string rowCount(uint64_t n, const char* kind = "row");

// A number with up to six significant digits, as the messages show values.
std::string numberText(double value);

// The text with ASCII letters in lower case.
std::string lowered(std::string_view text);

// Whether text equals upper (given in upper case) in any letter case of ASCII.
bool equalNoCase(std::string_view text, std::string_view upper);

// Prints each line as "vennrick: line" on err.
void printLines(std::ostream& err, const std::vector<std::string>& lines);

}  // namespace vennrick
