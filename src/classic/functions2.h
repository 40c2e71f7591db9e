// Tick rounding: a raw axis step rounded down to a round step, so that tick labels fall on round numbers.
#pragma once

namespace vennrick {

// Round step for the raw step t (same rule on both axes). t <= 5 gives 1; otherwise t is rounded down to a
// multiple of 5, 10, 100, 1,000, 10,000, 500,000 or 5,000,000 by its band. Arguments 100,001..499,999 and
// 1,000,001..4,999,999, which that rounding would turn into 0, give 100,000 and 1,000,000: the result is
// never 0 and never decreases as t grows.
int convertX(int xtick);
int convertY(int ytick);

}  // namespace vennrick
