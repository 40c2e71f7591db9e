// The real binary, run on small inputs: standard output with the clock masked, exit status, files.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kStart = "Start: <clock>\n";
const std::string kDone = "\nDONE in <elapsed>\n\n";
const std::string kNothing = "-M switch not specified, nothing happened\n";
const std::string kNoMode = "You need to specify the mode '-M'\n\n";

struct DriverCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string afterEcho;  // expected standard output after the banner and the argument echo
};

}  // namespace

TEST(end_to_end_test, driver_cases) {
    const std::string sixty(60, 'm');
    const DriverCase cases[] = {
        {"no arguments", {}, 0, kStart + kNothing + kDone},
        {"one argument", {"-M"}, 1, kNoMode},
        {"mode switch last", {"-file", "x", "-M"}, 1, kNoMode},
        {"wrong-case mode", {"-M", "Manhattan"}, 0, kStart + kNothing + kDone},
        {"mode with an extra character", {"-m", "manhattan "}, 0, kStart + kNothing + kDone},
        {"60-character mode", {"-M", sixty}, 0, kStart + kNothing + kDone},
        {"first mode switch wins", {"-M", "other", "-m", "manhattan"}, 0, kStart + kNothing + kDone},
        {"no mode switch", {"-file", "x"}, 1, kNoMode},
        {"manhattan without a file", {"-m", "manhattan", "-M", "x"}, 1, kStart + "You need to specify '-file'.\n\n"},
        {"manhattan without a column", {"-M", "manhattan", "-file", "d.txt"}, 1,
         kStart + "output name = input name + '.out'\nColumn incorrectly specified"},
    };
    ScratchDir dir;
    for (const DriverCase& c : cases) {
        RunResult run = runVennrick(c.args, dir.path);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(maskClock(run.out), expectedPreamble(c.args) + c.afterEcho) << c.name;
        EXPECT_EQ(run.err, "") << c.name;
    }
}

TEST(end_to_end_test, the_clock_mask_does_not_hide_a_wrong_output) {
    // Negative control: the comparison must be able to fail.
    ScratchDir dir;
    RunResult run = runVennrick({}, dir.path);
    EXPECT_NE(maskClock(run.out), expectedPreamble({}) + kStart + kNothing);
    EXPECT_NE(maskClock(run.out), expectedPreamble({"x"}) + kStart + kNothing + kDone);
}
