// The real binary, run on small inputs: standard output with the clock masked, exit status, files.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kNothing = "Start: <clock>\n-M switch not specified, nothing happened\n\nDONE in <elapsed>\n\n";
const std::string kNoMode = "You need to specify the mode '-M'\n\n";
const std::string kUsage =
    "usage: vennrick -M manhattan -file TABLE -column P_COLUMN -idcolumn CHR_COLUMN [-switch value]... (the README "
    "lists the switches)";

std::string unknownMode(const std::string& mode) {
    return "unknown mode '" + mode + "': the only mode is manhattan; " + kUsage;
}

}  // namespace

TEST(end_to_end_test, driver_cases) {
    // Name, arguments, exit status, standard output after the banner and the argument echo, standard error.
    const std::tuple<const char*, std::vector<std::string>, int, std::string, std::string> cases[] = {
        {"no arguments", {}, 0, kNothing, kUsage},
        {"one argument", {"-M"}, 1, kNoMode, kUsage},
        {"mode switch last", {"-file", "x", "-M"}, 1, kNoMode, kUsage},
        {"wrong-case mode", {"-M", "Manhattan"}, 0, kNothing, unknownMode("Manhattan")},
        {"mode with an extra character", {"-m", "manhattan "}, 0, kNothing, unknownMode("manhattan ")},
        {"60-character mode", {"-M", std::string(60, 'm')}, 0, kNothing, unknownMode(std::string(60, 'm'))},
        {"first mode switch wins", {"-M", "other", "-m", "manhattan"}, 0, kNothing, unknownMode("other")},
        {"no mode switch", {"-file", "x"}, 1, kNoMode, kUsage},
        {"quiet when nothing happens", {"-M", "x", "-quiet", "yes"}, 0, kNothing, ""},
        {"manhattan without a file", {"-m", "manhattan", "-M", "x"}, 1, "Start: <clock>\nYou need to specify '-file'.\n\n",
         ""},
        {"manhattan without a column", {"-M", "manhattan", "-file", "d.txt"}, 1,
         "Start: <clock>\noutput name = input name + '.out'\nColumn incorrectly specified",
         "-column is required: the column's number (from 1), or its header name with -names yes"},
    };
    ScratchDir dir;
    for (const auto& [name, args, status, afterEcho, errLine] : cases) {
        RunResult run = runVennrick(args, dir.path);
        EXPECT_EQ(run.status, status) << name;
        EXPECT_EQ(maskClock(run.out), expectedPreamble(args) + afterEcho) << name;
        EXPECT_EQ(run.err, errLine.empty() ? "" : "vennrick: " + errLine + "\n") << name;
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
