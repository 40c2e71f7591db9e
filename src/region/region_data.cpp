// Writing the data table of a regional plot.
#include "region/region_data.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "analysis/lead_loci.h"
#include "region/region_figure.h"

namespace vennrick {
namespace {

void appendClean(std::string& out, std::string_view text) {
    for (char c : text) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

}  // namespace

std::string regionDataText(const RegionRows& rows, const std::vector<size_t>& inside, const std::vector<double>& r2,
                           bool logp) {
    std::string out = "CHR\tPOS\tID\tP\tLOG10P\tR2\tLD_BIN\n";
    out.reserve(out.size() + inside.size() * 64);
    char number[kShortestRoom];
    for (size_t k = 0; k < inside.size(); ++k) {
        const RegionRow& r = rows.records[inside[k]];
        appendClean(out, rows.chr(r));
        out += '\t';
        out.append(number, static_cast<size_t>(std::to_chars(number, number + sizeof number, r.pos).ptr - number));
        out += '\t';
        appendClean(out, rows.id(r));
        out += '\t';
        if (logp) {
            out += pValueOfLog(r.value);
            out += '\t';
            appendClean(out, rows.pText(r));
        } else {
            appendClean(out, rows.pText(r));
            out += '\t';
            out.append(number, writeShortest(r.value, number));
        }
        out += '\t';
        const double v = k < r2.size() ? r2[k] : std::nan("");
        if (std::isfinite(v)) out.append(number, static_cast<size_t>(std::snprintf(number, sizeof number, "%.6g", v)));
        out += '\t';
        const int bin = ldBin(v);
        static const char* const kBins[] = {"0-0.2", "0.2-0.4", "0.4-0.6", "0.6-0.8", "0.8-1"};
        if (bin >= 0) out += kBins[bin];
        out += '\n';
    }
    return out;
}

}  // namespace vennrick
