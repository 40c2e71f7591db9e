// The one table of switches: every switch of the manhattan mode declared once, with its value, default, limits,
// one line of help and the style it belongs to. Collecting the command line, the refusals of bad values, the
// usage text and the README's switch table all come from it (a test holds the README to it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vennrick {

struct SwitchDeclaration {
    std::string_view name;         // as typed: "-file"
    std::string_view alias;        // another spelling ("-m" for "-M"); empty: none
    std::string_view placeholder;  // the value as the usage shows it: "TABLE", "yes|no", "N"
    std::string_view help;         // one line for the usage text and the manual page
    std::string_view choices;      // the enumerated values, separated by '|'; empty: a free value
    std::string_view style;        // "classic" or "paper" when only that style uses it; empty: every run
    int64_t min = 0, max = 0;      // limits of a whole number; min == max == 0: not a whole number with limits
    int64_t fallback = 0;          // the default of a whole number
    std::string_view values;       // what the value may be, as the README's switch table says it (Markdown)
    std::string_view defaultText;  // the default, as the README's switch table says it (Markdown)
};

// Every switch, in the order of the README's table. The mode switch comes first; it is found by the driver,
// not collected with the others.
const std::vector<SwitchDeclaration>& switchTable();

// The declaration of a switch by its name; nullptr for a name that no switch has.
const SwitchDeclaration* findSwitch(std::string_view name);

// The usage text: both command forms, then every switch with its value, default and help.
std::string usageText();

// The README's switch table as Markdown rows, header included, one line each.
std::vector<std::string> readmeSwitchRows();

}  // namespace vennrick
