// Reading the regional plot switches and refusing the values they do not take.
#include "settings/region_options.h"

#include <unistd.h>

#include <fstream>

#include "base/numbers.h"
#include "base/text.h"
#include "settings/settings.h"

namespace vennrick {
namespace {

// A file switch: the file must be readable. For -ldref the index must be there too.
std::optional<Fatal> readFileSwitch(const SwitchList& switches, std::string_view name, std::string& field) {
    std::optional<std::string> value = lookupSwitch(switches, name);
    if (!value) return std::nullopt;
    if (value->empty() || access(value->c_str(), R_OK) != 0)
        return invalidValue(name, *value, "a file that can be read");
    field = *value;
    return std::nullopt;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

std::string_view withoutChrPrefix(std::string_view name) {
    if (name.size() > 3 && (name[0] == 'c' || name[0] == 'C') && (name[1] == 'h' || name[1] == 'H') &&
        (name[2] == 'r' || name[2] == 'R'))
        return name.substr(3);
    return name;
}

std::optional<std::vector<RegionWindow>> parseRegionList(std::string_view text) {
    std::vector<RegionWindow> windows;
    for (std::string_view item : splitAtAny(text, ",")) {
        const size_t colon = item.rfind(':');
        if (colon == std::string_view::npos || colon == 0) return std::nullopt;
        const std::string_view chrom = item.substr(0, colon), range = item.substr(colon + 1);
        const size_t dash = range.find('-');
        if (dash == std::string_view::npos) return std::nullopt;
        const std::string_view a = range.substr(0, dash), b = range.substr(dash + 1);
        auto digits = [](std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == s.npos; };
        if (!digits(a) || !digits(b)) return std::nullopt;
        const std::optional<int32_t> start = parseInt(a), end = parseInt(b);
        if (!start || !end || *start > *end) return std::nullopt;
        if (chrom.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
        windows.push_back(RegionWindow{std::string(chrom), *start, *end});
    }
    if (windows.empty()) return std::nullopt;
    return windows;
}

Outcome<RegionOptions> readRegionOptions(const SwitchList& switches, bool sizeGiven, ImageSize size) {
    RegionOptions r;
    if (std::optional<std::string> v = lookupSwitch(switches, "-region")) {
        std::optional<std::vector<RegionWindow>> windows = parseRegionList(*v);
        if (!windows)
            return invalidValue("-region", *v,
                                "CHR:START-END with whole numbers START <= END from 0 to 2147483647, several separated by commas");
        r.windows = std::move(*windows);
    }
    Outcome<std::optional<std::string>> which = readChoice(switches, "-regions");
    if (auto* fatal = std::get_if<Fatal>(&which)) return *fatal;
    r.leads = std::get<std::optional<std::string>>(which).has_value();
    Outcome<int32_t> most = readInteger(switches, "-regionsmax");
    if (auto* fatal = std::get_if<Fatal>(&most)) return *fatal;
    r.regionsMax = std::get<int32_t>(most);
    Outcome<int32_t> flank = readInteger(switches, "-flank");
    if (auto* fatal = std::get_if<Fatal>(&flank)) return *fatal;
    r.flank = std::get<int32_t>(flank);
    for (auto [name, field] : {std::pair<std::string_view, std::string*>{"-ld", &r.ldFile},
                               {"-ldref", &r.ldRef},
                               {"-ldsamples", &r.ldSamples},
                               {"-genes", &r.genesFile}})
        if (std::optional<Fatal> refused = readFileSwitch(switches, name, *field)) return *refused;
    if (!r.ldRef.empty()) {
        if (!endsWith(r.ldRef, ".vcf.gz") && !endsWith(r.ldRef, ".bcf") && !endsWith(r.ldRef, ".vcf.bgz"))
            return invalidValue("-ldref", r.ldRef, "a bgzipped VCF (.vcf.gz) or a BCF (.bcf) with its index");
        const bool indexed = access((r.ldRef + ".tbi").c_str(), R_OK) == 0 || access((r.ldRef + ".csi").c_str(), R_OK) == 0;
        if (!indexed)
            return invalidValue("-ldref", r.ldRef,
                                "an indexed panel: '" + r.ldRef + ".tbi' or '" + r.ldRef + ".csi' is missing (make it with tabix -p vcf or bcftools index)");
    }
    if (!r.ldFile.empty() && !r.ldRef.empty())
        return invalidValue("-ldref", r.ldRef, "no -ldref together with -ld: give one source of r2");
    if (!r.ldSamples.empty() && r.ldRef.empty())
        return invalidValue("-ldsamples", r.ldSamples, "a list of the -ldref panel's samples, so -ldref too");
    if (std::optional<std::string> v = lookupSwitch(switches, "-genetypes")) {
        r.geneTypes.clear();
        for (std::string_view t : splitAtAny(*v, ",")) {
            if (t.empty() || t.find_first_of(" \t") != std::string_view::npos)
                return invalidValue("-genetypes", *v, "biotypes separated by commas, such as protein_coding,lncRNA, or all");
            if (t != "all") r.geneTypes.emplace_back(t);
        }
    }
    if (sizeGiven) r.size = size;
    return r;
}

}  // namespace vennrick
