// Tick rounding: every band edge, the two sub-ranges that would round to 0, and the twin functions.
#include <gtest/gtest.h>

#include <climits>

#include "functions2.h"

using vennrick::convertX;
using vennrick::convertY;

TEST(functions2_test, every_band_edge) {
    const std::pair<int, int> cases[] = {
        {INT_MIN, 1}, {-7, 1}, {0, 1}, {1, 1}, {5, 1},                 // t <= 5
        {6, 5}, {9, 5}, {10, 10},                                      // 5 < t <= 10
        {11, 10}, {19, 10}, {20, 20}, {99, 90}, {100, 100},            // 10 < t <= 100
        {101, 100}, {999, 900}, {1000, 1000},                          // 100 < t <= 1,000
        {1001, 1000}, {9999, 9000}, {10000, 10000},                    // 1,000 < t <= 10,000
        {10001, 10000}, {99999, 90000}, {100000, 100000},              // 10,000 < t <= 100,000
        {100001, 100000}, {499999, 100000},                            // would round to 0: lower bound
        {500000, 500000}, {999999, 500000}, {1000000, 1000000},        // 100,000 < t <= 1,000,000
        {1000001, 1000000}, {4999999, 1000000},                        // would round to 0: lower bound
        {5000000, 5000000}, {9999999, 5000000}, {10000000, 10000000},  // t > 1,000,000
        {INT_MAX, 2145000000},
    };
    for (const auto& [t, step] : cases) {
        EXPECT_EQ(convertY(t), step) << "t = " << t;
        EXPECT_EQ(convertX(t), step) << "t = " << t;
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
