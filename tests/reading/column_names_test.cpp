// Columns by header name: the header lines of the common association tools, names given, the delimiter a header
// tells, and the refusals.
#include "reading/column_names.h"

#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

// The settings of "-names yes" with the extra switches (names, -delim, -logp, -chr, -posrange).
PlotSettings byName(SwitchList extra) {
    SwitchList switches = {"-file", "f", "-names", "yes"};
    switches.insert(switches.end(), extra.begin(), extra.end());
    std::ostringstream out;
    return std::get<PlotSettings>(readSettings(switches, out));
}

// "id pos p delimiter [logp]" of a choice, or the fatal detail.
std::string chosen(const std::string& header, const SwitchList& extra = {}, const std::string& firstRow = "") {
    Outcome<ColumnChoice> c = chooseColumns(header, true, byName(extra), firstRow);
    if (const Fatal* fatal = std::get_if<Fatal>(&c)) return fatal->detail;
    const ColumnChoice& choice = std::get<ColumnChoice>(c);
    return std::to_string(choice.idcolumn) + " " + std::to_string(choice.poscolumn) + " " + std::to_string(choice.column) +
           " " + delimiterName(choice.Delim) + (choice.logp ? " logp" : "") + (choice.markerPlace ? " marker" : "");
}

}  // namespace

TEST(column_names_test, headers_of_the_common_tools_and_names_given) {
    for (const Case& c : loadCases("column_names.txt")) {
        std::string header = c.get("header");
        if (c.has("fixture")) {
            std::ifstream file(std::string(VENNRICK_FIXTURES) + "/reader/" + c.get("fixture"));
            std::getline(file, header);
        }
        if (c.has("chosen")) EXPECT_EQ(chosen(header, c.words("switches"), c.get("row")), c.get("chosen")) << c.name;
        if (c.has("note")) EXPECT_EQ(std::get<ColumnChoice>(chooseColumns(header, true, byName(c.words("switches")))).notes.at(0),
                                     c.get("note")) << c.name;
    }
    EXPECT_FALSE(std::holds_alternative<ColumnChoice>(chooseColumns("", false, byName({}))));
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
    PlotSettings applied = byName({"-labels", "5"});
    applyColumns(std::get<ColumnChoice>(chooseColumns("#CHROM POS ID P", true, applied)), applied);
    EXPECT_EQ(applied.snpcolumn, 3);
}
