// The data behind a regional plot, Outname.region.CHR_START_END.tsv: the window's rows as read (CHR, POS, ID, P)
// with the computed LOG10P, R2 (empty where unknown) and LD_BIN.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "reading/region_rows.h"

namespace vennrick {

// The table's text: a header line and one line per row, tab-separated. With logp the table's column holds
// -log10(p): P is computed from it and LOG10P is the text as read; otherwise the other way round. A tab or line
// end inside a text becomes a space.
std::string regionDataText(const RegionRows& rows, const std::vector<size_t>& inside, const std::vector<double>& r2,
                           bool logp);

}  // namespace vennrick
