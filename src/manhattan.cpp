#include "manhattan.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "diagnostics.h"
#include "figure_renderer.h"
#include "lead_loci.h"
#include "parallel.h"
#include "peak_labels.h"
#include "plot_layout.h"
#include "plot_renderer.h"
#include "qq_layout.h"
#include "qq_stats.h"
#include "settings.h"
#include "table_reader.h"
#include "thread_count.h"

namespace vennrick {
namespace {

// With -qq yes: the QQ plot of the kept values as Outname + ".qq.jpg", then the lambda line. Values that take
// no part are counted on err. Two passes over the values: the sample, then the points' pixel rows, which also
// gathers the candidates for lambda's median.
std::optional<Fatal> writeQqPlot(ValueView values, const PlotSettings& settings, const std::string& title,
                                 std::ostream& out, std::ostream& err) {
    const QqSample sample = sampleValues(values);
    if (sample.excluded > 0 && settings.quiet == 0)
        err << "vennrick: " << sample.excluded << (sample.excluded == 1 ? " p-value" : " p-values")
            << " not in (0, 1] or not a number, left out of the QQ plot and lambda\n";
    const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
    MedianGathering gathering = startGathering(sample);
    std::vector<PixelDot> dots = qqDots(values, sample, axes, &gathering);
    const std::optional<double> lambda = inflationFactor(values, sample, std::move(gathering));
    const Figure figure = layoutQq(sample.usable, axes, std::move(dots), lambda, title, settings.font1, settings.font2);
    const std::string qqfile = settings.Outname + ".qq.jpg";
    if (!saveJpeg(renderFigure(figure), qqfile)) return Fatal{"", "cannot write the image file '" + qqfile + "'"};
    out << "Genomic inflation factor lambda = " << formatLambda(lambda) << "\n";
    return std::nullopt;
}

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
    PlotLayout& layout = std::get<PlotLayout>(layoutOutcome);

    // The hit file is completed and closed first: a hit file that cannot be written (a full disk) stops the
    // run before an image is made, and an image that cannot be written leaves a complete hit file.
    if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) return closeFailed;
    if (collectsHitRows(settings))
        if (std::optional<Fatal> failed = leadLociStage(read, layout, err)) return failed;

    const std::string imagefile = settings.Outname + ".jpg";
    const bool saved = saveJpeg(renderPlot(layout, read.data, threads), imagefile);
    std::optional<Fatal> qqFailed;
    if (saved && settings.qqyes == 1)
        qqFailed = writeQqPlot(read.data.Value_list, settings, layout.title.text, out, err);
    read.data = PlotData{};
    if (!saved) return Fatal{"", "cannot write the image file '" + imagefile + "'"};
    return qqFailed;
}

}  // namespace vennrick
