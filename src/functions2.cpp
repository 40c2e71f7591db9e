#include "functions2.h"

namespace vennrick {

int convertX(int xtick) { return xtick; }
int convertY(int ytick) { return ytick; }

}  // namespace vennrick
