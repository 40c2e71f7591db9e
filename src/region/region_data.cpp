// Writing the data table of a regional plot, and writing files whole.
#include "region/region_data.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/lead_loci.h"
#include "base/write_all.h"
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
    for (size_t k = 0; k < inside.size(); ++k) {
        const RegionRow& r = rows.records[inside[k]];
        appendClean(out, rows.chr(r));
        out += '\t';
        out += std::to_string(r.pos);
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
            out += shortestText(r.value);
        }
        out += '\t';
        const double v = k < r2.size() ? r2[k] : std::nan("");
        if (std::isfinite(v)) {
            char text[32];
            std::snprintf(text, sizeof text, "%.6g", v);
            out += text;
        }
        out += '\t';
        const int bin = ldBin(v);
        static const char* const kBins[] = {"0-0.2", "0.2-0.4", "0.4-0.6", "0.6-0.8", "0.8-1"};
        if (bin >= 0) out += kBins[bin];
        out += '\n';
    }
    return out;
}

bool writeAside(const std::string& path, const std::function<bool(const std::string&)>& make, std::string& why) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string temporary = folder + "." + base + ".part" + std::to_string(getpid());
    if (!make(temporary)) {
        why = std::strerror(errno != 0 ? errno : EIO);
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace vennrick
