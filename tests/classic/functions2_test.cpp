// Tick rounding: every band edge, the two sub-ranges that would round to 0, and the twin functions.

#include "classic/functions2.h"
#include "test_support.h"

using vennrick::convertX;
using vennrick::convertY;
using namespace vennrick::test;

TEST(functions2_test, every_band_edge) {
    const Case steps = loadCases("functions2.txt").at(0);
    for (const auto& [key, value] : steps.items) {
        const std::vector<std::string> w = wordsOf(value);
        EXPECT_EQ(convertY(std::stoi(w[0])), std::stoi(w[1])) << "t = " << w[0];
        EXPECT_EQ(convertX(std::stoi(w[0])), std::stoi(w[1])) << "t = " << w[0];
    }
}

TEST(functions2_test, steps_are_never_zero_and_never_decrease) {
    // Every argument up to 6,000,000 and a sample above: a step of 0 would divide by zero in the tick code, a
    // decreasing one would give a larger range fewer ticks.
    int previous = 1;
    for (long t = 0; t <= INT_MAX; t += t < 6000000 ? 1 : 999983) {
        const int step = convertY(static_cast<int>(t));
        ASSERT_TRUE(step >= previous && (t == 0 || step <= t) && convertX(static_cast<int>(t)) == step) << "t = " << t;
        previous = step;
    }
}
