// Reading a table of r2 pairs and looking up the r2 of a region's variants with its lead.
#include "region/ld_table.h"

#include <htslib/bgzf.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "base/numbers.h"
#include "base/text.h"
#include "settings/region_options.h"

namespace vennrick {
namespace {

std::vector<std::string_view> whitespaceFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t from = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > from) fields.push_back(line.substr(from, i - from));
    }
    return fields;
}

std::string upper(std::string_view text) {
    std::string u(text);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!u.empty() && u[0] == '#') u.erase(0, 1);
    return u;
}

int findColumn(const std::vector<std::string_view>& header, std::initializer_list<const char*> names) {
    for (const char* name : names)
        for (size_t i = 0; i < header.size(); ++i)
            if (upper(header[i]) == name) return static_cast<int>(i);
    return -1;
}

bool sameId(std::string_view a, std::string_view b) { return !idsDiffer(a, b); }

}  // namespace

bool idsDiffer(std::string_view a, std::string_view b) {
    const bool haveA = !a.empty() && a != ".", haveB = !b.empty() && b != ".";
    return haveA && haveB && a != b;
}

Outcome<LdTable> readLdTable(const std::string& path, const std::vector<LdLead>& leads) {
    hts_set_log_level(HTS_LOG_OFF);  // its problems are told in one line of ours
    BGZF* fp = bgzf_open(path.c_str(), "r");
    if (fp == nullptr) return Fatal{"", "-ld '" + path + "': cannot be opened"};
    LdTable table;
    table.partners.resize(leads.size());
    // Leads by chromosome (without "chr") and position.
    std::multimap<std::pair<std::string, int32_t>, size_t> byPlace;
    for (size_t i = 0; i < leads.size(); ++i)
        byPlace.emplace(std::make_pair(std::string(withoutChrPrefix(leads[i].chrom)), leads[i].pos), i);
    kstring_t line = {0, 0, nullptr};
    int columns[7] = {-1, -1, -1, -1, -1, -1, -1};
    bool haveHeader = false;
    uint64_t lineNumber = 0;
    std::string problem;
    int got;
    while ((got = bgzf_getline(fp, '\n', &line)) >= 0) {
        ++lineNumber;
        const std::vector<std::string_view> f = whitespaceFields(std::string_view(line.s, line.l));
        if (f.empty()) continue;
        if (!haveHeader) {
            columns[0] = findColumn(f, {"CHR_A", "CHROM_A"});
            columns[1] = findColumn(f, {"BP_A", "POS_A"});
            columns[2] = findColumn(f, {"SNP_A", "ID_A"});
            columns[3] = findColumn(f, {"CHR_B", "CHROM_B"});
            columns[4] = findColumn(f, {"BP_B", "POS_B"});
            columns[5] = findColumn(f, {"SNP_B", "ID_B"});
            columns[6] = findColumn(f, {"R2", "UNPHASED_R2", "PHASED_R2"});
            if (std::any_of(columns, columns + 7, [](int c) { return c < 0; })) {
                problem = "-ld '" + path + "': line " + std::to_string(lineNumber) +
                          " is not a header naming CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2 (or #CHROM_A POS_A ID_A CHROM_B POS_B ID_B UNPHASED_R2)";
                break;
            }
            haveHeader = true;
            continue;
        }
        const int most = *std::max_element(columns, columns + 7);
        if (static_cast<int>(f.size()) <= most) {
            problem = "-ld '" + path + "': line " + std::to_string(lineNumber) + " has " + std::to_string(f.size()) +
                      " fields, fewer than its header";
            break;
        }
        const std::optional<int32_t> posA = parseInt(f[columns[1]]), posB = parseInt(f[columns[4]]);
        const std::optional<double> r2 = parseDouble(std::string(f[columns[6]]));
        if (!posA || !posB) {
            problem = "-ld '" + path + "': line " + std::to_string(lineNumber) + ": a position is not a whole number";
            break;
        }
        ++table.pairs;
        if (!r2 || !std::isfinite(*r2)) continue;  // nan where a variant does not vary
        for (int side = 0; side < 2; ++side) {
            const int at = side == 0 ? 0 : 3, other = side == 0 ? 3 : 0;
            const std::string chrom(withoutChrPrefix(f[columns[at]]));
            const int32_t pos = side == 0 ? *posA : *posB;
            auto [from, to] = byPlace.equal_range({chrom, pos});
            for (auto it = from; it != to; ++it) {
                const LdLead& lead = leads[it->second];
                if (!sameId(lead.id, f[columns[at + 2]])) continue;
                if (withoutChrPrefix(f[columns[other]]) != withoutChrPrefix(lead.chrom)) continue;
                table.partners[it->second].push_back(
                    LdPartner{side == 0 ? *posB : *posA, std::string(f[columns[other + 2]]), *r2});
            }
        }
    }
    if (problem.empty() && (got < -1 || fp->errcode != 0)) problem = "-ld '" + path + "': the file is damaged (it cannot be read to its end)";
    if (problem.empty() && !haveHeader) problem = "-ld '" + path + "': the file is empty";
    free(line.s);
    bgzf_close(fp);
    if (!problem.empty()) return Fatal{"", problem};
    for (std::vector<LdPartner>& p : table.partners)
        std::sort(p.begin(), p.end(), [](const LdPartner& a, const LdPartner& b) { return a.pos < b.pos; });
    return table;
}

std::vector<double> tableR2(const std::vector<LdPartner>& partners, const std::vector<LdVariant>& variants, size_t lead) {
    std::vector<double> r2(variants.size(), std::nan(""));
    for (size_t i = 0; i < variants.size(); ++i) {
        if (i == lead) {
            r2[i] = 1;
            continue;
        }
        auto it = std::lower_bound(partners.begin(), partners.end(), variants[i].pos,
                                   [](const LdPartner& p, int32_t pos) { return p.pos < pos; });
        // By position; where several pairs share it, the one whose ID agrees.
        for (; it != partners.end() && it->pos == variants[i].pos; ++it)
            if (sameId(it->id, variants[i].id)) {
                r2[i] = it->r2;
                if (it->id == variants[i].id) break;
            }
    }
    return r2;
}

}  // namespace vennrick
