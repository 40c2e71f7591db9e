// An arbitrary argument vector (arguments separated by NUL bytes) through switch collection, settings and
// selection.

#include "settings/warnings.h"
#include "fuzz_support.h"
#include "settings/settings.h"
#include "settings/switches.h"

using namespace vennrick;
using vennrick::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args = fuzz::splitAtNul(data, size);
    args.insert(args.begin(), "vennrick");
    const SwitchList switches = collectSwitches(args);

    require(switches.size() % 2 == 0, "switches come in pairs");
    for (size_t i = 0; i < switches.size(); i += 2)
        require(std::count(recognisedSwitches().begin(), recognisedSwitches().end(), switches[i]) == 1,
                "every pair starts with a recognised name");

    fuzz::requireOneLineEach(argumentWarnings(args));

    std::ostringstream out;
    Outcome<PlotSettings> outcome = readSettings(switches, out);
    const std::string console = out.str();
    if (const Fatal* fatal = std::get_if<Fatal>(&outcome)) {
        static const char* const kFatal[] = {"You need to specify '-file'.\n\n", "Column incorrectly specified",
                                             "Column incorrectly specified\n", "Idcolumn incorrectly specified",
                                             "Idcolumn incorrectly specified\n"};
        // A value of a new switch that is refused prints nothing on standard output, only its one line.
        require(std::find(std::begin(kFatal), std::end(kFatal), fatal->message) != std::end(kFatal) ||
                    (fatal->message.empty() && !fatal->detail.empty()),
                "a fatal settings message is one of the documented texts, or a refusal on standard error only");
        fuzz::requireOneLineEach({fatal->detail.empty() ? "-" : fatal->detail});
        require(console.find("running manhattan()") == std::string::npos, "no start after a fatal setting");
        return 0;
    }
    const PlotSettings& s = std::get<PlotSettings>(outcome);
    const std::string startLine = "running manhattan()\n\n";
    require(console.size() >= startLine.size() &&
                console.compare(console.size() - startLine.size(), startLine.size(), startLine) == 0,
            "settings end with the start line");
    fuzz::requireOneLineEach(settingsWarnings(switches, s));
    // By name, the columns are found in the header later; a header is then always declared.
    require(s.names.on ? s.column == 0 && s.idcolumn == 0 && s.headeryes == 1 : s.column >= 1 && s.idcolumn >= 1,
            "columns are at least 1, or named");
    require(s.quiet == 0 || s.quiet == 1, "quiet flag is 0 or 1");
    require(!readsStandardInput(s) || lookupSwitch(switches, "-out"), "standard input only with -out");
    require(s.poscolumn >= 0 && s.headersize >= 1 && s.divvalue >= 1, "fallbacks keep their ranges");
    require(s.headeryes == 0 || s.headeryes == 1, "header flag is 0 or 1");
    require(lookupSwitch(switches, "-threads") ? s.threads >= 1 : s.threads == 0, "a thread cap is 1 or more");
    const std::optional<std::string> qq = lookupSwitch(switches, "-qq");
    require(s.qqyes == (qq == std::optional<std::string>("yes") ? 1 : 0) && (!qq || *qq == "yes" || *qq == "no"),
            "-qq is yes or no, and only yes asks for the QQ plot");
    require(s.snpcolumn >= 0 && (s.leadsyes == 0 || s.leadsyes == 1) && s.leadwindow >= 0 && s.labels >= 0,
            "lead loci settings keep their ranges");
    require(!collectsHitRows(s) || s.names.on || s.poscolumn != 0, "lead loci only with positions, or by name");
    require(s.imagesize.width >= kMinImageSide && s.imagesize.width <= kMaxImageSide && s.imagesize.height >= kMinImageSide &&
                s.imagesize.height <= kMaxImageSide && int64_t{s.imagesize.width} * s.imagesize.height <= kMaxImagePixels,
            "an image within the size limits");
    require(s.dpi >= kMinDpi && s.dpi <= kMaxDpi && std::isfinite(s.suggestive) && s.suggestive >= 0, "dpi and line in range");
    require((s.style == FigureStyle::paper) == (lookupSwitch(switches, "-style") == std::optional<std::string>("paper")),
            "only -style paper asks for the paper style");
    require(!s.window.posrangeallowed ||
                ((s.names.on || s.poscolumn != 0) && s.SelChrom.entryCount == 1 && s.window.startpos < s.window.endpos),
            "a window is in force only with a position column and one entry");
    // Ranges are ordered, and membership agrees with the decimal text of the bounds of every range.
    for (const ChromRange& r : s.SelChrom.ranges)
        require(r.first >= 0 && r.first <= r.last && selectionContains(s.SelChrom, std::to_string(r.first)) &&
                    selectionContains(s.SelChrom, std::to_string(r.last)),
                "ranges are ordered and hold their bounds");
    return 0;
}
