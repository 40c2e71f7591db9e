#include "plot_layout.h"

namespace vennrick {

Outcome<PlotLayout> layoutPlot(PlotData& data, const PlotSettings&) {
    if (data.maxX < 2) return Fatal{"Illegal range selected\n", ""};
    return PlotLayout{data.maxX};
}

}  // namespace vennrick
