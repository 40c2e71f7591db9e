#include "driver.h"

#include <gtest/gtest.h>

using vennrick::formatElapsed;

TEST(driver_test, elapsed_time_prints_from_the_largest_non_zero_part_down) {
    EXPECT_EQ(formatElapsed(0), "\nDONE in 0 msec \n\n");
    EXPECT_EQ(formatElapsed(59999), "\nDONE in 59 sec 999 msec \n\n");
    EXPECT_EQ(formatElapsed(61001), "\nDONE in 1 min 1 sec 1 msec \n\n");
    EXPECT_EQ(formatElapsed(3600000), "\nDONE in 1 h 0 min 0 sec 0 msec \n\n");
    EXPECT_EQ(formatElapsed(1000), "\nDONE in 1 sec 0 msec \n\n");
    EXPECT_EQ(formatElapsed(3723004), "\nDONE in 1 h 2 min 3 sec 4 msec \n\n");
}
