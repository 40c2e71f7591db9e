// The report page of -html yes: one self-contained HTML file with the run's summary, an interactive Manhattan plot,
// the QQ plot and the lead loci. The page's frame, style and script are files of src/page/assets/, built into the
// program; this writes the run's data into it as one JSON block (the format is told at the top of report.js).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/lead_loci.h"
#include "base/fatal.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"
#include "reading/read_summary.h"
#include "settings/settings.h"

namespace vennrick {

// Rows drawn one by one: the strongest this many, and every further hit among the recorded strongest rows.
constexpr size_t kPagePoints = 20000;
// About this many position bins across the genome for the rest (3.1 Gb: bins of 52 kb).
constexpr int64_t kPageBins = 60000;
constexpr int kPageLevels = 32;  // -log10(p) levels of a bin, one bit each

// What the page shows of a run.
struct PageRun {
    const PlotSettings* settings = nullptr;
    const ReadSummary* summary = nullptr;
    int64_t kept = 0;                    // kept rows
    std::string plotJson;                // pagePlotData
    std::vector<std::string> chromosomeNames;  // in the order of the page's chromosomes
    const LeadLoci* leads = nullptr;     // with -leads yes
    const HitRows* hitRows = nullptr;    // the hit records the leads index
    std::vector<double> leadValues;      // -log10(p) of each locus's lead, as leads->loci
    std::optional<std::string> lambda;   // with -qq yes: as the console prints it
    std::string qqPng;                   // with -qq yes: the QQ plot as PNG bytes
    std::vector<std::string> commandLine;
};

// A text as a JSON string that can stand inside an HTML script element: quotes, backslashes and control
// characters escaped, "<", ">", "&", U+2028 and U+2029 as \u escapes, and bytes that are not UTF-8 as U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

// The plot's part of the page's data (chromosomes, points, bins) as a JSON object: taken from the kept rows as
// read, before the figure's layout rewrites their positions. strongest: the strongest kept rows, strongest first.
std::string pagePlotData(const PlotData& data, const HitRows& strongest, const PlotSettings& settings,
                         unsigned threads = 1);

// The page's chromosome names, in their order on the page.
std::vector<std::string> pageChromosomes(const PlotData& data);

// The page's data, as JSON.
std::string pageData(const PageRun& run);

// The whole page: the frame with its style, the data and its script.
std::string pageHtml(std::string_view dataJson);

// Writes the page at path whole: into a new file beside it, then renamed over it.
std::optional<Fatal> writePage(const std::string& path, const std::string& html);

}  // namespace vennrick
