#include "manhattan.h"

#include <unistd.h>

#include <algorithm>

#include "diagnostics.h"
#include "lead_loci.h"
#include "peak_labels.h"
#include "plot_layout.h"
#include "plot_renderer.h"
#include "settings.h"
#include "table_reader.h"

namespace vennrick {
namespace {

// The lead loci of the hits: written to Outname + ".leads" with -leads yes, named on the plot with -labels N.
std::optional<Fatal> leadLociStage(const TableRead& read, PlotLayout& layout, std::ostream& err) {
    const PlotSettings& settings = read.settings;
    const LeadLoci leads = findLeadLoci(read.hitRows, read.data, settings.leadwindow);
    std::vector<std::string> report;
    if (settings.leadsyes == 1) {
        const std::string path = settings.Outname + ".leads";
        if (std::optional<Fatal> failed = writeLeadsFile(path, leads, read.hitRows, read.data, settings.logpyes == 1))
            return failed;
        report.push_back(leadsSummary(read.hitRows.records.size(), leads.loci.size(), settings.leadwindow, path));
    }
    if (settings.labels > 0) {
        LabelPlan plan = labelPeaks(leads, read.hitRows, layout, read.data, settings.labels, labelFont(settings.font2));
        report.push_back(labelReport(settings.labels, leads.loci.size(), plan.boxes.size()));
        layout.peakLabels = std::move(plan.boxes);
        layout.leaderLines = std::move(plan.leaders);
    }
    report.erase(std::remove(report.begin(), report.end(), std::string()), report.end());
    if (settings.quiet == 0) printLines(err, report);
    return std::nullopt;
}

}  // namespace

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
    PlotLayout& layout = std::get<PlotLayout>(layoutOutcome);

    // The hit file is completed and closed first: a hit file that cannot be written (a full disk) stops the
    // run before an image is made, and an image that cannot be written leaves a complete hit file.
    if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) return closeFailed;
    if (collectsHitRows(settings))
        if (std::optional<Fatal> failed = leadLociStage(read, layout, err)) return failed;

    const std::string imagefile = settings.Outname + ".jpg";
    const bool saved = saveJpeg(renderPlot(layout, read.data), imagefile);
    read.data = PlotData{};
    if (!saved) return Fatal{"", "cannot write the image file '" + imagefile + "'"};
    return std::nullopt;
}

}  // namespace vennrick
