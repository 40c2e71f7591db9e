// Switch collection and lookup: pairs in order, the first occurrence at any position.
#include "test_support.h"
#include "settings/switches.h"

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
