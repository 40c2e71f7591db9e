// The run's messages for people on standard error: arguments no switch takes, values taken in place of what was
// written, the end-of-read summary and why too few rows were kept.
#include "settings/diagnostics.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "base/numbers.h"

namespace vennrick {
namespace {

std::string quoted(std::string_view text) { return "'" + shownText(text) + "'"; }

// "a", "a and b", "a, b and c"; with more items than shown, "a, b, c and 4 more".
std::string listed(const std::vector<std::string>& items, size_t total) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += (i + 1 == items.size() && total == items.size()) ? " and " : ", ";
        text += items[i];
    }
    if (total > items.size()) text += " and " + std::to_string(total - items.size()) + " more";
    return text;
}

// "1 row", "2 rows".
std::string rowCount(uint64_t n, const char* kind = "row") {
    return std::to_string(n) + " " + kind + (n == 1 ? "" : "s");
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string lowered(std::string_view text) {
    std::string low(text);
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return low;
}

size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The recognised switch nearest to an argument that matches none, or empty. In this order: the same name in
// another letter case or with more dashes, a one-letter slip, a name it begins, a name it extends, a name it is
// part of, a two-letter slip.
std::string nearestSwitch(std::string_view arg) {
    const size_t dashes = std::min(arg.find_first_not_of('-'), arg.size());
    const std::string body = lowered(arg.substr(dashes));
    if (body.size() < 2 || body.size() > 40) return "";
    const std::string name = "-" + body;
    const std::function<bool(std::string_view)> rules[] = {
        [&](std::string_view s) { return s == name; },
        [&](std::string_view s) { return editDistance(s, name) == 1; },
        [&](std::string_view s) { return s.substr(0, name.size()) == name; },
        [&](std::string_view s) { return s.size() > 3 && name.substr(0, s.size()) == s; },
        [&](std::string_view s) { return body.size() >= 3 && s.find(body) != std::string_view::npos; },
        [&](std::string_view s) { return body.size() >= 4 && editDistance(s, name) == 2; },
    };
    for (const auto& rule : rules) {
        for (std::string_view s : kRecognisedSwitches) {
            if (rule(s)) return std::string(s);
        }
    }
    return "";
}

bool isRecognised(std::string_view arg) {
    return std::find(kRecognisedSwitches.begin(), kRecognisedSwitches.end(), arg) != kRecognisedSwitches.end();
}

// An argument written as a switch: a dash and more, and not a number such as -5.
bool looksLikeSwitch(std::string_view arg) { return arg.size() > 1 && arg[0] == '-' && !parseDouble(arg); }

void chromosomeWarnings(std::string_view value, std::vector<std::string>& w) {
    bool emptySeen = false;
    for (std::string_view item : splitAtAny(value, kChromItemSeparators)) {
        std::vector<std::string_view> bounds = splitAtAny(item, "-");
        const std::string shown = "-chr item " + quoted(item);
        if (item.empty() && !emptySeen) {
            emptySeen = true;
            w.push_back("-chr holds an empty item: it selects the rows whose chromosome field is empty");
        } else if (bounds.size() == 1 && item.find_first_of(" \t") != std::string_view::npos) {
            w.push_back(shown + " holds a blank, which is part of the name: it selects only chromosome fields " +
                        quoted(item) + " (write the list without blanks)");
        } else if (bounds.size() == 2 && (!parseInt(bounds[0]) || !parseInt(bounds[1]))) {
            w.push_back(shown + ": a range bound that is not a number counts as 0");
        } else if (bounds.size() == 2 && toIntOrZero(bounds[1]) < toIntOrZero(bounds[0])) {
            w.push_back(shown + " selects nothing: the range runs downwards");
        } else if (bounds.size() > 2) {
            w.push_back(shown + " is ignored: a range has two bounds");
        }
    }
}

void windowWarnings(std::string_view value, const PlotSettings& s, std::vector<std::string>& w) {
    std::vector<std::string_view> bounds = splitAtAny(value, kPosRangeSeparators);
    const std::string shown = "-posrange " + quoted(value) + " is ignored, so the whole chromosome is plotted: ";
    if (bounds.size() != 2) return w.push_back(shown + "it needs two bounds, start-end, without a minus sign");
    if (!parseInt(bounds[0]) || !parseInt(bounds[1]))
        w.push_back("-posrange " + quoted(value) + ": a bound that is not a number counts as 0");
    if (s.window.startpos >= s.window.endpos) return w.push_back(shown + "its start must lie below its end");
    if (!s.names.on && s.poscolumn == 0) return w.push_back(shown + "it needs a position column (-poscolumn)");
    if (s.SelChrom.entryCount != 1)
        w.push_back(shown + "it needs exactly one chromosome in -chr, which selects " +
                    std::to_string(s.SelChrom.entryCount));
}

// The selected chromosomes as a short text: ranges, then names.
std::string describeSelection(const ChromSelection& selection) {
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

void printLines(std::ostream& err, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) err << "vennrick: " << line << '\n';
    err << std::flush;
}

std::string usageHint() {
    return "usage: vennrick -M manhattan -file TABLE -column P_COLUMN -idcolumn CHR_COLUMN [-switch value]... "
           "(the README lists the switches)";
}

std::vector<std::string> argumentWarnings(const std::vector<std::string>& args) {
    std::vector<std::string> w;
    std::map<std::string, std::string> given;  // switch -> its first value
    for (size_t i = 1; i < args.size();) {
        const std::string& arg = args[i];
        const bool hasNext = i + 1 < args.size();
        if ((arg == "-M" || arg == "-m") && hasNext) {
            i += 2;
        } else if (isRecognised(arg)) {
            if (!hasNext) {
                w.push_back(arg + " is the last argument and has no value: it is ignored");
            } else if (!given.emplace(arg, args[i + 1]).second) {
                w.push_back(arg + " is given twice: the first value, " + quoted(given[arg]) + ", counts");
            }
            i += 2;
        } else if (looksLikeSwitch(arg)) {
            const bool withValue = hasNext && !looksLikeSwitch(args[i + 1]);
            const std::string nearest = nearestSwitch(arg);
            w.push_back(quoted(arg) + " is not a switch: it is ignored" +
                        (withValue ? ", and so is its value " + quoted(args[i + 1]) : std::string()) +
                        (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
            i += withValue ? 2 : 1;
        } else {
            w.push_back("argument " + quoted(arg) + " is ignored: no switch before it takes a value");
            i += 1;
        }
    }
    return w;
}

std::vector<std::string> settingsWarnings(const SwitchList& switches, const PlotSettings& s) {
    std::vector<std::string> w;
    auto value = [&](std::string_view name) { return lookupSwitch(switches, name); };
    auto notInteger = [](const std::optional<std::string>& v) { return v && !parseInt(*v); };

    if (!value("-out") && (s.Filename.rfind("/dev/", 0) == 0 || s.Filename.rfind("/proc/", 0) == 0))
        w.push_back("the hit file is " + quoted(s.Outname) + ": to read standard input, give -file - with -out");
    if (std::optional<std::string> v = value("-delim");
        v && *v != "whitespace" && delimiterName(delimiterFromName(*v)) != *v) {
        std::string known;
        for (std::string_view name : {"tab", "space", "comma", "semicolon", "colon", "bslash", "slash", "dash", "quote",
                                      "squote", "whitespace"}) {
            const Delimiter d = delimiterFromName(name);
            if (lowered(*v) == name || (v->size() == 1 && (*v)[0] == d.ch && !d.whitespaceRuns)) known = name;
        }
        w.push_back("-delim " + quoted(*v) + " is not a delimiter name, so tab is used" +
                    (known.empty() ? ": the names are tab, space, comma, semicolon, colon, bslash, slash, dash, quote, "
                                     "squote and whitespace"
                                   : ": write -delim " + known));
    }
    if (std::optional<std::string> v = value("-header"); v && *v != "yes" && *v != "no")
        w.push_back("-header " + quoted(*v) + " means no header: only yes declares one");
    if (std::optional<std::string> v = value("-header-size"); v && !v->empty() && (notInteger(v) || toIntOrZero(*v) < 1))
        w.push_back("-header-size " + quoted(*v) + " is taken as 1");
    if (s.headersize > 1 && s.headeryes == 0)
        w.push_back("-header-size " + std::to_string(s.headersize) + " has no effect without -header yes");
    if (std::optional<std::string> v = value("-threshold"); v && !parseFloat(*v)) {
        w.push_back("-threshold " + quoted(*v) + " is not a number: it is taken as 0, so nearly every kept row is a hit");
    } else if (v && s.threshold < 1) {
        w.push_back("-threshold " + number(s.threshold) + " is on the -log10(p) scale (7.3 means p = 5e-8), where below 1 "
                    "nearly every row is a hit" +
                    (s.threshold > 0 ? "; for p = " + number(s.threshold) + " write -threshold " +
                                           number(-std::log10(static_cast<double>(s.threshold)))
                                     : std::string()));
    }
    if (std::optional<std::string> v = value("-div"); v && (notInteger(v) || toIntOrZero(*v) < 1))
        w.push_back("-div " + quoted(*v) + " is taken as 1: positions are not divided");
    if (std::optional<std::string> v = value("-poscolumn"); v && !s.names.on && (notInteger(v) || toIntOrZero(*v) < 0))
        w.push_back("-poscolumn " + quoted(*v) + " is not a column number, so no position column is used" +
                    (notInteger(v) ? " (-names yes takes header names)" : ""));
    for (const char* name : {"-xnum", "-ynum", "-font1", "-font2"}) {
        if (std::optional<std::string> v = value(name); notInteger(v))
            w.push_back(std::string(name) + " " + quoted(*v) + " is not a whole number: it is taken as 0");
    }
    if (std::optional<std::string> v = value("-logp"); v && *v != "yes" && *v != "no")
        w.push_back("-logp " + quoted(*v) + " means no: only yes turns it on");
    for (const char* name : {"-snpcolumn", "-leadwindow"}) {
        if (value(name) && !collectsHitRows(s))
            w.push_back(std::string(name) + " has no effect without -leads yes or -labels N");
    }
    for (const char* name : {"-suggestive", "-colors"})
        if (value(name) && s.style == FigureStyle::classic)
            w.push_back(std::string(name) + " has no effect on the classic figure: it belongs to -style paper");
    for (const char* name : {"-xnum", "-ynum"})
        if (value(name) && s.style == FigureStyle::paper)
            w.push_back(std::string(name) + " has no effect with -style paper, which places its labels itself");
    if (std::optional<std::string> v = value("-chr")) chromosomeWarnings(*v, w);
    if (std::optional<std::string> v = value("-posrange")) windowWarnings(*v, s, w);
    return w;
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
