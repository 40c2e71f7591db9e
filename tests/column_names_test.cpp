// Columns by header name: the header lines of the common association tools, names given, the delimiter a header
// tells, and the refusals.
#include "column_names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace vennrick;

namespace {

// The settings of "-names yes" with the extra switches (names, -delim, -logp, -chr, -posrange).
PlotSettings byName(SwitchList extra) {
    SwitchList switches = {"-file", "f", "-names", "yes"};
    switches.insert(switches.end(), extra.begin(), extra.end());
    std::ostringstream out;
    return std::get<PlotSettings>(readSettings(switches, out));
}

std::string firstLine(const char* fixture) {
    std::ifstream file(std::string(VENNRICK_FIXTURES) + "/reader/" + fixture);
    std::string line;
    std::getline(file, line);
    return line;
}

// "id pos p delimiter [logp]" of a choice, or the fatal detail.
std::string chosen(const std::string& header, const SwitchList& extra = {}) {
    Outcome<ColumnChoice> c = chooseColumns(header, true, byName(extra));
    if (const Fatal* fatal = std::get_if<Fatal>(&c)) return fatal->detail;
    const ColumnChoice& choice = std::get<ColumnChoice>(c);
    return std::to_string(choice.idcolumn) + " " + std::to_string(choice.poscolumn) + " " + std::to_string(choice.column) +
           " " + delimiterName(choice.Delim) + (choice.logp ? " logp" : "");
}

}  // namespace

TEST(column_names_test, headers_of_the_common_tools) {
    const std::pair<std::string, std::string> cases[] = {
        {firstLine("plink19_dummy.assoc.txt"), "1 3 9 whitespace"},
        {firstLine("plink2_dummy_qt.QT.glm.linear.txt"), "1 2 12 tab"},
        // BOLT-LMM: BP before GENPOS, P_BOLT_LMM over P_BOLT_LMM_INF whatever their order.
        {"SNP\tCHR\tBP\tGENPOS\tALLELE1\tA1FREQ\tP_LINREG\tBETA\tSE\tP_BOLT_LMM_INF\tP_BOLT_LMM", "2 3 11 tab"},
        {"CHROM GENPOS ID ALLELE0 ALLELE1 A1FREQ N TEST BETA SE CHISQ LOG10P EXTRA", "1 2 12 whitespace logp"},
        {"CHR\tPOS\tMarkerID\tAllele1\tAllele2\tAC_Allele2\tBETA\tSE\tTstat\tvar\tp.value", "1 2 11 tab"},
        {"CHR\tSNP\tPOS\tA1\tA2\tN\tAF1\tBETA\tSE\tP", "1 3 10 tab"},
        {"variant_id\tp_value\tchromosome\tbase_pair_location\tbeta\tneg_log_10_p_value", "3 4 2 tab"},
        {"MarkerName,Allele1,Chromosome,Position,P-value", "3 4 5 comma"},
        {"chr;bp;pval", "no chromosome column: -idcolumn is not given and the header has none of CHR, CHROM, #CHROM, "
                        "CHROMOSOME; the header's columns (-delim whitespace): chr;bp;pval (one field: give the table's "
                        "delimiter with -delim)"},
        {"CHR\tBETA", "no p-value column: -column is not given and the header has none of P, PVAL, PVALUE, P_VALUE, "
                      "P.VALUE, P-VALUE, P_BOLT_LMM, P_BOLT_LMM_INF, LOG10P, LOG10_P, MLOG10P, NEG_LOG_10_P_VALUE; the "
                      "header's columns (-delim tab): CHR, BETA"},
        {"\"CHR\",\"P\"", "no chromosome column: -idcolumn is not given and the header has none of CHR, CHROM, #CHROM, "
                          "CHROMOSOME; the header's columns (-delim comma): \"CHR\", \"P\" (the quotes are part of the "
                          "names: remove them from the table)"},
    };
    for (const auto& [header, expected] : cases) EXPECT_EQ(chosen(header), expected) << header;
    EXPECT_FALSE(std::holds_alternative<ColumnChoice>(chooseColumns("", false, byName({}))));
}

TEST(column_names_test, names_given) {
    const std::string plink2 = firstLine("plink2_dummy_qt.QT.glm.linear.txt");
    const std::tuple<std::string, SwitchList, std::string> cases[] = {
        {plink2, {"-idcolumn", "CHROM", "-column", "P", "-poscolumn", "POS"}, "1 2 12 tab"},
        {plink2, {"-idcolumn", "#CHROM", "-column", "T_STAT"}, "1 2 11 tab"},
        {"p P pos chr", {"-column", "P", "-idcolumn", "CHR"}, "4 3 2 whitespace"},  // exact first, then any case
        {"CHR P P2", {"-delim", "space", "-column", "p2"}, "1 0 3 space"},
        {"CHR\tP\tBP", {"-poscolumn", "POS"}, "-poscolumn 'POS' is not in the header line; the header's columns (-delim "
                                              "tab): CHR, P, BP"},
        {"CHR P", {"-column", "2"}, "-column '2' is not in the header line (with -names yes it takes a header name, not "
                                    "a number); the header's columns (-delim whitespace): CHR, P"},
    };
    for (const auto& [header, extra, expected] : cases) EXPECT_EQ(chosen(header, extra), expected) << header;
}

TEST(column_names_test, notes_and_the_settings_they_give) {
    const PlotSettings settings = byName({"-column", "LOG10P", "-chr", "5", "-posrange", "10-20"});
    ColumnChoice choice = std::get<ColumnChoice>(chooseColumns("#CHROM LOG10P", true, settings));
    EXPECT_EQ(choice.notes, (std::vector<std::string>{
                                "columns by name: #CHROM=1 LOG10P=2 (whitespace; no position column)",
                                "column 'LOG10P' looks like -log10(p): add -logp yes if that is what it holds",
                                "-posrange is ignored, so the whole chromosome is plotted: the header has no position "
                                "column (give -poscolumn NAME)"}));
    PlotSettings applied = settings;
    ASSERT_EQ(applied.window.posrangeallowed, 1);  // taken as if there were a position column, until the header is read
    applyColumns(choice, applied);
    EXPECT_EQ(std::make_tuple(applied.idcolumn, applied.column, applied.poscolumn, applied.window.posrangeallowed,
                              applied.logpyes, applied.Delim.whitespaceRuns),
              std::make_tuple(1, 2, 0, 0, 0, true));
    choice = std::get<ColumnChoice>(chooseColumns("CHR BP LOG10_P", true, byName({})));
    EXPECT_EQ(choice.notes, std::vector<std::string>{"columns by name: CHR=1 BP=2 LOG10_P=3 (whitespace; -log10(p) column, "
                                                     "as with -logp yes)"});
    applyColumns(choice, applied);
    EXPECT_EQ(applied.logpyes, 1);
}

TEST(column_names_test, variant_id_column) {
    // Looked for by its standard names only when hit rows are recorded; a name given must be in the header.
    const std::tuple<std::string, SwitchList, std::string> cases[] = {
        {"CHR\tBP\tMarkerName\tP", {"-leads", "yes"}, "columns by name: CHR=1 BP=2 P=4 MarkerName=3 (tab)"},
        {"CHR\tBP\tSNP\tP", {}, "columns by name: CHR=1 BP=2 P=4 (tab)"},
        {"CHR\tBP\tP", {"-snpcolumn", "rsid"}, "-snpcolumn 'rsid' is not in the header line; the header's columns (-delim "
                                               "tab): CHR, BP, P"},
    };
    for (const auto& [header, extra, expected] : cases) {
        const Outcome<ColumnChoice> c = chooseColumns(header, true, byName(extra));
        EXPECT_EQ(std::holds_alternative<Fatal>(c) ? std::get<Fatal>(c).detail : std::get<ColumnChoice>(c).notes.at(0),
                  expected) << header;
    }
    PlotSettings applied = byName({"-labels", "5"});
    applyColumns(std::get<ColumnChoice>(chooseColumns("#CHROM POS ID P", true, applied)), applied);
    EXPECT_EQ(applied.snpcolumn, 3);
}
