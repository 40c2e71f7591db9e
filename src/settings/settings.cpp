// Reading the settings from the switches in the documented order, with their notices and refusals.
#include "settings/settings.h"

#include "base/chromosome_names.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "base/numbers.h"
#include "settings/switch_table.h"

namespace vennrick {
namespace {

// A required column: absent prints the message without a line end, a value below 1 prints it with one.
Outcome<int32_t> requiredColumn(const SwitchList& switches, std::string_view name, const std::string& message) {
    const std::string switchName(name);
    std::optional<std::string> value = lookupSwitch(switches, name);
    if (!value) return Fatal{message, switchName + " is required: the column's number (from 1), or its header name with -names yes"};
    int32_t column = toIntOrZero(*value);
    if (column < 1) {
        return Fatal{message + "\n", switchName + " '" + shownText(*value) +
                                         "' is not a column number: columns are numbered from 1 (-names yes takes header names)"};
    }
    return column;
}

// An optional integer setting taken unchanged when present, announced when it falls back to its default.
int32_t intOrDefault(const SwitchList& switches, std::string_view name, int32_t fallback, std::string_view notice,
                     std::ostream& out) {
    if (std::optional<std::string> value = lookupSwitch(switches, name)) return toIntOrZero(*value);
    out << notice;
    return fallback;
}

// -snpcolumn, -leads, -leadwindow, -labels, -labelcolumn and -highlight. By name, the variant ID column is found in the header later.
std::optional<Fatal> readLeadSettings(const SwitchList& switches, bool byName, PlotSettings& s) {
    if (byName) {
        s.names.snpcolumn = lookupSwitch(switches, "-snpcolumn");
    } else {
        Outcome<int32_t> snpcolumn = readInteger(switches, "-snpcolumn");
        if (auto* fatal = std::get_if<Fatal>(&snpcolumn)) return *fatal;
        s.snpcolumn = std::get<int32_t>(snpcolumn);
    }
    Outcome<bool> leads = readYesNo(switches, "-leads");
    if (auto* fatal = std::get_if<Fatal>(&leads)) return *fatal;
    s.leadsyes = std::get<bool>(leads) ? 1 : 0;
    Outcome<int32_t> window = readInteger(switches, "-leadwindow");
    if (auto* fatal = std::get_if<Fatal>(&window)) return *fatal;
    s.leadwindow = std::get<int32_t>(window);
    Outcome<int32_t> labels = readInteger(switches, "-labels");
    if (auto* fatal = std::get_if<Fatal>(&labels)) return *fatal;
    s.labels = std::get<int32_t>(labels);
    if (byName) {
        s.names.labelcolumn = lookupSwitch(switches, "-labelcolumn");
        if (s.names.labelcolumn && s.names.labelcolumn->empty())
            return invalidValue("-labelcolumn", "", "a header name of the table");
    } else {
        Outcome<int32_t> labelcolumn = readInteger(switches, "-labelcolumn");
        if (auto* fatal = std::get_if<Fatal>(&labelcolumn)) return *fatal;
        s.labelcolumn = std::get<int32_t>(labelcolumn);
    }
    if (std::optional<std::string> highlight = lookupSwitch(switches, "-highlight")) {
        if (highlight->empty()) return invalidValue("-highlight", "", "a file listing variants, one ID or CHR:POS a line");
        s.highlightFile = *highlight;
    }
    // By name, the position column is known once the header has been read.
    return byName ? std::nullopt : refuseLociWithoutPositions(s);
}

// A value that parse reads; absent, the field keeps its default. A value parse refuses is fatal.
template <class T, class Parse>
std::optional<Fatal> readParsed(const SwitchList& switches, std::string_view name, Parse parse,
                                std::string_view accepted, T& field) {
    std::optional<std::string> value = lookupSwitch(switches, name);
    if (!value) return std::nullopt;
    std::optional<T> parsed = parse(*value);
    if (!parsed) return invalidValue(name, *value, accepted);
    field = *parsed;
    return std::nullopt;
}

// The figure switches, in this order: -style, -image, -size, -dpi, -suggestive, -ymax, -colors.
std::optional<Fatal> readFigureSwitches(const SwitchList& switches, PlotSettings& s) {
    auto positive = [](const std::string& text) {
        std::optional<double> v = parseDouble(text);
        return v && std::isfinite(*v) && *v > 0 ? v : std::nullopt;
    };
    std::optional<Fatal> refused = readParsed(switches, "-style", styleFromName, acceptedChoices("-style"), s.style);
    if (!refused) refused = readParsed(switches, "-image", imageTypeFromName, acceptedChoices("-image"), s.imagetype);
    if (!refused)
        refused = readParsed(switches, "-size", parseImageSize,
                             "WIDTHxHEIGHT in pixels, each side from " + std::to_string(kMinImageSide) + " to " +
                                 std::to_string(kMaxImageSide) + " and at most " + std::to_string(kMaxImagePixels) +
                                 " pixels in all",
                             s.imagesize);
    if (refused) return refused;
    Outcome<int32_t> dpi = readInteger(switches, "-dpi");
    if (auto* fatal = std::get_if<Fatal>(&dpi)) return *fatal;
    s.dpi = std::get<int32_t>(dpi);
    refused = readParsed(switches, "-suggestive", positive, "a -log10(p) above 0, such as 5 for p = 1e-5",
                         s.suggestive);
    auto pointSize = [](const std::string& text) {
        std::optional<double> v = parseDouble(text);
        return v && std::isfinite(*v) && *v >= 0.1 && *v <= 20 ? v : std::nullopt;
    };
    if (!refused)
        refused = readParsed(switches, "-pointsize", pointSize, "a point diameter in points from 0.1 to 20, such as 3",
                             s.pointsize);
    if (!refused)
        refused = readParsed(switches, "-ymax", positive, "a -log10(p) above 0, such as 50 for p = 1e-50", s.ymax);
    if (!refused)
        refused = readParsed(switches, "-colors", parseColours,
                             "three colours C1,C2,HIT, each a name such as navy or #rrggbb", s.colours);
    return refused;
}

}  // namespace

std::optional<Fatal> refuseLociWithoutPositions(const PlotSettings& settings) {
    if ((!collectsHitRows(settings) && !regionsAsked(settings.region)) || settings.poscolumn != 0) return std::nullopt;
    const std::string asked = settings.leadsyes == 1  ? "-leads yes"
                              : settings.labels > 0   ? "-labels " + std::to_string(settings.labels)
                              : settings.region.leads ? "-regions leads"
                                                      : "-region";
    return Fatal{"", asked + " needs a position column" +
                         (settings.names.on ? std::string(", and the header has none: give -poscolumn NAME")
                                            : std::string(": give -poscolumn")) +
                         " (lead loci are formed by distance in base pairs)"};
}

Delimiter delimiterFromName(std::string_view name) {
    static constexpr std::pair<std::string_view, char> kTable[] = {
        {"tab", '\t'},   {"space", ' '}, {"comma", ','}, {"semicolon", ';'}, {"colon", ':'},
        {"bslash", '\\'}, {"slash", '/'}, {"dash", '-'}, {"quote", '"'},     {"squote", '\''}};
    for (const auto& [entry, ch] : kTable) {
        if (name == entry) return Delimiter{ch, false};
    }
    if (name == "whitespace") return Delimiter{' ', true};
    return Delimiter{};
}

std::string delimiterName(const Delimiter& delimiter) {
    static constexpr std::string_view kNames[] = {"tab",   "space", "comma", "semicolon", "colon",
                                                  "bslash", "slash", "dash",  "quote",     "squote"};
    if (delimiter.whitespaceRuns) return "whitespace";
    for (std::string_view name : kNames) {
        if (delimiterFromName(name).ch == delimiter.ch) return std::string(name);
    }
    return "tab";
}

bool readsStandardInput(const PlotSettings& settings) { return settings.Filename == "-"; }

std::string imageFileName(const PlotSettings& settings) {
    return settings.Outname + "." + imageExtension(settings.imagetype);
}

std::string pageFileName(const PlotSettings& settings) { return settings.Outname + ".html"; }

std::string reportFileName(const PlotSettings& settings) { return settings.Outname + ".json"; }

std::string qqImageFileName(const PlotSettings& settings) {
    return settings.Outname + ".qq." + imageExtension(settings.imagetype);
}

bool selectionContains(const ChromSelection& selection, std::string_view id) {
    if (selection.all) return true;
    if (selection.tableNames) {
        const std::string shown = shownChromosome(id);
        for (const std::string& name : selection.names)
            if (shownChromosome(name) == shown) return true;
        const std::optional<int64_t> number = chromosomeNumber(id);
        for (const ChromRange& range : selection.ranges)
            if (number && *number >= range.first && *number <= range.last) return true;
        return false;
    }
    for (const std::string& name : selection.names) {
        if (name == id) return true;
    }
    if (selection.ranges.empty() || id.empty() || id.size() > 10) return false;
    // Only the plain decimal text of an integer can match a range: no sign, no blank, no leading zero.
    if (id[0] == '0' && id.size() > 1) return false;
    int64_t number = 0;
    for (char c : id) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    for (const ChromRange& range : selection.ranges) {
        if (number >= range.first && number <= range.last) return true;
    }
    return false;
}

ChromSelection parseChromList(std::string_view value) {
    ChromSelection selection;
    for (std::string_view item : splitAtAny(value, kChromItemSeparators)) {
        std::vector<std::string_view> range = splitAtAny(item, "-");
        if (range.size() == 1) {
            selection.names.emplace_back(item);
            selection.entryCount += 1;
        } else if (range.size() == 2) {
            // Both bounds hold no '-', so they convert to 0 or more.
            int32_t first = toIntOrZero(range[0]);
            int32_t last = toIntOrZero(range[1]);
            if (last >= first) {
                selection.ranges.push_back(ChromRange{first, last});
                selection.entryCount += int64_t{last} - first + 1;
            }
        }
        // Three or more parts: the item is ignored.
    }
    return selection;
}

PositionWindow parsePosRange(std::string_view value, int32_t poscolumn, const ChromSelection& selection) {
    std::vector<std::string_view> parts = splitAtAny(value, kPosRangeSeparators);
    PositionWindow window;
    if (parts.size() != 2) return window;
    window.startpos = toIntOrZero(parts[0]);
    window.endpos = toIntOrZero(parts[1]);
    if (window.startpos < window.endpos && poscolumn != 0 && selection.entryCount == 1) window.posrangeallowed = 1;
    return window;
}

Fatal invalidValue(std::string_view name, std::string_view value, std::string_view accepted) {
    return Fatal{"", "invalid value '" + shownText(value) + "' for " + std::string(name) + ": expected " +
                         std::string(accepted)};
}

std::string acceptedChoices(std::string_view name) {
    const SwitchDeclaration* d = findSwitch(name);
    const std::vector<std::string_view> choices = splitAtAny(d != nullptr ? d->choices : "", "|");
    std::string text;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += choices[i];
    }
    return text;
}

Outcome<std::optional<std::string>> readChoice(const SwitchList& switches, std::string_view name) {
    std::optional<std::string> value = lookupSwitch(switches, name);
    if (!value) return std::optional<std::string>{};
    const SwitchDeclaration* d = findSwitch(name);
    for (std::string_view choice : splitAtAny(d != nullptr ? d->choices : "", "|"))
        if (*value == choice) return value;
    return invalidValue(name, *value, acceptedChoices(name));
}

Outcome<bool> readYesNo(const SwitchList& switches, std::string_view name) {
    Outcome<std::optional<std::string>> choice = readChoice(switches, name);
    if (auto* fatal = std::get_if<Fatal>(&choice)) return *fatal;
    return std::get<std::optional<std::string>>(choice) == std::optional<std::string>("yes");
}

Outcome<int32_t> readInteger(const SwitchList& switches, std::string_view name) {
    const SwitchDeclaration* d = findSwitch(name);
    const int64_t lo = d != nullptr ? d->min : 0, hi = d != nullptr ? d->max : 0;
    std::optional<std::string> value = lookupSwitch(switches, name);
    if (!value) return static_cast<int32_t>(d != nullptr ? d->fallback : 0);
    std::optional<int32_t> number = parseInt(*value);
    if (number && *number >= lo && *number <= hi) return *number;
    return invalidValue(name, *value, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
}

Outcome<PlotSettings> readSettings(const SwitchList& switches, std::ostream& out) {
    PlotSettings s;
    auto lookup = [&](std::string_view name) { return lookupSwitch(switches, name); };

    std::optional<std::string> file = lookup("-file");
    if (!file) return Fatal{"You need to specify '-file'.\n\n", ""};
    s.Filename = *file;

    if (std::optional<std::string> out_ = lookup("-out")) {
        s.Outname = *out_;
    } else {
        s.Outname = s.Filename + ".out";
        out << "output name = input name + '.out'\n";
    }

    s.Delimname = lookup("-delim").value_or("tab");
    s.Delim = delimiterFromName(s.Delimname);

    // Columns by header name: the column switches hold names, found once the header has been read, and a
    // header is declared unless -header says otherwise. The value itself is checked after the classic switches.
    const bool byName = lookup("-names") == std::optional<std::string>("yes");
    s.names.detectDelimiter = byName && !lookup("-delim");

    s.headeryes = lookup("-header") == std::optional<std::string>("yes") || (byName && !lookup("-header")) ? 1 : 0;

    std::optional<std::string> headerSize = lookup("-header-size");
    s.headersize = (headerSize && !headerSize->empty()) ? std::max(toIntOrZero(*headerSize), int32_t{1}) : 1;

    s.Missing = lookup("-missing").value_or("NA");

    if (std::optional<std::string> threshold = lookup("-threshold")) s.threshold = toFloatOrZero(*threshold);

    if (byName) {
        s.names.column = lookup("-column");
        s.names.idcolumn = lookup("-idcolumn");
    } else {
        Outcome<int32_t> column = requiredColumn(switches, "-column", "Column incorrectly specified");
        if (auto* fatal = std::get_if<Fatal>(&column)) return *fatal;
        s.column = std::get<int32_t>(column);

        Outcome<int32_t> idcolumn = requiredColumn(switches, "-idcolumn", "Idcolumn incorrectly specified");
        if (auto* fatal = std::get_if<Fatal>(&idcolumn)) return *fatal;
        s.idcolumn = std::get<int32_t>(idcolumn);
    }

    if (std::optional<std::string> div = lookup("-div")) s.divvalue = std::max(toIntOrZero(*div), int32_t{1});
    if (s.divvalue > 1) out << "div = " << s.divvalue << "\n";

    // Deliberate: the documented console prints the index of -figuretitle in the switch list (-1 when absent),
    // which scripts read; it is not a debugging line.
    out << "f=" << switchPosition(switches, "-figuretitle") << "\n";
    if (std::optional<std::string> title = lookup("-figuretitle")) {
        s.Title = *title;
        s.titleGiven = true;
    } else {
        out << "Using filename for title\n";
        s.Title = s.Filename;
    }

    s.SelChrom = parseChromList(lookup("-chr").value_or("1-23"));

    if (std::optional<std::string> poscolumn = lookup("-poscolumn"); poscolumn && byName) {
        s.names.poscolumn = poscolumn;
    } else if (poscolumn) {
        s.poscolumn = toIntOrZero(*poscolumn);
        if (s.poscolumn < 1) {
            out << "Poscolumn not specified\n";
            s.poscolumn = 0;
        }
    } else {
        // Deliberate: without -poscolumn the documented console prints the notice twice on one line.
        out << "Poscolumn not specified" << "Poscolumn not specified\n";
    }

    // By name, the window is taken as if there were a position column; the reader drops it when the header
    // has none.
    if (std::optional<std::string> posrange = lookup("-posrange"))
        s.window = parsePosRange(*posrange, byName ? 1 : s.poscolumn, s.SelChrom);

    s.xnum = intOrDefault(switches, "-xnum", 1, "Showing all x-axis ID's\n", out);
    s.ynum = intOrDefault(switches, "-ynum", 1, "Showing all y-axis ID's\n", out);
    s.font1 = intOrDefault(switches, "-font1", 12, "Using title default font of 12\n", out);
    s.font2 = intOrDefault(switches, "-font2", 10, "Using axis default font of 10\n", out);

    s.logpyes = lookup("-logp") == std::optional<std::string>("yes") ? 1 : 0;

    Outcome<bool> names = readYesNo(switches, "-names");
    if (auto* fatal = std::get_if<Fatal>(&names)) return *fatal;
    s.names.on = std::get<bool>(names);
    if (s.names.on) {  // chromosome names as tables write them, and every one of them unless -chr says otherwise
        s.SelChrom.tableNames = true;
        s.SelChrom.all = !lookup("-chr");
    }
    if (s.names.on && s.headeryes != 1)
        return invalidValue("-header", *lookup("-header"), "yes with -names yes, which reads the names from the header");

    Outcome<bool> quiet = readYesNo(switches, "-quiet");
    if (auto* fatal = std::get_if<Fatal>(&quiet)) return *fatal;
    s.quiet = std::get<bool>(quiet) ? 1 : 0;

    if (std::optional<Fatal> refused = readLeadSettings(switches, byName, s)) return *refused;

    if (readsStandardInput(s)) {
        if (!lookup("-out")) return Fatal{"", "reading standard input (-file -) needs -out to name the hit file"};
        if (!lookup("-figuretitle")) s.Title = "stdin";
    }

    Outcome<int32_t> threads = readInteger(switches, "-threads");
    if (auto* fatal = std::get_if<Fatal>(&threads)) return *fatal;
    s.threads = std::get<int32_t>(threads);

    Outcome<bool> qq = readYesNo(switches, "-qq");
    if (auto* fatal = std::get_if<Fatal>(&qq)) return *fatal;
    s.qqyes = std::get<bool>(qq) ? 1 : 0;

    if (std::optional<Fatal> refused = readFigureSwitches(switches, s)) return *refused;

    Outcome<bool> html = readYesNo(switches, "-html");
    if (auto* fatal = std::get_if<Fatal>(&html)) return *fatal;
    s.htmlyes = std::get<bool>(html) ? 1 : 0;
    Outcome<RegionOptions> region = readRegionOptions(switches, lookup("-size").has_value(), s.imagesize);
    if (auto* fatal = std::get_if<Fatal>(&region)) return *fatal;
    s.region = std::move(std::get<RegionOptions>(region));
    if (!byName)
        if (std::optional<Fatal> refused = refuseLociWithoutPositions(s)) return *refused;

    Outcome<std::optional<std::string>> report = readChoice(switches, "-report");
    if (auto* fatal = std::get_if<Fatal>(&report)) return *fatal;
    s.reportJson = std::get<std::optional<std::string>>(report) == std::optional<std::string>("json");

    out << "running manhattan()\n\n";
    return s;
}

std::string plotTitle(const PlotSettings& settings) {
    std::string title = settings.Title;
    if (settings.window.posrangeallowed != 0)
        title += " - " + std::to_string(settings.window.startpos) + " : " + std::to_string(settings.window.endpos);
    return title;
}

std::string paperTitle(const PlotSettings& settings) {
    if (settings.titleGiven) return settings.Title.empty() ? std::string() : plotTitle(settings);
    PlotSettings named = settings;
    const size_t slash = settings.Title.find_last_of('/');
    if (slash != std::string::npos && slash + 1 < settings.Title.size()) named.Title = settings.Title.substr(slash + 1);
    return plotTitle(named);
}

}  // namespace vennrick
