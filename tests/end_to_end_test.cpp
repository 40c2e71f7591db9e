// The real binary, run on small inputs: standard output with the clock masked, exit status, files.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

using namespace vennrick::test;

namespace {

const std::string kNothing = "Start: <clock>\n-M switch not specified, nothing happened\n\nDONE in <elapsed>\n\n";
const std::string kNoMode = "You need to specify the mode '-M'\n\n";
const std::string kUsage =
    "usage: vennrick -M manhattan -file TABLE -column P_COLUMN -idcolumn CHR_COLUMN [-switch value]... (the README "
    "lists the switches)";

std::string unknownMode(const std::string& mode) {
    return "unknown mode '" + mode + "': the only mode is manhattan; " + kUsage;
}

}  // namespace

TEST(end_to_end_test, driver_cases) {
    // Name, arguments, exit status, standard output after the banner and the argument echo, standard error.
    const std::tuple<const char*, std::vector<std::string>, int, std::string, std::string> cases[] = {
        {"no arguments", {}, 0, kNothing, kUsage},
        {"one argument", {"-M"}, 1, kNoMode, kUsage},
        {"mode switch last", {"-file", "x", "-M"}, 1, kNoMode, kUsage},
        {"wrong-case mode", {"-M", "Manhattan"}, 0, kNothing, unknownMode("Manhattan")},
        {"mode with an extra character", {"-m", "manhattan "}, 0, kNothing, unknownMode("manhattan ")},
        {"60-character mode", {"-M", std::string(60, 'm')}, 0, kNothing, unknownMode(std::string(60, 'm'))},
        {"first mode switch wins", {"-M", "other", "-m", "manhattan"}, 0, kNothing, unknownMode("other")},
        {"no mode switch", {"-file", "x"}, 1, kNoMode, kUsage},
        {"quiet when nothing happens", {"-M", "x", "-quiet", "yes"}, 0, kNothing, ""},
        {"manhattan without a file", {"-m", "manhattan", "-M", "x"}, 1, "Start: <clock>\nYou need to specify '-file'.\n\n",
         ""},
        {"manhattan without a column", {"-M", "manhattan", "-file", "d.txt"}, 1,
         "Start: <clock>\noutput name = input name + '.out'\nColumn incorrectly specified",
         "-column is required: the column's number (from 1), or its header name with -names yes"},
    };
    ScratchDir dir;
    for (const auto& [name, args, status, afterEcho, errLine] : cases) {
        RunResult run = runVennrick(args, dir.path);
        EXPECT_EQ(run.status, status) << name;
        EXPECT_EQ(maskClock(run.out), expectedPreamble(args) + afterEcho) << name;
        EXPECT_EQ(run.err, errLine.empty() ? "" : "vennrick: " + errLine + "\n") << name;
    }
}

TEST(end_to_end_test, the_clock_mask_does_not_hide_a_wrong_output) {
    // Negative control: the comparison must be able to fail.
    ScratchDir dir;
    const std::string masked = maskClock(runVennrick({}, dir.path).out);
    EXPECT_EQ(masked, expectedPreamble({}) + kNothing);
    EXPECT_NE(masked, expectedPreamble({}) + kNothing.substr(0, kNothing.find("\nDONE")));
    EXPECT_NE(masked, expectedPreamble({"x"}) + kNothing);
}

TEST(end_to_end_test, columns_by_name_and_standard_input) {
    // The real tables: -names yes alone finds the columns numbers give, with identical files; a gzip table through
    // standard input gives the same files again.
    const std::tuple<const char*, std::vector<std::string>, std::string> tables[] = {
        {"plink19_dummy.assoc.txt", {"-delim", "whitespace", "-idcolumn", "1", "-poscolumn", "3", "-column", "9"},
         "CHR=1 BP=3 P=9 (whitespace)"},
        {"plink2_dummy_qt.QT.glm.linear.txt", {"-idcolumn", "1", "-poscolumn", "2", "-column", "12"},
         "#CHROM=1 POS=2 P=12 (tab)"},
    };
    ScratchDir dir;
    for (const auto& [fixture, numbers, chosen] : tables) {
        const std::string table = readFile(std::string(VENNRICK_FIXTURES) + "/reader/" + fixture);
        writeFile(dir.file("t.txt"), table);
        writeFile(dir.file("t.gz"), compressed(table, "wg"));
        std::vector<std::string> byNumber = {"-M", "manhattan", "-file", "t.txt", "-figuretitle", "T", "-header", "yes",
                                             "-out", "n"};
        byNumber.insert(byNumber.end(), numbers.begin(), numbers.end());
        const std::vector<std::string> byName = {"-M", "manhattan", "-file", "t.txt", "-figuretitle", "T", "-names", "yes",
                                                 "-out", "m"};
        std::vector<std::string> piped = byName;
        piped[3] = "-";
        piped[9] = "s";
        ASSERT_EQ(runVennrick(byNumber, dir.path).status, 0) << fixture;
        const RunResult named = runVennrick(byName, dir.path), streamed = runVennrick(piped, dir.path, dir.file("t.gz"));
        for (const RunResult& run : {named, streamed}) {
            EXPECT_EQ(run.status, 0) << fixture;
            EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "vennrick: columns by name: " + chosen) << fixture;
        }
        for (const char* name : {"m", "m.jpg", "s", "s.jpg"})
            EXPECT_TRUE(readFile(dir.file(name)) == readFile(dir.file(name[0] == 'm' ? "n" : "m") + (name[1] ? ".jpg" : "")))
                << fixture << " " << name;
    }
    // Refused before any file is made or changed: standard input without -out or with -out naming it, a name not
    // in the header.
    ScratchDir empty;
    writeFile(empty.file("t.txt"), "CHR\tP\n1\t0.5\n");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"-file", "-", "-column", "2", "-idcolumn", "1"}, "reading standard input (-file -) needs -out to name the hit file"},
        {{"-file", "-", "-out", "t.txt", "-column", "2", "-idcolumn", "1"},
         "refusing to run: writing 't.txt' would overwrite the data file '-'"},
        {{"-file", "t.txt", "-names", "yes", "-column", "PVAL"},
         "-column 'PVAL' is not in the header line; the header's columns (-delim tab): CHR, P"},
    };
    for (const auto& [more, errLine] : refusals) {
        std::vector<std::string> args = {"-M", "manhattan"};
        args.insert(args.end(), more.begin(), more.end());
        const RunResult run = runVennrick(args, empty.path, empty.file("t.txt"));
        EXPECT_EQ(run.status, 1) << errLine;
        EXPECT_EQ(run.err, "vennrick: " + errLine + "\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(empty.path), {}), 1) << errLine;
        EXPECT_EQ(readFile(empty.file("t.txt")), "CHR\tP\n1\t0.5\n") << errLine;
    }
}

TEST(end_to_end_test, what_became_of_the_rows) {
    // Name, table, switches after "-M manhattan -file d.txt -out o -names yes", standard error.
    const std::tuple<const char*, std::string, std::vector<std::string>, std::string> cases[] = {
        {"every reason", "CHR\tBP\tP\n1\t100\t1e-9\n1\t200\tNA\n1\t300\t0\nX\t50\t0.5\n2\t100\t0.01\n1\t90\t2\n1\t80\t0.5\n",
         {"-chr", "1-2"},
         "columns by name: CHR=1 BP=2 P=3 (tab)\n"
         "7 rows read: 4 kept, 3 skipped (1 missing ('NA'), 1 with p = 0, 1 on chromosomes not selected ('X')), 1 hit\n"
         "not plotted: 1 row with p = 0; a p-value too small for the tool that wrote the table prints as 0, so the "
         "strongest signals may be among them\n"
         "a p-value outside (0, 1] in 1 kept row: is -column the p-value column?\n"
         "chromosome '1' appears in more than one stretch of rows: the table is not grouped by chromosome, and the plot "
         "draws rows in file order; sort the table by chromosome and position\n"
         "positions go back 1 time within a chromosome: the plot draws rows in file order; sort the table by chromosome "
         "and position\n"},
        {"nothing to say", "CHR\tBP\tP\n1\t1\t0.5\n1\t2\t0.5\n", {"-posrange", "1-5", "-chr", "1"},
         "columns by name: CHR=1 BP=2 P=3 (tab)\n2 rows read: 2 kept, 0 skipped, 0 hits\n"},
        {"window", "CHR\tBP\tP\n1\t1\t0.5\n1\t9\t0.5\n", {"-posrange", "1-5", "-chr", "1"},
         "columns by name: CHR=1 BP=2 P=3 (tab)\n2 rows read: 1 kept, 1 skipped (1 outside the window), 0 hits\n"
         "fewer than two rows to plot: 1 of 2 kept; 1 skipped outside the window 1-5\n"},
        {"chromosome names", "CHR,P\nchr1,0.1\nchr2,0.2\n", {},
         "columns by name: CHR=1 P=2 (comma; no position column)\n"
         "2 rows read: 0 kept, 2 skipped (2 on chromosomes not selected ('chr1', 'chr2')), 0 hits\n"
         "fewer than two rows to plot: 0 of 2 kept; 2 skipped on chromosomes not selected: the table has 'chr1', 'chr2', "
         "-chr selects 1-23 (IDs are compared as exact text, so chr1 is not 1: select them by name, e.g. -chr chr1,chr2, "
         "or remove the prefix)\n"},
        {"header only", "CHR P\n", {}, "columns by name: CHR=1 P=2 (whitespace; no position column)\n"
                                       "0 rows read: 0 kept, 0 skipped, 0 hits\nnothing to plot: the table holds only its header\n"},
    };
    ScratchDir dir;
    for (const auto& [name, table, more, err] : cases) {
        writeFile(dir.file("d.txt"), table);
        std::vector<std::string> args = {"-M", "manhattan", "-file", "d.txt", "-out", "o", "-names", "yes"};
        args.insert(args.end(), more.begin(), more.end());
        const RunResult run = runVennrick(args, dir.path);
        std::string expected;
        for (size_t at = 0, next; at < err.size(); at = next + 1) expected += "vennrick: " + err.substr(at, (next = err.find('\n', at)) - at + 1);
        EXPECT_EQ(run.err, expected) << name;
        // -quiet yes: the same run, and standard error keeps only the error of a run that stops.
        args.insert(args.end(), {"-quiet", "yes"});
        const RunResult quiet = runVennrick(args, dir.path);
        EXPECT_EQ(quiet.status, run.status) << name;
        EXPECT_EQ(quiet.err, run.status == 0 ? "" : expected.substr(expected.rfind("vennrick: "))) << name;
    }
}

TEST(end_to_end_test, lead_loci_and_their_labels) {
    // Columns CHR BP P SNP; the row at 900000 ends before its ID. Hits at 1000 and 1500 form one locus led by
    // the stronger; 1e-400 leads a locus of its own and reads back as written; chromosome 2 has one.
    const std::string table = "CHR\tBP\tP\tSNP\n1\t1000\t1e-9\trs1\n1\t1500\t5e-12\trs2\n1\t700000\t0.5\trs3\n"
                              "1\t900000\t1e-400\n2\t5000\t3e-8\trs5\n2\t9000\t0.01\trs6\n";
    const std::string leads = "CHR\tLEAD_POS\tLEAD_ID\tLEAD_P\tLEAD_LOG10P\tLOCUS_START\tLOCUS_END\tHITS\n"
                              "1\t1500\trs2\t5e-12\t11.301029995663981\t1000\t1500\t2\n"
                              "1\t900000\t\t1e-400\t400\t900000\t900000\t1\n"
                              "2\t5000\trs5\t3e-8\t7.522878745280337\t5000\t5000\t1\n";
    ScratchDir dir;
    writeFile(dir.file("d.txt"), table);
    auto run = [&](const std::string& out, std::vector<std::string> more) {
        more.insert(more.begin(), {"-out", out, "-header", "yes", "-figuretitle", "t", "-idcolumn", "1", "-poscolumn", "2",
                                   "-column", "3"});
        const std::vector<std::string> args = manhattanArgs("d.txt", more);
        RunResult result = runVennrick(args, dir.path);
        EXPECT_EQ(maskClock(result.out), expectedConsole(args, "Header size 1\n\nDONE in <elapsed>\n\n")) << out;
        return result;
    };
    const RunResult plain = run("plain", {"-quiet", "yes"});
    const RunResult off = run("off", {"-quiet", "yes", "-leads", "no", "-labels", "0", "-leadwindow", "9", "-snpcolumn", "4"});
    const RunResult on = run("on", {"-snpcolumn", "4", "-leads", "yes", "-labels", "10"});
    EXPECT_EQ(plain.status + off.status + on.status, 0);
    EXPECT_TRUE(readFile(dir.file("off.jpg")) == readFile(dir.file("plain.jpg")) && !fileExists(dir.file("off.leads")));
    EXPECT_EQ(readFile(dir.file("on")), readFile(dir.file("plain")));
    EXPECT_EQ(readFile(dir.file("on.leads")), leads);
    EXPECT_EQ(on.err.substr(on.err.find("vennrick: lead loci")),
              "vennrick: lead loci: 4 hits in 3 loci (-leadwindow 500000 bp), written to 'on.leads'\n"
              "vennrick: -labels 10: all 3 lead loci named\n");
    EXPECT_FALSE(readFile(dir.file("on.jpg")) == readFile(dir.file("plain.jpg"))) << "no labels painted";
    // In the paper style, and in the classic one at another size and type, the same loci and the same labels, as
    // texts of the figure (here SVG texts).
    for (const std::vector<std::string>& style : {std::vector<std::string>{"-style", "paper"},
                                                   std::vector<std::string>{"-size", "1600x1066", "-dpi", "192"}}) {
        std::vector<std::string> more = {"-snpcolumn", "4", "-leads", "yes", "-labels", "10", "-image", "svg"};
        more.insert(more.end(), style.begin(), style.end());
        const RunResult figure = run("on", more);
        EXPECT_EQ(figure.err, on.err) << style[0];
        EXPECT_EQ(readFile(dir.file("on.leads")), leads);
        const std::string svg = readFile(dir.file("on.svg"));
        for (const char* label : {">rs2</text>", ">1:900000</text>", ">rs5</text>"})
            EXPECT_NE(svg.find(label), std::string::npos) << style[0] << " " << label;
    }

    // Refused before any file is made: loci without positions in the header, a lead loci file that
    // would be the data file. A lead loci file that cannot be written stops the run with no damaged file.
    std::filesystem::create_symlink("/dev/full", dir.file("full.leads"));
    writeFile(dir.file("nopos.txt"), "CHR\tP\n1\t1e-9\n1\t0.5\n");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"-file", "nopos.txt", "-out", "r2", "-names", "yes", "-labels", "3", "-quiet", "yes"},
         "-labels 3 needs a position column, and the header has none: give -poscolumn NAME (lead loci are formed by "
         "distance in base pairs)"},
        {{"-file", "d.txt", "-out", "d.txt", "-leads", "yes", "-names", "yes", "-quiet", "yes"},
         "refusing to run: writing 'd.txt' would overwrite the data file 'd.txt'"},
        {{"-file", "d.txt.leads", "-out", "d.txt", "-leads", "yes", "-names", "yes", "-quiet", "yes"},
         "refusing to run: writing 'd.txt.leads' would overwrite the data file 'd.txt.leads'"},
        {{"-file", "d.txt", "-out", "full", "-leads", "yes", "-names", "yes", "-quiet", "yes"},
         "cannot write the lead loci file 'full.leads': No space left on device"},
    };
    std::filesystem::copy_file(dir.file("d.txt"), dir.file("d.txt.leads"));
    for (const auto& [more, errLine] : refusals) {
        std::vector<std::string> args = {"-M", "manhattan"};
        args.insert(args.end(), more.begin(), more.end());
        const RunResult refused = runVennrick(args, dir.path);
        EXPECT_EQ(refused.status, 1) << errLine;
        EXPECT_EQ(refused.err, "vennrick: " + errLine + "\n");
    }
    EXPECT_EQ(readFile(dir.file("d.txt.leads")), table);
    for (const char* never : {"r2", "r2.jpg", "r2.leads", "full.jpg"})
        EXPECT_FALSE(fileExists(dir.file(never))) << never;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("full.leads")));
    EXPECT_EQ(readFile(dir.file("full")), readFile(dir.file("plain")));
}
