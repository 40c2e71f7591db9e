// The end-of-read summary on standard error: rows read, kept and skipped by reason, and why too few rows were kept.
#include "reading/read_summary.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "base/numbers.h"
#include "base/text.h"

namespace vennrick {
namespace {

// The selected chromosomes as a short text: ranges, then names.
std::string describeSelection(const ChromSelection& selection) {
    if (selection.all) return "every chromosome";
    std::vector<std::string> items;
    for (const ChromRange& r : selection.ranges)
        items.push_back(std::to_string(r.first) + (r.first == r.last ? "" : "-" + std::to_string(r.last)));
    for (const std::string& name : selection.names) items.push_back(quoted(name));
    const size_t total = items.size();
    if (items.size() > 8) items.resize(8);
    return total == 0 ? "nothing" : listed(items, total);
}

// The sampled IDs, with "..." when there may be more.
std::string idSamples(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) text += (text.empty() ? "" : ", ") + quoted(id);
    return text + (ids.size() == kIdSamples ? ", ..." : "");
}

// Why the IDs of the table match no selected chromosome, when their form tells.
std::string idHint(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        if (!id.empty() && (id[0] == '"' || id[0] == '\''))
            return " (the quotes are part of the IDs: remove them from the table)";
        if (lowered(id.substr(0, 3)) == "chr")
            return " (IDs are compared as exact text, so chr1 is not 1: select them by name, e.g. -chr chr1,chr2, "
                   "or remove the prefix)";
    }
    return "";
}

// Chromosomes met in more than one stretch of rows, and positions that go back within a stretch: the plot
// draws rows in file order, so such a table is drawn in pieces.
std::vector<std::string> orderLines(const PlotData& data, const PlotSettings& settings, uint64_t positionsBack) {
    std::vector<std::string> lines;
    std::map<std::string_view, int64_t> stretches;
    for (const IdRun& run : data.ID_list) ++stretches[run.id];
    std::vector<std::string> split;
    size_t splitCount = 0;
    for (const IdRun& run : data.ID_list) {
        int64_t& n = stretches[run.id];
        if (n > 1) {
            if (split.size() < 5) split.push_back(quoted(run.id));
            ++splitCount;
            n = 0;  // named once
        }
    }
    if (splitCount > 0)
        lines.push_back("chromosome" + std::string(splitCount > 1 ? "s " : " ") + listed(split, splitCount) +
                        (splitCount > 1 ? " appear" : " appears") +
                        " in more than one stretch of rows: the table is not grouped by chromosome, and the plot draws "
                        "rows in file order; sort the table by chromosome and position");
    if (settings.poscolumn != 0 && data.Pos_list.size() == static_cast<size_t>(data.maxX) && positionsBack > 0)
        lines.push_back("positions go back " + rowCount(positionsBack, "time") + " within a chromosome: the plot "
                        "draws rows in file order; sort the table by chromosome and position");
    return lines;
}

}  // namespace

void RowCounts::add(const RowCounts& more) {
    missing += more.missing;
    zero += more.zero;
    unselected += more.unselected;
    outsideWindow += more.outsideWindow;
    hits += more.hits;
    outsideUnit += more.outsideUnit;
    positionsBack += more.positionsBack;
}

void addIdSamples(std::vector<std::string>& ids, const std::vector<std::string>& more) {
    for (const std::string& id : more) {
        if (ids.size() >= kIdSamples) return;
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
}

std::vector<std::string> summaryLines(const ReadSummary& summary, const PlotData& data, const PlotSettings& settings) {
    const RowCounts& c = summary.counts;
    std::vector<std::string> reasons;
    if (c.missing > 0) reasons.push_back(std::to_string(c.missing) + " missing (" + quoted(settings.Missing) + ")");
    if (c.zero > 0) reasons.push_back(std::to_string(c.zero) + " with p = 0");
    if (c.unselected > 0)
        reasons.push_back(std::to_string(c.unselected) + " on chromosomes not selected (" +
                          idSamples(summary.unselectedIds) + ")");
    if (c.outsideWindow > 0) reasons.push_back(std::to_string(c.outsideWindow) + " outside the window");
    const uint64_t skipped = c.missing + c.zero + c.unselected + c.outsideWindow;
    std::string skips = std::to_string(skipped) + " skipped";
    if (!reasons.empty()) {
        skips += " (";
        for (size_t i = 0; i < reasons.size(); ++i) skips += (i > 0 ? ", " : "") + reasons[i];
        skips += ")";
    }
    std::vector<std::string> lines = {rowCount(summary.rows) + " read: " + std::to_string(data.maxX) + " kept, " + skips +
                                      ", " + rowCount(c.hits, "hit")};
    if (c.zero > 0)
        lines.push_back("not plotted: " + rowCount(c.zero) + " with p = 0; a p-value too small for the tool that wrote "
                        "the table prints as 0, so the strongest signals may be among them");
    if (c.outsideUnit > 0 && settings.logpyes == 1)
        lines.push_back("a -log10(p) below 0 or not a number in " + rowCount(c.outsideUnit, "kept row"));
    if (c.outsideUnit > 0 && settings.logpyes == 0)
        lines.push_back("a p-value outside (0, 1] in " + rowCount(c.outsideUnit, "kept row") +
                        ": is -column the p-value column?");

    for (std::string& line : orderLines(data, settings, c.positionsBack)) lines.push_back(std::move(line));
    return lines;
}

std::string whyTooFewRows(const ReadSummary& summary, const PlotSettings& settings) {
    if (summary.rows == 0) {
        if (summary.headerLines == 0 && summary.lines == 0) return "nothing to plot: the table is empty";
        if (summary.lines == 0) return "nothing to plot: the table holds only its header";
        return "nothing to plot: the table holds no rows, only empty lines";
    }
    const RowCounts& c = summary.counts;
    std::vector<std::string> reasons;
    if (c.unselected > 0)
        reasons.push_back(std::to_string(c.unselected) + " skipped on chromosomes not selected: the table has " +
                          idSamples(summary.unselectedIds) + ", -chr selects " + describeSelection(settings.SelChrom) +
                          idHint(summary.unselectedIds));
    if (c.missing > 0)
        reasons.push_back(std::to_string(c.missing) + " skipped with the missing marker " + quoted(settings.Missing));
    if (c.zero > 0) reasons.push_back(std::to_string(c.zero) + " skipped with p = 0");
    if (c.outsideWindow > 0)
        reasons.push_back(std::to_string(c.outsideWindow) + " skipped outside the window " +
                          std::to_string(settings.window.startpos) + "-" + std::to_string(settings.window.endpos));
    const uint64_t kept = summary.rows - c.missing - c.zero - c.unselected - c.outsideWindow;
    std::string text = "fewer than two rows to plot: " + std::to_string(kept) + " of " + std::to_string(summary.rows) +
                       " kept";
    for (const std::string& reason : reasons) text += "; " + reason;
    return text;
}

}  // namespace vennrick
