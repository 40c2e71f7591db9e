// The real binary, run on small inputs: standard output with the clock masked, exit status, files.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kNothing = "Start: <clock>\n-M switch not specified, nothing happened\n\nDONE in <elapsed>\n\n";
const std::string kNoMode = "You need to specify the mode '-M'\n\n";

}  // namespace

TEST(end_to_end_test, driver_cases) {
    // Name, arguments, exit status, standard output after the banner and the argument echo.
    const std::tuple<const char*, std::vector<std::string>, int, std::string> cases[] = {
        {"no arguments", {}, 0, kNothing},
        {"one argument", {"-M"}, 1, kNoMode},
        {"mode switch last", {"-file", "x", "-M"}, 1, kNoMode},
        {"wrong-case mode", {"-M", "Manhattan"}, 0, kNothing},
        {"mode with an extra character", {"-m", "manhattan "}, 0, kNothing},
        {"60-character mode", {"-M", std::string(60, 'm')}, 0, kNothing},
        {"first mode switch wins", {"-M", "other", "-m", "manhattan"}, 0, kNothing},
        {"no mode switch", {"-file", "x"}, 1, kNoMode},
        {"manhattan without a file", {"-m", "manhattan", "-M", "x"}, 1, "Start: <clock>\nYou need to specify '-file'.\n\n"},
        {"manhattan without a column", {"-M", "manhattan", "-file", "d.txt"}, 1,
         "Start: <clock>\noutput name = input name + '.out'\nColumn incorrectly specified"},
    };
    ScratchDir dir;
    for (const auto& [name, args, status, afterEcho] : cases) {
        RunResult run = runVennrick(args, dir.path);
        EXPECT_EQ(run.status, status) << name;
        EXPECT_EQ(maskClock(run.out), expectedPreamble(args) + afterEcho) << name;
        EXPECT_EQ(run.err, "") << name;
    }
}

TEST(end_to_end_test, the_clock_mask_does_not_hide_a_wrong_output) {
    // Negative control: the comparison must be able to fail.
    ScratchDir dir;
    const std::string masked = maskClock(runVennrick({}, dir.path).out);
    EXPECT_EQ(masked, expectedPreamble({}) + kNothing);
    EXPECT_NE(masked, expectedPreamble({}) + kNothing.substr(0, kNothing.find("\nDONE")));
    EXPECT_NE(masked, expectedPreamble({"x"}) + kNothing);
}
