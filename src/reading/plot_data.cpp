// The checks on the kept rows before any figure is laid out.
#include "reading/plot_data.h"

#include <algorithm>

namespace vennrick {

std::optional<Fatal> checkKeptRows(const PlotData& data) {
    if (data.maxX < 2) return Fatal{"Illegal range selected\n", ""};

    int64_t rows = 0;
    for (const IdRun& run : data.ID_list) rows += std::max<int64_t>(run.count, 0);
    const auto n = static_cast<size_t>(std::max<int64_t>(data.maxX, 0));
    if (rows != data.maxX || data.Value_list.size() != n || (!data.Pos_list.empty() && data.Pos_list.size() != n))
        return Fatal{"", "internal error: the plot data lists do not match the kept-row count"};
    return std::nullopt;
}

}  // namespace vennrick
