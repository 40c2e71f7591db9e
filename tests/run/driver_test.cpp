// The driver's elapsed-time line.
#include "test_support.h"
#include "run/driver.h"

TEST(driver_test, elapsed_time_prints_from_the_largest_non_zero_part_down) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0 msec"}, {1000, "1 sec 0 msec"}, {59999, "59 sec 999 msec"}, {61001, "1 min 1 sec 1 msec"},
        {3600000, "1 h 0 min 0 sec 0 msec"}, {3723004, "1 h 2 min 3 sec 4 msec"}};
    for (const auto& [msecs, text] : cases)
        EXPECT_EQ(vennrick::formatElapsed(msecs), "\nDONE in " + std::string(text) + " \n\n") << msecs;
}
