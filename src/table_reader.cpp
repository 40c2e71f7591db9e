#include "table_reader.h"

namespace vennrick {

std::optional<Fatal> refuseOverwritingData(const PlotSettings&) { return std::nullopt; }

Outcome<TableRead> readTable(const PlotSettings&, std::ostream&, std::ostream&, const ReadOptions&) {
    return TableRead{};
}

std::optional<Fatal> closeHitFile(HitFile&) { return std::nullopt; }

}  // namespace vennrick
