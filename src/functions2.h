// Tick rounding: a raw axis step rounded down to a round step.
#pragma once

namespace vennrick {

int convertX(int xtick);
int convertY(int ytick);

}  // namespace vennrick
