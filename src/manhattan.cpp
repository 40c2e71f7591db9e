#include "manhattan.h"

#include <unistd.h>

#include "diagnostics.h"
#include "parallel.h"
#include "plot_layout.h"
#include "plot_renderer.h"
#include "settings.h"
#include "table_reader.h"
#include "thread_count.h"

namespace vennrick {

std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err) {
    Outcome<PlotSettings> settingsOutcome = readSettings(Switches, out);
    if (auto* fatal = std::get_if<Fatal>(&settingsOutcome)) return *fatal;
    const PlotSettings& given = std::get<PlotSettings>(settingsOutcome);
    if (given.quiet == 0) printLines(err, settingsWarnings(Switches, given));

    if (std::optional<Fatal> refused = refuseOverwritingData(given)) return refused;

    const unsigned threads = threadsForRun(given.threads, availableCpus());
    ReadOptions options;
    options.threads = threads;
    options.showProgress = isatty(STDERR_FILENO) == 1 && !readsStandardInput(given);  // no size to measure stdin by
    // The table is read on a thread of its own while this thread, which paints, loads the fonts and the JPEG
    // writer: their start-up no longer adds to the reading time. Only the reading writes to out meanwhile.
    // With one thread allowed, the painting loads them when it needs them, as before.
    std::optional<Outcome<TableRead>> readOutcome;
    auto readData = [&] { readOutcome.emplace(readTable(given, out, err, options)); };
    if (threads > 1) {
        runInParallel(2, [&](unsigned part) { part == 0 ? preparePainting(given.font1, given.font2) : readData(); });
    } else {
        readData();
    }
    if (auto* fatal = std::get_if<Fatal>(&*readOutcome)) return *fatal;
    TableRead& read = std::get<TableRead>(*readOutcome);
    const PlotSettings& settings = read.settings;  // with -names yes, the columns found in the header
    if (settings.quiet == 0) printLines(err, summaryLines(read.summary, read.data, settings));

    Outcome<PlotLayout> layoutOutcome = layoutPlot(read.data, settings, threads);
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
    const bool saved = saveJpeg(renderPlot(layout, read.data, threads), imagefile);
    read.data = PlotData{};
    if (!saved) return Fatal{"", "cannot write the image file '" + imagefile + "'"};
    return std::nullopt;
}

}  // namespace vennrick
