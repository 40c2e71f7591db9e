// Switch collection and lookup: pairs in order, the first occurrence at any position.
#include "test_support.h"
#include "settings/settings.h"
#include "settings/switch_table.h"
#include "settings/switches.h"

#include <fstream>

using namespace vennrick;
using namespace vennrick::test;

TEST(switches_test, collection) {
    for (const Case& c : loadCases("switches.txt")) EXPECT_EQ(collectSwitches(c.words("args")), c.words("switches")) << c.name;
}

TEST(switches_test, lookup_takes_the_element_after_the_first_occurrence_at_any_position) {
    // "-xnum" first occurs as the value of -figuretitle; "-chr" is the last element and so has no value.
    const SwitchList s{"-file", "f", "-figuretitle", "-xnum", "-xnum", "5", "-figuretitle", "-chr"};
    EXPECT_EQ(lookupSwitch(s, "-figuretitle"), "-xnum");
    EXPECT_EQ(lookupSwitch(s, "-xnum"), "-xnum");
    EXPECT_EQ(lookupSwitch(s, "-chr"), std::nullopt);
    EXPECT_EQ(lookupSwitch(s, "-ynum"), std::nullopt);
    EXPECT_EQ(switchPosition(s, "-figuretitle"), 2);
    EXPECT_EQ(switchPosition(s, "-chr"), 7);
    EXPECT_EQ(switchPosition(s, "-ynum"), -1);
}

// The README's switch table is the table of switches: same switches, same order, same values and defaults.
TEST(switches_test, readme_table_matches_the_declarations) {
    std::ifstream readme(std::string(VENNRICK_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(readme) << "README.md not found";
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == "| Switch | Value | Default |") inTable = true;
        if (inTable && line.empty()) break;
        if (inTable) rows.push_back(line);
    }
    const std::vector<std::string> declared = readmeSwitchRows();
    for (size_t i = 0; i < std::max(rows.size(), declared.size()); ++i)
        EXPECT_EQ(i < rows.size() ? rows[i] : "(no row)", i < declared.size() ? declared[i] : "(no declaration)")
            << "README switch table row " << i + 1;
}

// Every declared switch is collected (the mode aside), its usage line names it, and the limits and choices
// that refusals quote come from its declaration.
TEST(switches_test, declarations_drive_collection_usage_and_refusals) {
    const std::string usage = usageText();
    for (const SwitchDeclaration& d : switchTable()) {
        EXPECT_NE(usage.find("  " + std::string(d.name) + " "), std::string::npos) << d.name;
        EXPECT_EQ(isRecognisedSwitch(d.name), d.name != "-M") << d.name;
        EXPECT_FALSE(d.help.empty()) << d.name;
        EXPECT_LE(d.min, d.max) << d.name;
    }
    EXPECT_EQ(acceptedChoices("-image"), "jpg, png, pdf or svg");
    EXPECT_EQ(acceptedChoices("-qq"), "yes or no");
    const SwitchList dpi{"-dpi", "2401"};
    ASSERT_TRUE(std::holds_alternative<Fatal>(readInteger(dpi, "-dpi")));
    EXPECT_EQ(std::get<Fatal>(readInteger(dpi, "-dpi")).detail, "invalid value '2401' for -dpi: expected a whole number from 36 to 2400");
    EXPECT_EQ(std::get<int32_t>(readInteger({}, "-leadwindow")), 500000);
}
