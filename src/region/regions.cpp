// Planning the regions of the run and finding their rows.
#include "region/regions.h"

#include <algorithm>
#include <set>

namespace vennrick {

std::string regionStem(const std::string& outname, const std::string& chrom, int32_t start, int32_t end) {
    std::string name = chrom;
    for (char& c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '-' || c == '_';
        if (!keep) c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return outname + ".region." + name + "_" + std::to_string(start) + "_" + std::to_string(end);
}

std::vector<Region> planRegions(const PlotSettings& settings, const LeadLoci& leads, const HitRows& hits) {
    std::vector<Region> regions;
    std::set<std::string> stems;
    auto add = [&](Region r) {
        r.stem = regionStem(settings.Outname, r.chrom, r.start, r.end);
        if (stems.insert(r.stem).second) regions.push_back(std::move(r));
    };
    for (const RegionWindow& w : settings.region.windows) add(Region{w.chrom, w.start, w.end, std::nullopt, ""});
    if (settings.region.leads) {
        const int64_t flank = settings.region.flank;
        size_t taken = 0;
        for (const Locus& locus : leads.loci) {
            if (taken++ >= static_cast<size_t>(settings.region.regionsMax)) break;
            Region r;
            r.chrom = std::string(leads.chromosomes[locus.chromosome]);
            r.start = static_cast<int32_t>(std::max<int64_t>(0, int64_t{locus.start} - flank));
            r.end = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, int64_t{locus.end} + flank));
            r.leadRow = hits.records[locus.lead].row;
            add(std::move(r));
        }
    }
    return regions;
}

std::vector<size_t> rowsInRegion(const RegionRows& rows, const Region& region) {
    std::vector<size_t> inside;
    const std::string_view chrom = withoutChrPrefix(region.chrom);
    std::string_view lastChr;
    bool lastMatch = false;
    for (size_t i = 0; i < rows.records.size(); ++i) {
        const RegionRow& r = rows.records[i];
        if (r.pos < region.start || r.pos > region.end) continue;
        const std::string_view chr = rows.chr(r);
        if (chr.data() == nullptr || chr != lastChr) {
            lastChr = chr;
            lastMatch = withoutChrPrefix(chr) == chrom;
        }
        if (lastMatch) inside.push_back(i);
    }
    std::stable_sort(inside.begin(), inside.end(), [&](size_t a, size_t b) {
        const RegionRow &x = rows.records[a], &y = rows.records[b];
        return x.pos != y.pos ? x.pos < y.pos : x.row < y.row;
    });
    // A row gathered twice (a -region window and a lead locus's reach) is listed once.
    inside.erase(std::unique(inside.begin(), inside.end(),
                             [&](size_t a, size_t b) { return rows.records[a].row == rows.records[b].row; }),
                 inside.end());
    return inside;
}

std::optional<size_t> regionLead(const RegionRows& rows, const std::vector<size_t>& inside, const Region& region) {
    if (inside.empty()) return std::nullopt;
    if (region.leadRow)
        for (size_t k = 0; k < inside.size(); ++k)
            if (rows.records[inside[k]].row == *region.leadRow) return k;
    size_t best = 0;
    for (size_t k = 1; k < inside.size(); ++k) {
        const RegionRow &a = rows.records[inside[k]], &b = rows.records[inside[best]];
        if (a.value > b.value || (a.value == b.value && a.row < b.row)) best = k;
    }
    return best;
}

}  // namespace vennrick
