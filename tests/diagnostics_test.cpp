// The warnings for people: arguments no switch takes and values taken in place of what was written, each for its
// cause and not otherwise.
#include "diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vennrick;

namespace {

// No warning when expected is empty, else exactly one that holds expected.
void expectWarning(const std::vector<std::string>& lines, const std::string& expected, const std::string& cause) {
    EXPECT_EQ(lines.size(), expected.empty() ? 0u : 1u) << cause;
    if (!lines.empty()) EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
}

}  // namespace

TEST(diagnostics_test, arguments_that_no_switch_takes) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-file", "f", "-font1", "-5", "-figuretitle", "-chr", "-M", "x"}, ""},
        {{"-title", "T"}, "'-title' is not a switch: it is ignored, and so is its value 'T'; did you mean -figuretitle?"},
        {{"--threshold", "5"}, "'--threshold' is not a switch: it is ignored, and so is its value '5'; did you mean -threshold?"},
        {{"-thresh", "5"}, "did you mean -threshold?"},
        {{"-headersize", "2"}, "did you mean -header-size?"},
        {{"-delimiter", "tab"}, "did you mean -delim?"},
        {{"-sep", "x"}, "'-sep' is not a switch: it is ignored, and so is its value 'x'"},
        {{"-x", "-column", "3"}, "'-x' is not a switch: it is ignored"},
        {{"-column", "3", "4"}, "argument '4' is ignored: no switch before it takes a value"},
        {{"-column"}, "-column is the last argument and has no value: it is ignored"},
        {{"-column", "3", "-column", "4"}, "-column is given twice: the first value, '3', counts"},
    };
    for (const auto& [more, expected] : cases) {
        std::vector<std::string> args = {"vennrick", "-M", "manhattan"};
        args.insert(args.end(), more.begin(), more.end());
        expectWarning(argumentWarnings(args), expected, more[0]);
    }
}

TEST(diagnostics_test, values_taken_in_place_of_what_was_written) {
    // Switches (before the required ones, so that they count first) and the start of the one warning they give.
    const std::pair<SwitchList, std::string> cases[] = {
        {{"-delim", "whitespace", "-header", "yes", "-header-size", "2", "-threshold", "5", "-div", "1", "-chr", "1-22;X",
          "-xnum", "2", "-logp", "no", "-poscolumn", "0", "-out", "o"},
         ""},
        {{"-chr", "5", "-posrange", "1000-2000", "-poscolumn", "3", "-header", "no", "-file", "/dev/stdin", "-out", "o"}, ""},
        {{"-delim", ","}, "-delim ',' is not a delimiter name, so tab is used: write -delim comma"},
        {{"-delim", "|"}, "-delim '|' is not a delimiter name, so tab is used: the names are tab, space,"},
        {{"-header", "Yes"}, "-header 'Yes' means no header: only yes declares one"},
        {{"-header-size", "x", "-header", "yes"}, "-header-size 'x' is taken as 1"},
        {{"-header-size", "3"}, "-header-size 3 has no effect without -header yes"},
        {{"-threshold", "abc"}, "-threshold 'abc' is not a number: it is taken as 0"},
        {{"-threshold", "5e-8"}, "-threshold 5e-08 is on the -log10(p) scale (7.3 means p = 5e-8), where below 1 nearly "
                                 "every row is a hit; for p = 5e-08 write -threshold 7.30103"},
        {{"-threshold", "0"}, "-threshold 0 is on the -log10(p) scale"},
        {{"-div", "0"}, "-div '0' is taken as 1: positions are not divided"},
        {{"-poscolumn", "BP"}, "-poscolumn 'BP' is not a column number, so no position column is used (-names yes"},
        {{"-font2", "x"}, "-font2 'x' is not a whole number: it is taken as 0"},
        {{"-logp", "Yes"}, "-logp 'Yes' means no: only yes turns it on"},
        {{"-chr", "1-22, X"}, "-chr item ' X' holds a blank, which is part of the name"},
        {{"-chr", "1-2-3"}, "-chr item '1-2-3' is ignored: a range has two bounds"},
        {{"-chr", "X-Y"}, "-chr item 'X-Y': a range bound that is not a number counts as 0"},
        {{"-chr", "3-1"}, "-chr item '3-1' selects nothing: the range runs downwards"},
        {{"-chr", "1,,2"}, "-chr holds an empty item: it selects the rows whose chromosome field is empty"},
        {{"-posrange", "5"}, "-posrange '5' is ignored, so the whole chromosome is plotted: it needs two bounds"},
        {{"-posrange", "20-10", "-chr", "5", "-poscolumn", "3"}, "-posrange '20-10' is ignored, so the whole chromosome "
                                                                 "is plotted: its start must lie below its end"},
        {{"-posrange", "10-20", "-chr", "5"}, "-posrange '10-20' is ignored, so the whole chromosome is plotted: it needs "
                                              "a position column (-poscolumn)"},
        {{"-posrange", "10-20", "-poscolumn", "3"}, "-posrange '10-20' is ignored, so the whole chromosome is plotted: it "
                                                    "needs exactly one chromosome in -chr, which selects 23"},
        {{"-file", "/dev/stdin"}, "the hit file is '/dev/stdin.out': to read standard input, give -file - with -out"},
        {{"-leadwindow", "9"}, "-leadwindow has no effect without -leads yes or -labels N"},
        {{"-snpcolumn", "3", "-labels", "2", "-poscolumn", "4", "-leadwindow", "9"}, ""},
        {{"-colors", "red,green,blue"}, "-colors has no effect on the classic figure: it belongs to -style paper"},
        {{"-xnum", "3", "-style", "paper"}, "-xnum has no effect with -style paper, which places its labels itself"},
        {{"-style", "paper", "-suggestive", "5", "-colors", "red,green,blue", "-size", "900x900"}, ""},
    };
    for (const auto& [first, expected] : cases) {
        SwitchList switches = first;
        switches.insert(switches.end(), {"-file", "f", "-column", "2", "-idcolumn", "1"});
        std::ostringstream out;
        expectWarning(settingsWarnings(switches, std::get<PlotSettings>(readSettings(switches, out))), expected,
                      first[0] + " " + first[1]);
    }
}
