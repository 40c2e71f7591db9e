// The declarations of every switch, and the usage text and README rows made from them.
#include "settings/switch_table.h"

#include <climits>
#include <cstdint>

#include "settings/figure_options.h"
#include "settings/region_options.h"

namespace vennrick {

const std::vector<SwitchDeclaration>& switchTable() {
    // name, alias, placeholder, help, choices, style, min, max, default of a whole number,
    // the README's value and default columns.
    static const std::vector<SwitchDeclaration> kTable = {
    {"-M", "-m", "MODE", "the mode: manhattan", "manhattan", "", 0, 0, 0,
     "the mode; the only mode is `manhattan`",
     "required"},
    {"-file", "", "TABLE", "the data table (plain, gzip, bgzip, zstd, xz or bzip2); - reads standard input", "", "", 0, 0, 0,
     "the data table (plain text, gzip, bgzip, zstd, xz or bzip2; detected by content); `-` reads standard input, which needs `-out` and gives the title `stdin`",
     "required"},
    {"-names", "", "yes|no", "columns by header name; switches left out are found by standard names", "yes|no", "", 0, 0, 0,
     "`yes`: `-column`, `-idcolumn` and `-poscolumn` name columns of the header line, and a switch left out is found by its standard name (see below); implies `-header yes`",
     "no"},
    {"-column", "", "N|NAME", "the p-value column", "", "", 0, 0, 0,
     "column of the p-value",
     "required (found by name with `-names yes`)"},
    {"-idcolumn", "", "N|NAME", "the chromosome column", "", "", 0, 0, 0,
     "column of the chromosome identifier",
     "required (found by name with `-names yes`)"},
    {"-poscolumn", "", "N|NAME", "the base-pair position column", "", "", 0, 0, 0,
     "column of the base-pair position; without it points are placed by row order",
     "none (found by name with `-names yes`)"},
    {"-out", "", "FILE", "the hit file; images are named after it", "", "", 0, 0, 0,
     "the hit file; the plot is this name followed by `.jpg` (or the `-image` type)",
     "TABLE`.out`"},
    {"-delim", "", "NAME", "the field separator", "tab|space|comma|semicolon|colon|bslash|slash|dash|quote|squote|whitespace", "", 0, 0, 0,
     "field separator: `tab`, `space`, `comma`, `semicolon`, `colon`, `bslash`, `slash`, `dash`, `quote`, `squote`, or `whitespace` (runs of spaces and tabs, edge blanks ignored); any other value means tab",
     "`tab`; with `-names yes` told by the header line"},
    {"-header", "", "yes|no", "the table starts with header lines", "yes|no", "", 0, 0, 0,
     "`yes` when the table starts with header lines (any other value: no header)",
     "no header; `yes` with `-names yes`"},
    {"-header-size", "", "N", "number of header lines; the last is copied to the hit file", "", "", 0, 0, 0,
     "number of header lines; the last one is copied to the hit file",
     "1"},
    {"-missing", "", "TEXT", "the p-value text that marks a missing value", "", "", 0, 0, 0,
     "the p-value text that marks a missing value; such rows are skipped",
     "`NA`"},
    {"-threshold", "", "X", "-log10(p) at or above which a row is a hit", "", "", 0, 0, 0,
     "−log10(p) at or above which a row is a hit (held in single precision)",
     "7.3"},
    {"-logp", "", "yes|no", "the p-value column already holds -log10(p)", "yes|no", "", 0, 0, 0,
     "`yes` when the p-value column already holds −log10(p)",
     "no"},
    {"-chr", "", "LIST", "chromosomes to keep: names and ranges a-b, separated by , or ;", "", "", 0, 0, 0,
     "chromosomes to keep: items separated by `,` or `;`, each a name (`X`, `MT`) or a numeric range `a-b`; with `-names yes` `chr1` is `1` and plink's 23-26 are X, Y, XY, MT",
     "`1-23`; with `-names yes` every chromosome the table holds"},
    {"-posrange", "", "START-END", "a position window on the one selected chromosome", "", "", 0, 0, 0,
     "a position window `start-end` (also `start:end`, `start;end`, `start,end`), inclusive; only with `-poscolumn` and a single chromosome in `-chr`",
     "none"},
    {"-div", "", "N", "divisor of positions when no window is in force", "", "classic", 0, 0, 0,
     "divisor applied to positions when no window is in force",
     "10"},
    {"-figuretitle", "", "TEXT", "the plot title", "", "", 0, 0, 0,
     "the plot title; in the paper style `\"\"` draws none and gives its room to the plot",
     "TABLE; in the paper style its file name without folders (`stdin` for standard input)"},
    {"-xnum", "", "N", "a chromosome label under every n-th chromosome run", "", "classic", 0, 0, 0,
     "a chromosome label under every n-th chromosome run (classic style)",
     "1"},
    {"-ynum", "", "N", "a label on every n-th y tick", "", "classic", 0, 0, 0,
     "a label on every n-th y tick (classic style)",
     "1"},
    {"-font1", "", "PT", "title font size in points", "", "", 0, 0, 0,
     "title font size in points",
     "12"},
    {"-font2", "", "PT", "axis font size in points", "", "", 0, 0, 0,
     "axis font size in points (the paper style: every text but the title)",
     "10"},
    {"-quiet", "", "yes|no", "no warnings and no summary on standard error", "yes|no", "", 0, 0, 0,
     "`yes`: no warnings and no summary on standard error (errors are still reported)",
     "no"},
    {"-threads", "", "N", "threads that parse, decompress and draw", "", "", 1, INT32_MAX, 0,
     "threads that parse, decompress and draw: a whole number from 1, capped to the CPUs the process may run on; `1` runs everything on one thread",
     "one per CPU the process may run on"},
    {"-qq", "", "yes|no", "also draw a QQ plot and print the genomic inflation factor", "yes|no", "", 0, 0, 0,
     "`yes` to draw a QQ plot as well and print the genomic inflation factor λ (see below); `no`",
     "no"},
    {"-snpcolumn", "", "N|NAME", "the variant ID column, for -leads and -labels", "", "", 1, INT32_MAX, 0,
     "column of the variant ID, used by `-leads` and `-labels`; a row that ends before it has an empty ID",
     "none (found by name with `-names yes` when `-leads` or `-labels` is given)"},
    {"-leads", "", "yes|no", "write the lead loci to OUT.leads", "yes|no", "", 0, 0, 0,
     "`yes`: write the lead loci to the hit file's name followed by `.leads` (see \"Lead loci and peak labels\"); needs a position column",
     "no"},
    {"-leadwindow", "", "BP", "base pairs on either side of a lead within which hits join its locus", "", "", 0, INT32_MAX, 500000,
     "base pairs on either side of a lead within which hits join its locus, 0 to 2147483647",
     "500000"},
    {"-labels", "", "N", "name the N strongest lead loci on the plot", "", "", 0, INT32_MAX, 0,
     "name the N strongest lead loci on the plot, 0 to 2147483647; needs a position column",
     "0 (no labels)"},
    {"-labelcolumn", "", "N|NAME", "the column whose text names a label (a gene name) instead of the ID", "", "", 1, INT32_MAX, 0,
     "column whose text names a lead's label instead of its variant ID (a gene name, say): a number from 1, or a header name with `-names yes`; a lead whose field is empty keeps its ID",
     "none (labels show the variant ID)"},
    {"-highlight", "", "FILE", "variants drawn in the highlight colour: one ID or CHR:POS a line", "", "", 0, 0, 0,
     "a list of variants drawn in a highlight colour over the other points of the Manhattan and QQ plots: one variant ID (of `-snpcolumn`) or `CHR:POS` a line, plain or compressed; `#` starts a comment line. The entries that match no plotted row are counted on standard error",
     "none"},
    {"-style", "", "classic|paper", "the look of the figures", "classic|paper", "", 0, 0, 0,
     "`classic` (the plot described above) or `paper` (see \"A figure for a paper\"); both styles write the same hit file and console",
     "`classic`"},
    {"-image", "", "TYPE", "the type of every image: jpg, png, pdf or svg", "jpg|png|pdf|svg", "", 0, 0, 0,
     "the type of every image of the run, and its file name extension: `jpg`, `png`, `pdf` or `svg`",
     "`jpg`"},
    {"-size", "", "WxH", "image size in pixels", "", "", 0, 0, 0,
     "image size in pixels, `WIDTHxHEIGHT`: each side 100 to 16000, at most 64,000,000 pixels (the QQ plot is a square of the height)",
     "`800x533`"},
    {"-dpi", "", "N", "resolution in pixels per inch", "", "", kMinDpi, kMaxDpi, kDefaultDpi,
     "resolution, pixels per inch, 36 to 2400: the physical size is size / dpi, and font sizes are physical",
     "96"},
    {"-suggestive", "", "X", "-log10(p) of a dashed suggestive line", "", "paper", 0, 0, 0,
     "−log10(p) of a dashed suggestive line in the paper style, above 0 (e.g. `5`)",
     "none"},
    {"-pointsize", "", "PT", "point diameter in points (hits 1.5 times as large)", "", "paper", 0, 0, 0,
     "the paper style's point diameter in typographic points (1/72 inch), 0.1 to 20; hits are drawn 1.5 times as large",
     "2.4 (hits 3.6)"},
    {"-ymax", "", "X", "cap of the -log10(p) axes; points above it drawn at the top as triangles", "", "", 0, 0, 0,
     "the cap of the −log10(p) axis of the paper style and of the QQ plot's observed axis, above 0 (e.g. `50`): points above it are drawn at the top edge as small triangles, and the axis ends at the cap; the classic Manhattan plot is capped too, except the documented 800x533 picture at 96 dpi",
     "none"},
    {"-colors", "", "C1,C2,HIT", "the colours of the chromosomes and the hits", "", "paper", 0, 0, 0,
     "the paper style's colours `C1,C2,HIT`: alternating chromosomes and hits, each a colour name (`navy`) or `#rrggbb`",
     "`#0072B2,#56B4E9,#D55E00`"},
    {"-html", "", "yes|no", "also write a report page, OUT.html, to open in a browser", "yes|no", "", 0, 0, 0,
     "`yes`: write a report page as well, the hit file's name followed by `.html`: one file to open in a browser, with an interactive Manhattan plot (see \"A page to share\"); `no`",
     "no"},
    {"-region", "", "CHR:START-END[,...]", "regional plots of these windows", "", "", 0, 0, 0,
     "regional plots of these windows, `CHR:START-END` (positions as in the table, inclusive), several separated by commas (see \"Regional plots\"); needs a position column",
     "none"},
    {"-regions", "", "leads", "a regional plot of each lead locus", "leads", "", 0, 0, 0,
     "`leads`: a regional plot of each lead locus, the strongest first, spanning the locus and `-flank` on each side; needs a position column",
     "none"},
    {"-regionsmax", "", "N", "the most lead loci drawn with -regions leads", "", "", 1, 100000, kDefaultRegionsMax,
     "the most lead loci that get a regional plot with `-regions leads`, 1 to 100000",
     "20"},
    {"-flank", "", "BP", "base pairs added on each side of a lead locus", "", "", 0, INT32_MAX, kDefaultFlank,
     "base pairs added on each side of a lead locus by `-regions leads`, 0 to 2147483647",
     "500000"},
    {"-ld", "", "FILE", "r2 pairs for the regional plots (a --r2 table)", "", "", 0, 0, 0,
     "r² of variant pairs for the regional plots: a table `CHR_A BP_A SNP_A CHR_B BP_B SNP_B R2` (or its `#CHROM_A POS_A ID_A ... UNPHASED_R2` form), whitespace or tab, plain or gzip",
     "none"},
    {"-ldref", "", "PANEL", "a reference panel for r2: an indexed .vcf.gz or .bcf", "", "", 0, 0, 0,
     "a reference panel to compute r² from: a bgzipped VCF (`.vcf.gz`) or a BCF (`.bcf`) with its `.tbi` or `.csi` index",
     "none"},
    {"-ldsamples", "", "FILE", "the -ldref samples to use, one ID a line", "", "", 0, 0, 0,
     "the samples of the `-ldref` panel to use (a population), one ID a line",
     "all"},
    {"-genes", "", "FILE", "genes for the regional plots: GTF, GFF3 or BED (its tabix index used when beside it)", "", "", 0, 0, 0,
     "the genes drawn under the regional plots: GTF or GFF3 (genes, with exons of the canonical or longest transcript) or BED (4 or 12 columns), plain or compressed as a table may be; a bgzip file with a tabix index beside it (`FILE.tbi` or `FILE.csi`) is read only around the windows",
     "none"},
    {"-genetypes", "", "LIST", "gene biotypes drawn, separated by commas; all for every one", "", "", 0, 0, 0,
     "the gene biotypes drawn, separated by commas, or `all`; a file without biotypes is drawn whole",
     "`protein_coding`"},
    {"-report", "", "json", "write a record of the run to OUT.json", "json", "", 0, 0, 0,
     "`json`: write a machine-readable record of the run to the hit file's name followed by `.json`, also when the run fails (see \"Run report\"; schema in `docs/report.schema.json`)",
     "none"},
    };
    return kTable;
}

const SwitchDeclaration* findSwitch(std::string_view name) {
    for (const SwitchDeclaration& d : switchTable())
        if (d.name == name) return &d;
    return nullptr;
}

namespace {

// Markdown as plain text: without the backticks.
std::string plain(std::string_view markdown) {
    std::string text;
    for (char c : markdown)
        if (c != '`') text += c;
    return text;
}

}  // namespace

std::string usageText() {
    std::string text =
        "usage: vennrick -M manhattan -file TABLE -names yes [-switch value]...\n"
        "       vennrick -M manhattan -file TABLE -column P_COLUMN -idcolumn CHR_COLUMN [-switch value]...\n"
        "\n"
        "Every switch takes one value, the next argument; switches come in any order, and the first of two counts.\n"
        "\n";
    for (const SwitchDeclaration& d : switchTable()) {
        std::string head = "  " + std::string(d.name) + " " + std::string(d.placeholder);
        if (!d.alias.empty()) head += " (or " + std::string(d.alias) + ")";
        text += head;
        text += head.size() < 28 ? std::string(28 - head.size(), ' ') : "\n" + std::string(28, ' ');
        text += std::string(d.help);
        if (!d.style.empty()) text += " (" + std::string(d.style) + " style)";
        text += "; default: " + plain(d.defaultText) + "\n";
    }
    return text;
}

std::vector<std::string> readmeSwitchRows() {
    std::vector<std::string> rows = {"| Switch | Value | Default |", "|---|---|---|"};
    for (const SwitchDeclaration& d : switchTable()) {
        std::string name = "`" + std::string(d.name) + "`";
        if (!d.alias.empty()) name += " or `" + std::string(d.alias) + "`";
        rows.push_back("| " + name + " | " + std::string(d.values) + " | " + std::string(d.defaultText) + " |");
    }
    return rows;
}

}  // namespace vennrick
