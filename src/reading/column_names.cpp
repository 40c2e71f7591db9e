// Columns by header name: standard names, delimiter detection and the lookup of the names given.
#include "reading/column_names.h"

#include <cctype>
#include <optional>

#include "base/numbers.h"
#include "reading/row_parser.h"

namespace vennrick {
namespace {

// Standard names, case-insensitive, in order of preference. A BOLT-LMM table holds both P_BOLT_LMM_INF and
// P_BOLT_LMM: the second, the p-value of the full mixed model, is the one that tool recommends, so it comes
// first. A table with a p-value and a -log10(p) column (summary-statistics formats) gives the p-value.
constexpr std::string_view kChromosomeNames[] = {"CHR", "CHROM", "#CHROM", "CHROMOSOME"};
constexpr std::string_view kPositionNames[] = {"BP", "POS", "GENPOS", "POSITION", "BASE_PAIR_LOCATION", "PS"};
constexpr std::string_view kPvalueNames[] = {"P",       "PVAL",    "PVALUE",     "P_VALUE",
                                             "P.VALUE", "P-VALUE", "P_BOLT_LMM", "P_BOLT_LMM_INF",
                                             "P_WALD", "P_LRT", "P_SCORE"};
constexpr std::string_view kLogPvalueNames[] = {"LOG10P", "LOG10_P", "MLOG10P", "NEG_LOG_10_P_VALUE"};
constexpr std::string_view kVariantIdNames[] = {"SNP",        "ID",         "RSID",  "MARKERID",
                                                "MARKERNAME", "VARIANT_ID", "MARKER", "RS"};
constexpr std::string_view kAllele1Names[] = {"A1", "ALT", "ALLELE1", "EA"};
constexpr std::string_view kAllele2Names[] = {"A2", "REF", "ALLELE0", "NEA"};

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// A header field as names are matched against it: a leading '#' on the first field is not part of its name.
std::string_view matchable(std::string_view field, size_t index) {
    return index == 0 && !field.empty() && field[0] == '#' ? field.substr(1) : field;
}

bool fieldIs(std::string_view field, size_t index, std::string_view name, bool anyCase) {
    return anyCase ? sameNoCase(field, name) || sameNoCase(matchable(field, index), name)
                   : field == name || matchable(field, index) == name;
}

// The column of a name given: an exact match first, then one in any letter case.
std::optional<size_t> findGiven(const std::vector<std::string_view>& fields, std::string_view name) {
    for (bool anyCase : {false, true}) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fieldIs(fields[i], i, name, anyCase)) return i;
        }
    }
    return std::nullopt;
}

// The column of the first standard name of the list that the header holds.
template <size_t N>
std::optional<size_t> findStandard(const std::vector<std::string_view>& fields, const std::string_view (&names)[N]) {
    for (std::string_view name : names) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fieldIs(fields[i], i, name, true)) return i;
        }
    }
    return std::nullopt;
}

template <size_t N>
std::string joined(const std::string_view (&names)[N]) {
    std::string text;
    for (std::string_view name : names) text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

// The header's columns for a message: the first 40 names.
std::string headerColumns(const std::vector<std::string_view>& fields) {
    constexpr size_t kShown = 40;
    std::string text;
    for (size_t i = 0; i < fields.size() && i < kShown; ++i) text += (i > 0 ? ", " : "") + shownText(fields[i]);
    if (fields.size() > kShown) text += " and " + std::to_string(fields.size() - kShown) + " more";
    return text;
}

}  // namespace

Delimiter detectDelimiter(std::string_view headerLine) {
    if (headerLine.find('\t') != std::string_view::npos) return delimiterFromName("tab");
    if (headerLine.find(',') != std::string_view::npos && headerLine.find(' ') == std::string_view::npos)
        return delimiterFromName("comma");
    return delimiterFromName("whitespace");
}

bool isPlaceMarker(std::string_view marker) {
    const size_t first = marker.find(':');
    if (first == std::string_view::npos || first == 0) return false;
    const std::string_view rest = marker.substr(first + 1);
    const size_t second = rest.find(':');
    const std::optional<int32_t> pos = parseInt(rest.substr(0, second));
    if (!pos || *pos < 0) return false;
    if (second == std::string_view::npos) return true;
    const std::string_view alleles = rest.substr(second + 1);
    const size_t third = alleles.find(':');
    return third != std::string_view::npos && third > 0 && third + 1 < alleles.size() &&
           alleles.find(':', third + 1) == std::string_view::npos;
}

Outcome<ColumnChoice> chooseColumns(std::string_view headerLine, bool haveHeader, const PlotSettings& settings,
                                    std::string_view firstRow) {
    const ColumnNames& names = settings.names;
    if (!haveHeader) return Fatal{"", "-names yes looks the columns up in the header line, but the table is empty"};
    ColumnChoice choice;
    choice.Delim = names.detectDelimiter ? detectDelimiter(headerLine) : settings.Delim;
    const std::vector<std::string_view> fields = splitFields(headerLine, choice.Delim);
    auto notFound = [&](const std::string& what) {
        std::string detail = what + "; the header's columns (-delim " + delimiterName(choice.Delim) + "): " +
                             headerColumns(fields);
        if (!fields.empty() && !fields[0].empty() && fields[0][0] == '"')
            detail += " (the quotes are part of the names: remove them from the table)";
        else if (fields.size() <= 1)
            detail += " (one field: give the table's delimiter with -delim)";
        return Fatal{"", detail};
    };
    auto given = [&](const char* name, const std::string& value) {
        return std::string(name) + " '" + shownText(value) + "' is not in the header line" +
               (parseInt(value) ? " (with -names yes it takes a header name, not a number)" : "");
    };

    std::optional<size_t> id, pos, p;
    // Neither a chromosome nor a position column: a variant ID column whose first value reads CHR:POS gives both.
    std::optional<size_t> marker;
    if (!names.idcolumn && !names.poscolumn && !findStandard(fields, kChromosomeNames) &&
        !findStandard(fields, kPositionNames)) {
        marker = names.snpcolumn ? findGiven(fields, *names.snpcolumn) : findStandard(fields, kVariantIdNames);
        const std::vector<std::string_view> row = splitFields(firstRow, choice.Delim);
        if (marker && *marker < row.size() && isPlaceMarker(row[*marker])) {
            id = pos = marker;
            choice.markerPlace = true;
        }
    }
    if (choice.markerPlace) {
    } else if (names.idcolumn) {
        if (!(id = findGiven(fields, *names.idcolumn))) return notFound(given("-idcolumn", *names.idcolumn));
    } else if (!(id = findStandard(fields, kChromosomeNames))) {
        return notFound("no chromosome column: -idcolumn is not given and the header has none of " +
                        joined(kChromosomeNames) +
                        (marker ? ", and its " + shownText(fields[*marker]) + " values do not read CHR:POS" : ""));
    }
    if (choice.markerPlace) {
    } else if (names.poscolumn) {
        if (!(pos = findGiven(fields, *names.poscolumn))) return notFound(given("-poscolumn", *names.poscolumn));
    } else {
        pos = findStandard(fields, kPositionNames);
    }
    if (names.column) {
        if (!(p = findGiven(fields, *names.column))) return notFound(given("-column", *names.column));
    } else if (!(p = findStandard(fields, kPvalueNames))) {
        choice.logp = (p = findStandard(fields, kLogPvalueNames)).has_value();
        if (!p)
            return notFound("no p-value column: -column is not given and the header has none of " + joined(kPvalueNames) +
                            ", " + joined(kLogPvalueNames));
    }
    std::optional<size_t> snp;
    if (names.snpcolumn) {
        if (!(snp = findGiven(fields, *names.snpcolumn))) return notFound(given("-snpcolumn", *names.snpcolumn));
    } else if (wantsVariantIds(settings) || regionsAsked(settings.region)) {
        snp = findStandard(fields, kVariantIdNames);
    }
    std::optional<size_t> label;
    if (names.labelcolumn && !(label = findGiven(fields, *names.labelcolumn)))
        return notFound(given("-labelcolumn", *names.labelcolumn));
    choice.labelcolumn = label ? static_cast<int32_t>(*label + 1) : 0;
    // The regional plots match the panel's alleles with the table's where it has them.
    std::optional<size_t> allele1, allele2;
    if (regionsAsked(settings.region)) {
        allele1 = findStandard(fields, kAllele1Names);
        allele2 = findStandard(fields, kAllele2Names);
        if (!allele1 || !allele2 || *allele1 == *allele2) allele1 = allele2 = std::nullopt;
    }
    choice.allele1column = allele1 ? static_cast<int32_t>(*allele1 + 1) : 0;
    choice.allele2column = allele2 ? static_cast<int32_t>(*allele2 + 1) : 0;
    choice.idcolumn = static_cast<int32_t>(*id + 1);
    choice.column = static_cast<int32_t>(*p + 1);
    choice.poscolumn = pos ? static_cast<int32_t>(*pos + 1) : 0;
    choice.snpcolumn = snp ? static_cast<int32_t>(*snp + 1) : 0;

    auto named = [&](size_t index) { return shownText(fields[index]) + "=" + std::to_string(index + 1); };
    choice.notes.push_back("columns by name: " + named(*id) + (choice.markerPlace ? " (chromosome:position)" : "") +
                           (pos && !choice.markerPlace ? " " + named(*pos) : "") + " " + named(*p) +
                           (snp ? " " + named(*snp) : "") +
                           (allele1 ? " " + named(*allele1) + " " + named(*allele2) : "") + " (" +
                           delimiterName(choice.Delim) + (pos ? "" : "; no position column") +
                           (choice.logp ? "; -log10(p) column, as with -logp yes" : "") + ")");
    if (names.column && settings.logpyes == 0 && findStandard({fields[*p]}, kLogPvalueNames))
        choice.notes.push_back("column '" + shownText(fields[*p]) +
                               "' looks like -log10(p): add -logp yes if that is what it holds");
    // A name the header holds twice: the first column of that name is read, and the run says so.
    for (const std::optional<size_t>& chosen : {id, choice.markerPlace ? std::nullopt : pos, p, snp}) {
        if (!chosen) continue;
        for (size_t j = 0; j < fields.size(); ++j) {
            if (j == *chosen || lowered(fields[j]) != lowered(fields[*chosen])) continue;
            choice.notes.push_back("the header names column '" + shownText(fields[*chosen]) + "' twice (columns " +
                                   std::to_string(std::min(j, *chosen) + 1) + " and " +
                                   std::to_string(std::max(j, *chosen) + 1) + "): column " +
                                   std::to_string(*chosen + 1) + " is read");
            break;
        }
    }
    if (settings.window.posrangeallowed == 1 && !pos)
        choice.notes.push_back("-posrange is ignored, so the whole chromosome is plotted: the header has no position "
                               "column (give -poscolumn NAME)");
    return choice;
}

void applyColumns(const ColumnChoice& choice, PlotSettings& settings) {
    settings.Delim = choice.Delim;
    settings.Delimname = delimiterName(choice.Delim);
    settings.idcolumn = choice.idcolumn;
    settings.column = choice.column;
    settings.poscolumn = choice.poscolumn;
    settings.snpcolumn = choice.snpcolumn;
    settings.labelcolumn = choice.labelcolumn;
    settings.markerPlace = choice.markerPlace;
    settings.region.allele1column = choice.allele1column;
    settings.region.allele2column = choice.allele2column;
    if (choice.logp) settings.logpyes = 1;
    if (choice.poscolumn == 0) settings.window.posrangeallowed = 0;
}

}  // namespace vennrick
