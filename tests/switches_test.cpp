// Switch collection and lookup: pairs in order, the first occurrence at any position.
#include "test_support.h"
#include "switches.h"

using namespace vennrick;

TEST(switches_test, collection) {
    const std::tuple<const char*, std::vector<std::string>, SwitchList> cases[] = {
        {"pairs in order, others ignored", {"v", "-M", "manhattan", "-file", "a", "-bogus", "x", "-column", "9"},
         {"-file", "a", "-column", "9"}},
        {"a value spelled like a switch opens a pair", {"v", "-figuretitle", "-chr", "-chr", "1-3"},
         {"-figuretitle", "-chr", "-chr", "-chr", "-chr", "1-3"}},
        {"a switch in the last position is dropped", {"v", "-file", "a", "-column"}, {"-file", "a"}},
        {"program name only", {"v"}, {}},
        {"names match exactly and case-sensitively", {"v", "-File", "a", "-file ", "b", "file", "c"}, {}},
        {"repeats give repeated pairs", {"v", "-xnum", "2", "-xnum", "3"}, {"-xnum", "2", "-xnum", "3"}},
    };
    for (const auto& [name, args, expected] : cases) EXPECT_EQ(collectSwitches(args), expected) << name;
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
