// Plot settings: every switch read in its fixed order with its default, notice and fatal message, and the
// chromosome and position selection.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "base/text.h"
#include "settings/figure_options.h"
#include "settings/region_options.h"
#include "settings/switches.h"

namespace vennrick {

// Field separator of the data file.
struct Delimiter {
    char ch = '\t';               // the single separator character
    bool whitespaceRuns = false;  // true for "whitespace": runs of spaces and tabs separate, edge blanks are no fields
};

constexpr std::string_view kChromItemSeparators = ",;";   // between the items of a chromosome list
constexpr std::string_view kPosRangeSeparators = ";:-,";  // between the bounds of a position window

// Delimiter named on the command line; unknown names give a tab.
Delimiter delimiterFromName(std::string_view name);

// The name of a delimiter, as -delim takes it ("tab", "comma", "whitespace", ...).
std::string delimiterName(const Delimiter& delimiter);

// Numeric chromosome range a..b kept as a range: it holds the decimal texts of a, a+1, ..., b.
struct ChromRange {
    int32_t first;
    int32_t last;  // inclusive, >= first
};

// The selected chromosome IDs. A data row's ID field matches when it equals one of the names exactly or is
// the plain decimal text (no sign, no leading zero) of an integer inside one of the ranges; with tableNames, when
// it shows as one of the names (shownChromosome) or its chromosomeNumber lies inside one of the ranges.
struct ChromSelection {
    std::vector<std::string> names;  // items without "-", as given (duplicates kept)
    std::vector<ChromRange> ranges;  // items "a-b" with a <= b
    int64_t entryCount = 0;          // number of entries the list stands for: names plus every integer of the ranges
    bool tableNames = false;         // -names yes: names as tables write them ("chr1" is 1, plink's 23 is X; see
                                     // base/chromosome_names.h), and ranges count the number after "chr"
    bool all = false;                // -names yes without -chr: every chromosome the table holds
};

bool selectionContains(const ChromSelection& selection, std::string_view id);

// Chromosome list from the "-chr" value (default "1-23").
ChromSelection parseChromList(std::string_view value);

struct PositionWindow {
    int32_t startpos = 0;     // inclusive lower bound
    int32_t endpos = 0;       // inclusive upper bound
    int posrangeallowed = 0;  // 1 when the window is in force, else 0
};

// Position window from the "-posrange" value; in force only with a position column and one selected entry.
PositionWindow parsePosRange(std::string_view value, int32_t poscolumn, const ChromSelection& selection);

// Columns given by header name (-names yes). The reader finds them in the last header line.
struct ColumnNames {
    bool on = false;                                         // -names yes
    std::optional<std::string> column, idcolumn, poscolumn;  // names given; nullopt: found by standard names
    std::optional<std::string> snpcolumn;  // -snpcolumn NAME; nullopt: found by standard names when hits are kept
    std::optional<std::string> labelcolumn;  // -labelcolumn NAME; nullopt: none
    bool detectDelimiter = false;                            // no -delim: the header line tells the delimiter
};

struct PlotSettings {
    std::string Filename;        // data file path, as given
    std::string Outname;         // hit file path; the image is Outname + "." + the image type's extension
    std::string Delimname;       // delimiter name as given; "tab" when absent
    Delimiter Delim;             // derived from Delimname
    int headeryes = 0;           // 1 when the data file starts with header lines
    int32_t headersize = 1;      // number of header lines, >= 1
    std::string Missing = "NA";  // p-value text that marks a missing value
    float threshold = 7.3f;      // -log10(p) at or above which a row is a hit (single precision)
    int32_t column = 0;          // 1-based p-value column
    int32_t idcolumn = 0;        // 1-based chromosome-ID column
    int32_t divvalue = 10;       // divisor of positions when no window is in force, >= 1
    std::string Title;           // plot title
    bool titleGiven = false;     // -figuretitle was given (an empty title draws none in the paper style)
    ChromSelection SelChrom;     // selected chromosome IDs
    int32_t poscolumn = 0;       // 1-based position column; 0 for none (points placed by row order)
    bool markerPlace = false;    // -names yes found no chromosome or position column but a marker column of CHR:POS
                                 // values (idcolumn and poscolumn both): a row's chromosome and position are read from it
    PositionWindow window;       // position window on the single selected chromosome
    int32_t xnum = 1;            // a chromosome label on every xnum-th run
    int32_t ynum = 1;            // a y label on every ynum-th tick
    int32_t font1 = 12;          // title font point size
    int32_t font2 = 10;          // axis font point size
    int logpyes = 0;             // 1 when the p-value column already holds -log10(p)
    ColumnNames names;           // -names yes: the column switches name header columns; off by default
    int quiet = 0;               // 1 with -quiet yes: no warnings and no summary on standard error; 0 by default
    int32_t threads = 0;         // most threads that parse, decompress and draw, >= 1; 0: one per CPU the process may use
    int qqyes = 0;               // 1 with -qq yes: a QQ plot image and lambda as well; 0 for neither
    int32_t snpcolumn = 0;       // 1-based variant ID column; 0 for none (a label then reads CHR:POS)
    int leadsyes = 0;            // 1 with -leads yes: the lead loci are written to Outname + ".leads"; 0 by default
    int32_t leadwindow = 500000; // base pairs on either side of a lead within which hits join its locus, >= 0
    int32_t labels = 0;          // lead loci named on the plot, strongest first; 0 for none
    int32_t labelcolumn = 0;     // 1-based column of the labels' texts (a gene name); 0: labels show the variant ID
    FigureStyle style = FigureStyle::classic;  // -style: how every figure of the run looks; classic by default
    ImageType imagetype = ImageType::jpg;      // -image: type and file name extension of every image; jpg by default
    ImageSize imagesize;         // -size: the Manhattan image in pixels, 800 x 533 by default; the QQ image is its height square
    int32_t dpi = kDefaultDpi;   // -dpi: pixels per inch, 96 by default; font sizes are points of 1/72 inch
    double suggestive = 0;       // -suggestive: -log10(p) of the paper style's suggestive line; 0 for none
    double pointsize = 0;        // -pointsize: the paper style's point diameter in points (hits 1.5 times); 0: default
    double ymax = 0;             // -ymax: the cap of the -log10(p) axes (paper style, QQ plots); 0 for none
    PaperColours colours = kPaperColours;  // -colors: the paper style's chromosome and hit colours
    int htmlyes = 0;             // 1 with -html yes: the report page Outname + ".html" as well; 0 by default
    std::string highlightFile;   // -highlight: a list of variants drawn in the highlight colour; empty for none
    RegionOptions region;        // the regional plots: none by default
    bool reportJson = false;     // -report json: a record of the run is written to Outname + ".json"
};

// Whether the reader keeps a record of every hit row: for the lead loci (-leads yes) or their labels (-labels).
// The regional plots of the lead loci (-regions leads) need them too.
inline bool collectsHitRows(const PlotSettings& settings) {
    return settings.leadsyes == 1 || settings.labels > 0 || settings.region.leads;
}

// Lead loci are formed by distance in base pairs: -leads yes or -labels N without a position column is refused.
std::optional<Fatal> refuseLociWithoutPositions(const PlotSettings& settings);

// "-file -": the data comes from standard input.
bool readsStandardInput(const PlotSettings& settings);

// The Manhattan image, Outname + "." + the extension of -image, and the QQ image, Outname + ".qq." + it.
std::string imageFileName(const PlotSettings& settings);
std::string qqImageFileName(const PlotSettings& settings);

// The report page of -html yes: Outname + ".html".
std::string pageFileName(const PlotSettings& settings);

// The run report of -report json: Outname + ".json".
std::string reportFileName(const PlotSettings& settings);

// Whether the variant ID column is looked for by its standard names with -names yes: when hit records are kept,
// the report page names its points or -highlight lists variants.
inline bool wantsVariantIds(const PlotSettings& settings) {
    return collectsHitRows(settings) || settings.htmlyes == 1 || !settings.highlightFile.empty();
}

// Switches beyond the classic set are strict: a value they do not accept stops the run before any file is
// opened, with one line on standard error and nothing more on standard output.

// The fatal outcome for such a value: "invalid value 'V' for NAME: expected ACCEPTED".
Fatal invalidValue(std::string_view name, std::string_view value, std::string_view accepted);

// The choices of a declared switch as a refusal names them: "yes or no", "jpg, png, pdf or svg".
std::string acceptedChoices(std::string_view name);

// "yes" gives true, "no" false, absent false; any other value is fatal.
Outcome<bool> readYesNo(const SwitchList& switches, std::string_view name);

// One of the declared choices of the switch, as written; absent, nullopt. Any other value is fatal.
Outcome<std::optional<std::string>> readChoice(const SwitchList& switches, std::string_view name);

// A base-10 integer within the switch's declared limits (the conversion rules of the classic switches);
// absent, its declared default. Anything else is fatal.
Outcome<int32_t> readInteger(const SwitchList& switches, std::string_view name);

// Reads every setting from the switches in the fixed order, writing the notices to out. Ends with
// "running manhattan()\n\n" or returns the fatal outcome of a missing file or a missing or invalid column.
Outcome<PlotSettings> readSettings(const SwitchList& switches, std::ostream& out);

// The title drawn over the plot: the -figuretitle text, with " - start : end" while a position window is in force.
std::string plotTitle(const PlotSettings& settings);

// The title of the paper style's figures: -figuretitle as given (empty: no title), or by default the table's file
// name without its folders ("stdin" for standard input), with the position window as plotTitle adds it.
std::string paperTitle(const PlotSettings& settings);

}  // namespace vennrick
