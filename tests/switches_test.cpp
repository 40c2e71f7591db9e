#include "switches.h"

#include <gtest/gtest.h>

using vennrick::collectSwitches;
using vennrick::lookupSwitch;
using vennrick::SwitchList;
using vennrick::switchPosition;

TEST(switches_test, collects_pairs_in_command_line_order_and_ignores_the_rest) {
    SwitchList s = collectSwitches({"vennrick", "-M", "manhattan", "-file", "a.txt", "-bogus", "x", "-column", "9"});
    EXPECT_EQ(s, (SwitchList{"-file", "a.txt", "-column", "9"}));
}

TEST(switches_test, a_value_spelled_like_a_switch_opens_a_pair_of_its_own) {
    SwitchList s = collectSwitches({"vennrick", "-figuretitle", "-chr", "-chr", "1-3"});
    EXPECT_EQ(s, (SwitchList{"-figuretitle", "-chr", "-chr", "-chr", "-chr", "1-3"}));
}

TEST(switches_test, a_switch_in_the_last_position_has_no_value_and_is_dropped) {
    EXPECT_EQ(collectSwitches({"vennrick", "-file", "a", "-column"}), (SwitchList{"-file", "a"}));
    EXPECT_TRUE(collectSwitches({"vennrick"}).empty());
}

TEST(switches_test, names_match_exactly_and_case_sensitively) {
    EXPECT_TRUE(collectSwitches({"vennrick", "-File", "a", "-file ", "b", "file", "c"}).empty());
}

TEST(switches_test, repeated_switches_give_repeated_pairs_and_the_first_wins) {
    SwitchList s = collectSwitches({"vennrick", "-xnum", "2", "-xnum", "3"});
    EXPECT_EQ(s.size(), 4u);
    EXPECT_EQ(lookupSwitch(s, "-xnum"), "2");
}

TEST(switches_test, lookup_finds_the_first_occurrence_at_any_position) {
    // "-xnum" first occurs as the value of -figuretitle; the element after it is the value.
    SwitchList s{"-file", "f", "-figuretitle", "-xnum", "-xnum", "5"};
    EXPECT_EQ(lookupSwitch(s, "-figuretitle"), "-xnum");
    EXPECT_EQ(lookupSwitch(s, "-xnum"), "-xnum");
    EXPECT_EQ(switchPosition(s, "-figuretitle"), 2);
    EXPECT_EQ(switchPosition(s, "-ynum"), -1);
}

TEST(switches_test, a_name_that_is_the_last_element_counts_as_absent) {
    SwitchList s{"-figuretitle", "-chr"};
    EXPECT_EQ(lookupSwitch(s, "-chr"), std::nullopt);
    EXPECT_EQ(switchPosition(s, "-chr"), 1);
    EXPECT_EQ(lookupSwitch(s, "-figuretitle"), "-chr");
}
