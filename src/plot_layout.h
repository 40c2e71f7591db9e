// Plot geometry as plain data: scales, axis lines, ticks, texts and points, in pixels. No painting.
#pragma once

#include "fatal.h"
#include "settings.h"
#include "table_reader.h"

namespace vennrick {

struct PlotLayout {
    int64_t N = 0;  // kept rows
};

// Fewer than two kept rows is fatal ("Illegal range selected\n"). Rewrites data.Pos_list to plot x-coordinates.
Outcome<PlotLayout> layoutPlot(PlotData& data, const PlotSettings& settings);

}  // namespace vennrick
