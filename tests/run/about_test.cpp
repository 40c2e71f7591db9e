// --help, -h and --version given alone, through the real binary, and the manual page and bash completion
// made from the table of switches: every switch the table declares is in each.
#include <gtest/gtest.h>

#include "settings/switch_table.h"
#include "test_support.h"

namespace vennrick::test {
namespace {

std::string roffName(std::string_view name) {  // "-file" as the page writes it: "\fB\-file\fR"
    std::string text = "\\fB";
    for (char c : name) text += c == '-' ? std::string("\\-") : std::string(1, c);
    return text + "\\fR";
}

TEST(about_test, help_alone_prints_the_usage_of_every_declared_switch) {
    for (const char* spelled : {"--help", "-h"}) {
        ScratchDir dir;
        const RunResult run = runVennrick({spelled}, dir.path);
        EXPECT_EQ(run.status, 0) << spelled;
        EXPECT_EQ(run.err, "") << spelled;
        EXPECT_EQ(run.out, usageText()) << spelled;
        for (const SwitchDeclaration& d : switchTable()) {
            EXPECT_NE(run.out.find("  " + std::string(d.name) + " " + std::string(d.placeholder)), std::string::npos)
                << spelled << " leaves out " << d.name;
            if (!d.alias.empty()) EXPECT_NE(run.out.find("(or " + std::string(d.alias) + ")"), std::string::npos);
        }
        EXPECT_NE(run.out.find("-names yes"), std::string::npos) << "both command forms";
    }
}

TEST(about_test, version_alone_names_the_tool_and_its_libraries) {
    ScratchDir dir;
    const RunResult run = runVennrick({"--version"}, dir.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("vennrick " VENNRICK_TEST_VERSION "\n", 0), 0u) << run.out;
    for (const char* library : {"\nQt 6.", "\nhtslib 1.", "\nISA-L 2.", "\nzlib 1.", "\nzstd 1.", "\nxz (liblzma) 5.",
                                "\nbzip2 1."})
        EXPECT_NE(run.out.find(library), std::string::npos) << library << " in " << run.out;
}

TEST(about_test, any_other_argument_list_runs_as_before) {
    ScratchDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help", "--version"}, {"-h", "-M"}, {"--HELP"}, {"-help"}}) {
        const RunResult run = runVennrick(args, dir.path);
        EXPECT_EQ(run.out.rfind("\nVennrick - VNK v. 0.3.1\n", 0), 0u) << args[0] << ": " << run.out;
        EXPECT_EQ(run.out.find("usage:"), std::string::npos) << args[0];
    }
    const RunResult run = runVennrick({"--help", "x"}, dir.path);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("You need to specify the mode '-M'"), std::string::npos);
}

TEST(about_test, the_manual_page_and_the_completion_name_every_declared_switch) {
    const std::string page = readFile(VENNRICK_MAN_PAGE), completion = readFile(VENNRICK_COMPLETION);
    ASSERT_NE(page, "");
    ASSERT_NE(completion, "");
    for (const SwitchDeclaration& d : switchTable()) {
        EXPECT_NE(page.find(".TP\n" + roffName(d.name) + " "), std::string::npos) << d.name;
        EXPECT_NE(completion.find(" " + std::string(d.name) + (d.name == "-M" ? " " : "")), std::string::npos) << d.name;
        if (d.choices.empty()) continue;
        std::string words(d.choices);
        for (char& c : words)
            if (c == '|') c = ' ';
        EXPECT_NE(completion.find("compgen -W \"" + words + "\""), std::string::npos) << d.name;
    }
}

}  // namespace
}  // namespace vennrick::test
