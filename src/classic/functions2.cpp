// Tick rounding (the documented module name): a raw axis step rounded down to a round step.
#include "classic/functions2.h"

namespace vennrick {

namespace {

// The bands from the largest down; each rounds down to a multiple of its divisor (integer division
// truncating toward zero, times the divisor).
int roundStep(int t) {
    if (t > 1000000) return t < 5000000 ? 1000000 : t / 5000000 * 5000000;
    if (t > 100000) return t < 500000 ? 100000 : t / 500000 * 500000;
    if (t > 10000) return t / 10000 * 10000;
    if (t > 1000) return t / 1000 * 1000;
    if (t > 100) return t / 100 * 100;
    if (t > 10) return t / 10 * 10;
    if (t > 5) return t / 5 * 5;
    return 1;
}

}  // namespace

int convertX(int xtick) { return roundStep(xtick); }
int convertY(int ytick) { return roundStep(ytick); }

}  // namespace vennrick
