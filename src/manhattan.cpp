#include "manhattan.h"

#include <unistd.h>

#include "diagnostics.h"
#include "plot_layout.h"
#include "plot_renderer.h"
#include "settings.h"
#include "table_reader.h"

namespace vennrick {

std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err) {
    Outcome<PlotSettings> settingsOutcome = readSettings(Switches, out);
    if (auto* fatal = std::get_if<Fatal>(&settingsOutcome)) return *fatal;
    const PlotSettings& given = std::get<PlotSettings>(settingsOutcome);
    if (given.quiet == 0) printLines(err, settingsWarnings(Switches, given));

    if (std::optional<Fatal> refused = refuseOverwritingData(given)) return refused;

    ReadOptions options;
    options.showProgress = isatty(STDERR_FILENO) == 1 && !readsStandardInput(given);  // no size to measure stdin by
    Outcome<TableRead> readOutcome = readTable(given, out, err, options);
    if (auto* fatal = std::get_if<Fatal>(&readOutcome)) return *fatal;
    TableRead& read = std::get<TableRead>(readOutcome);
    const PlotSettings& settings = read.settings;  // with -names yes, the columns found in the header
    if (settings.quiet == 0) printLines(err, summaryLines(read.summary, read.data, settings));

    Outcome<PlotLayout> layoutOutcome = layoutPlot(read.data, settings);
    if (auto* fatal = std::get_if<Fatal>(&layoutOutcome)) {
        // What was written so far reaches the disk; a failure to write it is reported too.
        if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) {
            fatal->detail = closeFailed->detail;
        } else if (read.data.maxX < 2) {
            fatal->detail = whyTooFewRows(read.summary, settings);
        }
        return *fatal;
    }
    const PlotLayout& layout = std::get<PlotLayout>(layoutOutcome);

    // The hit file is completed and closed first: a hit file that cannot be written (a full disk) stops the
    // run before an image is made, and an image that cannot be written leaves a complete hit file.
    if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) return closeFailed;

    const std::string imagefile = settings.Outname + ".jpg";
    const bool saved = saveJpeg(renderPlot(layout, read.data), imagefile);
    read.data = PlotData{};
    if (!saved) return Fatal{"", "cannot write the image file '" + imagefile + "'"};
    return std::nullopt;
}

}  // namespace vennrick
