// The run's notices for people about its command line, on standard error: arguments no switch takes, and values
// taken in place of what was written.
#include "settings/warnings.h"

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
        for (std::string_view s : recognisedSwitches()) {
            if (rule(s)) return std::string(s);
        }
    }
    return "";
}

bool isRecognised(std::string_view arg) {
    return isRecognisedSwitch(arg);
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

}  // namespace

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
        w.push_back("-threshold " + numberText(s.threshold) + " is on the -log10(p) scale (7.3 means p = 5e-8), where below 1 "
                    "nearly every row is a hit" +
                    (s.threshold > 0 ? "; for p = " + numberText(s.threshold) + " write -threshold " +
                                           numberText(-std::log10(static_cast<double>(s.threshold)))
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
        // The page and the regional plots take variant IDs from -snpcolumn too.
        const bool idsUsed = std::string_view(name) == "-snpcolumn" &&
                             (s.htmlyes == 1 || regionsAsked(s.region) || !s.highlightFile.empty());
        if (value(name) && !collectsHitRows(s) && !idsUsed)
            w.push_back(std::string(name) + " has no effect without -leads yes or -labels N");
    }
    if (value("-labelcolumn") && s.labels == 0) w.push_back("-labelcolumn has no effect without -labels N");
    for (const char* name : {"-regionsmax", "-flank"})
        if (value(name) && !s.region.leads) w.push_back(std::string(name) + " has no effect without -regions leads");
    for (const char* name : {"-ld", "-ldref", "-genes", "-genetypes"})
        if (value(name) && !regionsAsked(s.region))
            w.push_back(std::string(name) + " has no effect without -region or -regions leads");
    for (const char* name : {"-suggestive", "-colors", "-pointsize"})
        if (value(name) && s.style == FigureStyle::classic)
            w.push_back(std::string(name) + " has no effect on the classic figure: it belongs to -style paper");
    const bool documentedSize = s.imagesize.width == kDefaultImageWidth && s.imagesize.height == kDefaultImageHeight &&
                                s.dpi == kDefaultDpi && (s.imagetype == ImageType::jpg || s.imagetype == ImageType::png);
    if (value("-ymax") && s.style == FigureStyle::classic && s.qqyes != 1 && documentedSize)
        w.push_back("-ymax has no effect on the documented classic picture (800x533 at 96 dpi): it caps the classic "
                    "axis at other sizes, the paper style's and the QQ plot's");
    for (const char* name : {"-xnum", "-ynum"})
        if (value(name) && s.style == FigureStyle::paper)
            w.push_back(std::string(name) + " has no effect with -style paper, which places its labels itself");
    if (std::optional<std::string> v = value("-chr")) chromosomeWarnings(*v, w);
    if (std::optional<std::string> v = value("-posrange")) windowWarnings(*v, s, w);
    return w;
}

}  // namespace vennrick
