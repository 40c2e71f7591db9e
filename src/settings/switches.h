// The switch list collected from the command line and its lookup rule.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vennrick {

// Pairs in command-line order: element 2k is a recognised switch name, element 2k+1 the argument after it.
using SwitchList = std::vector<std::string>;

// Every switch the manhattan mode collects, in the order of the table of switches (the mode switch is found by the
// driver, not collected).
const std::vector<std::string_view>& recognisedSwitches();

// Whether the argument is the name of a collected switch.
bool isRecognisedSwitch(std::string_view arg);

// Scans args[1] .. args[size-2] (args[0] is the program) and appends, for every argument equal to a
// recognised name, the name and the argument after it. The scan advances by one, so a value spelled like a
// switch name opens a pair of its own.
SwitchList collectSwitches(const std::vector<std::string>& args);

// Index of the first element equal to name, at any position (values included); -1 when there is none.
long switchPosition(const SwitchList& switches, std::string_view name);

// The element after the first occurrence of name; nullopt when the name is absent or is the last element.
std::optional<std::string> lookupSwitch(const SwitchList& switches, std::string_view name);

}  // namespace vennrick
