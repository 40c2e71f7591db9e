// The manhattan mode's stages in order: settings, reading, layout, painting, image files.
#include "run/manhattan.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

#include "classic/classic_figure.h"
#include "reading/read_summary.h"
#include "settings/warnings.h"
#include "figure/figure_labels.h"
#include "figure/figure_renderer.h"
#include "figure/qq_geometry.h"
#include "analysis/lead_loci.h"
#include "output/image_writer.h"
#include "paper/paper_layout.h"
#include "paper/paper_qq.h"
#include "base/parallel.h"
#include "classic/classic_labels.h"
#include "classic/plot_layout.h"
#include "classic/plot_renderer.h"
#include "classic/qq_layout.h"
#include "analysis/qq_stats.h"
#include "settings/settings.h"
#include "reading/table_reader.h"
#include "region/region_stage.h"
#include "base/thread_count.h"
#include "output/png_writer.h"
#include "base/write_all.h"
#include "page/report_page.h"

namespace vennrick {
namespace {

// Milliseconds of wall time since a stage began, each stage added to the run's record as it ends.
struct StageClock {
    RunRecord& record;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    void end(const char* stage) {
        const auto now = std::chrono::steady_clock::now();
        record.stages.emplace_back(stage, std::chrono::duration<double, std::milli>(now - start).count());
        start = now;
    }
};

// An image that could not be written, with the system's reason when there is one (a full disk, a folder in
// its place); an image the toolkit could not encode has none.
Fatal imageWriteFailure(const std::string& path) {
    const int error = errno;
    return Fatal{"", "cannot write the image file '" + path + "'" + (error != 0 ? std::string(": ") + std::strerror(error) : "")};
}

// Whether the picture is the documented classic one, painted by the classic renderer: the classic style as an
// 800 x 533 raster at 96 dpi. Every other picture is a figure of the figure model.
bool documentedPicture(const PlotSettings& s) {
    return s.style == FigureStyle::classic && s.imagesize.width == kCanvasWidth &&
           s.imagesize.height == kCanvasHeight && s.dpi == kDefaultDpi &&
           (s.imagetype == ImageType::jpg || s.imagetype == ImageType::png);
}

// The Manhattan picture, laid out: the documented classic picture for the classic renderer, or a figure.
struct ManhattanPicture {
    bool documented = false;         // the classic renderer paints layout
    std::optional<PlotLayout> layout;  // the classic style's geometry
    std::optional<PaperPlot> paper;    // the paper style's geometry (its figure moved to figure)
    Figure figure;                     // any picture but the documented one
};

// Fewer than two kept rows stop the run here, before the hit file is closed.
Outcome<ManhattanPicture> layoutManhattan(PlotData& data, const PlotSettings& settings, unsigned threads) {
    ManhattanPicture picture;
    if (settings.style == FigureStyle::paper) {
        Outcome<PaperPlot> paper = layoutPaper(data, settings, threads);
        if (auto* fatal = std::get_if<Fatal>(&paper)) return *fatal;
        picture.paper = std::move(std::get<PaperPlot>(paper));
        picture.figure = std::move(picture.paper->figure);
        return picture;
    }
    // With -highlight the documented picture's geometry is painted on the figure model, which takes the layer.
    const bool documentedSize = documentedPicture(settings);
    picture.documented = documentedSize && settings.highlightFile.empty();
    const ClassicFrame frame = documentedSize ? ClassicFrame{}
                                                  : classicFrame(settings.imagesize.width, settings.imagesize.height,
                                                                 settings.dpi);
    // -ymax caps the classic axis beyond the documented picture only: that picture stays as documented.
    PlotSettings laidOut = settings;
    if (documentedSize) laidOut.ymax = 0;
    Outcome<PlotLayout> layout = rewritePositionsAndLayOut(data, laidOut, threads, frame);
    if (auto* fatal = std::get_if<Fatal>(&layout)) return *fatal;
    picture.layout = std::move(std::get<PlotLayout>(layout));
    if (!picture.documented) picture.figure = classicFigure(*picture.layout, data, settings.dpi, threads);
    return picture;
}

// With -highlight: the points it names as a layer over the others of the Manhattan figure.
void highlightPicture(ManhattanPicture& picture, const TableRead& read) {
    if (read.highlighted.empty() || picture.documented) return;
    std::vector<PixelDot> dots;
    for (const HighlightMatch& m : read.highlighted) {
        const std::optional<Pixel> at = picture.paper ? paperPointOfRow(*picture.paper, read.data, m.row)
                                                      : pointOfRow(*picture.layout, read.data, m.row);
        if (at) dots.push_back(PixelDot{at->x, at->y});
    }
    addHighlightLayer(picture.figure, std::move(dots));
}

// Names the strongest lead loci on the picture, in its style; returns how many were placed.
size_t labelPicture(ManhattanPicture& picture, const LeadLoci& leads, const TableRead& read) {
    const PlotSettings& settings = read.settings;
    if (picture.documented) {
        LabelPlan plan = labelPeaks(leads, read.hitRows, *picture.layout, read.data, settings.labels,
                                    labelFont(settings.font2));
        picture.layout->peakLabels = std::move(plan.boxes);
        picture.layout->leaderLines = std::move(plan.leaders);
        return picture.layout->peakLabels.size();
    }
    if (picture.paper) {
        const auto pointAt = [&](int64_t row) { return paperPointOfRow(*picture.paper, read.data, row); };
        const LabelScene scene =
            labelScene(leads, read.hitRows, pointAt, picture.paper->labelArea, picture.paper->hitReach);
        return labelFigure(picture.figure, leads, read.hitRows, settings.labels, pointAt, kPaperFont,
                           paperFontPoints(settings.font2, 10, settings), &scene);
    }
    const auto pointAt = [&](int64_t row) { return pointOfRow(*picture.layout, read.data, row); };
    const LabelScene scene = labelScene(leads, read.hitRows, pointAt, classicLabelArea(*picture.layout),
                                        classicHitReach(*picture.layout));
    return labelFigure(picture.figure, leads, read.hitRows, settings.labels, pointAt, "Calibri", settings.font2,
                       &scene);
}

// The QQ plot of -qq yes, made in memory: its file's bytes and what the run reports of it.
struct QqPlot {
    std::string excludedLine;      // the values left out, for err; empty when none is or the run is quiet
    std::optional<double> lambda;
    int64_t usable = 0;
    bool encoded = false;          // bytes hold the image file
    QByteArray bytes;
    QByteArray pagePng;            // the plot as a PNG for the report page, when one is asked for
};

// The QQ plot of the kept values and lambda. Values that take no part are counted in excludedLine. Two passes
// over the values: the sample, then the points' pixel rows, which also gathers the candidates for lambda's
// median. It reads the values and the settings only, so it can be made while the Manhattan plot is painted.
// With cap, the suggestion of a cap is looked for in the first pass and handed over as soon as it is known.
QqPlot makeQqPlot(ValueView values, const PlotSettings& settings, unsigned threads, bool forPage,
                  std::promise<std::optional<CapSuggestion>>* cap, const std::vector<HighlightMatch>& highlighted) {
    QqPlot made;
    StrongestValues strongest(cap != nullptr ? values.size() : 0);
    const QqSample sample = cap != nullptr ? sampleValues(values, strongest) : sampleValues(values);
    if (cap != nullptr) cap->set_value(suggestCap(std::move(strongest)));
    if (sample.excluded > 0 && settings.quiet == 0)
        made.excludedLine = "vennrick: " + std::to_string(sample.excluded) + (sample.excluded == 1 ? " p-value" : " p-values") +
                            " not in (0, 1] or not a number, left out of the QQ plot and lambda\n";
    const std::string title = settings.style == FigureStyle::paper ? paperTitle(settings) : plotTitle(settings);
    const bool paper = settings.style == FigureStyle::paper;
    const QqFrame frame = documentedPicture(settings) ? QqFrame{} : qqFrame(settings.imagesize.height, settings.dpi);
    const PaperQq geometry = paper ? paperQqGeometry(sample.maxValue, sample.usable, title, settings) : PaperQq{};
    const QqAxes axes = paper ? geometry.axes : qqAxes(sample.maxValue, sample.usable, frame, settings.ymax);
    MedianGathering gathering = startGathering(sample);
    std::vector<int> capped;
    std::vector<PixelDot> dots = qqDots(values, sample, axes, &gathering, &capped);
    made.lambda = inflationFactor(values, sample, std::move(gathering));
    made.usable = sample.usable;
    Figure figure =
        paper ? layoutPaperQq(geometry, sample.usable, std::move(dots), made.lambda, title, settings, capped)
              : layoutQq(sample.usable, axes, std::move(dots), made.lambda, title, settings.font1, settings.font2, frame,
                         settings.dpi, capped);
    if (!highlighted.empty()) {
        std::vector<int64_t> rows;
        for (const HighlightMatch& m : highlighted) rows.push_back(m.row);
        addHighlightLayer(figure, qqHighlightDots(values, sample, axes, rows));
    }
    made.encoded = encodeFigure(figure, settings.imagetype, made.bytes, threads);
    if (forPage)  // the report page shows the plot as a PNG, whatever the image type
        made.pagePng = settings.imagetype == ImageType::png ? made.bytes : encodePng(renderFigure(figure, threads), threads);
    return made;
}

// The QQ plot written as Outname + ".qq." + the image extension, then the lambda line.
std::optional<Fatal> writeQqPlot(const QqPlot& made, const PlotSettings& settings, std::ostream& out,
                                 std::ostream& err, PageRun* page, RunRecord& record) {
    err << made.excludedLine;
    record.qqDone = true;
    record.lambda = made.lambda;
    record.pValuesUsed = made.usable;
    const std::string qqfile = qqImageFileName(settings);
    errno = 0;
    if (!made.encoded || !writeWholeFile(qqfile, made.bytes.constData(), static_cast<size_t>(made.bytes.size())))
        return imageWriteFailure(qqfile);
    record.files.emplace_back("qq", qqfile);
    out << "Genomic inflation factor lambda = " << formatLambda(made.lambda) << "\n";
    if (page != nullptr) {
        page->lambda = formatLambda(made.lambda);
        page->qqPng.assign(made.pagePng.constData(), static_cast<size_t>(made.pagePng.size()));
    }
    return std::nullopt;
}

// The lead loci of the hits: written to Outname + ".leads" with -leads yes, named on the plot with -labels N.
std::optional<Fatal> leadLociStage(const TableRead& read, const LeadLoci& leads, ManhattanPicture& picture,
                                   std::ostream& err, RunRecord& record) {
    const PlotSettings& settings = read.settings;
    std::vector<std::string> report;
    if (settings.leadsyes == 1) {
        const std::string path = settings.Outname + ".leads";
        if (std::optional<Fatal> failed = writeLeadsFile(path, leads, read.hitRows, read.data, settings.logpyes == 1))
            return failed;
        record.files.emplace_back("leads", path);
        if (record.reportPath) {
            record.leadsDone = true;
            record.leadLoci = leads.loci.size();
            record.leadHits = read.hitRows.records.size();
            record.leadWindow = settings.leadwindow;
            record.topLeads = topLeads(leads, read.hitRows, read.data, settings.logpyes == 1);
        }
        report.push_back(leadsSummary(read.hitRows.records.size(), leads.loci.size(), settings.leadwindow, path));
    }
    if (settings.labels > 0)
        report.push_back(labelReport(settings.labels, leads.loci.size(), labelPicture(picture, leads, read)));
    report.erase(std::remove(report.begin(), report.end(), std::string()), report.end());
    if (settings.quiet == 0) printLines(err, report);
    return std::nullopt;
}

// With -html yes: the report page, Outname + ".html", written whole.
std::optional<Fatal> writeReportPage(PageRun& page, const TableRead& read, const LeadLoci& leads, std::ostream& err,
                                     RunRecord& record) {
    const PlotSettings& settings = read.settings;
    page.settings = &settings;
    page.summary = &read.summary;
    page.kept = read.data.maxX;
    if (settings.leadsyes == 1) {
        page.leads = &leads;
        page.hitRows = &read.hitRows;
        for (const Locus& locus : leads.loci)
            page.leadValues.push_back(read.data.Value_list[static_cast<size_t>(read.hitRows.records[locus.lead].row)]);
    }
    const std::string html = pageHtml(pageData(page));
    const std::string path = pageFileName(settings);
    if (std::optional<Fatal> failed = writePage(path, html)) return failed;
    record.files.emplace_back("page", path);
    if (settings.quiet == 0)
        printLines(err, {"report page written to '" + path + "' (" + std::to_string((html.size() + 1023) / 1024) + " KB)"});
    return std::nullopt;
}

}  // namespace

std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err, RunRecord& record) {
    StageClock clock{record};
    Outcome<PlotSettings> settingsOutcome = readSettings(Switches, out);
    if (auto* fatal = std::get_if<Fatal>(&settingsOutcome)) return *fatal;
    const PlotSettings& given = std::get<PlotSettings>(settingsOutcome);
    if (given.quiet == 0) printLines(err, settingsWarnings(Switches, given));

    if (std::optional<Fatal> refused = refuseOverwritingData(given)) return refused;
    // From here on a run that asks for a report gets one, also when it fails: its command line was accepted.
    if (given.reportJson) record.reportPath = reportFileName(given);
    record.inputPath = given.Filename;
    clock.end("settings");

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
        runInParallel(2, [&](unsigned part) {
            if (part == 1) return readData();
            preparePainting(given.font1, given.font2);
            prepareImageType(ImageType::jpg);
        });
    } else {
        readData();
    }
    clock.end("read");
    if (auto* fatal = std::get_if<Fatal>(&*readOutcome)) return *fatal;
    TableRead& read = std::get<TableRead>(*readOutcome);
    const PlotSettings& settings = read.settings;  // with -names yes, the columns found in the header
    if (settings.quiet == 0) printLines(err, summaryLines(read.summary, read.data, settings));
    if (record.reportPath) {
        record.tableOpened = record.tableRead = true;
        record.compression = read.compression;
        record.delimGiven = lookupSwitch(Switches, "-delim").has_value();
        record.given = given;
        record.used = settings;
        record.headerLine = read.headerLine;
        record.summary = read.summary;
        record.kept = read.data.maxX;
        if (read.data.maxX > 0) record.maxLog10p = read.data.maxY;
    }
    if (settings.quiet == 0 && read.highlightMissing > 0)
        printLines(err, {"-highlight: " + std::to_string(read.highlightMissing) + " of " +
                         std::to_string(read.highlightEntries) + " listed variants match no plotted row"});
    // Like the QQ plot below, the suggestion of a cap reads only the values: it is looked for while the plot is
    // laid out, and printed where it always was, before anything the layout leads to.
    // With the QQ plot made on a thread of its own, the suggestion comes from the QQ plot's first pass.
    const std::launch aside = threads > 1 ? std::launch::async : std::launch::deferred;
    const bool qqPlot = settings.qqyes == 1 && read.data.maxX >= 2;
    const bool capWanted =
        settings.quiet == 0 && settings.ymax == 0 && (settings.style == FigureStyle::paper || settings.qqyes == 1);
    const bool capFromQq = capWanted && qqPlot && threads > 1;
    std::promise<std::optional<CapSuggestion>> qqCap;
    std::future<std::optional<CapSuggestion>> cap;
    if (capFromQq) cap = qqCap.get_future();
    else if (capWanted) cap = std::async(aside, [&] { return suggestCap(read.data.Value_list); });

    // The report page's plot is taken from the positions as read: the layout below rewrites them.
    PageRun page;
    if (settings.htmlyes == 1 && read.data.maxX >= 2) {
        page.plotJson = pagePlotData(read.data, read.strongest, settings, threads);
        page.chromosomeNames = pageChromosomes(read.data);
        read.strongest = HitRows{};
    }

    // The QQ plot reads only the values: with more than one thread it is made on a thread of its own while the
    // Manhattan plot is laid out, labelled and painted, and written after it as before.
    std::future<QqPlot> qqMade;
    if (qqPlot)
        qqMade = std::async(aside, [&] {
            return makeQqPlot(read.data.Value_list, settings, threads, settings.htmlyes == 1, capFromQq ? &qqCap : nullptr,
                              read.highlighted);
        });

    Outcome<ManhattanPicture> pictureOutcome = layoutManhattan(read.data, settings, threads);
    if (cap.valid())
        if (const std::optional<CapSuggestion> suggestion = cap.get()) printLines(err, {capSuggestionLine(*suggestion)});
    if (auto* fatal = std::get_if<Fatal>(&pictureOutcome)) {
        // What was written so far reaches the disk; a failure to write it is reported too.
        if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) {
            fatal->detail = closeFailed->detail;
        } else if (read.data.maxX < 2) {
            fatal->detail = whyTooFewRows(read.summary, settings);
        }
        return *fatal;
    }
    ManhattanPicture& picture = std::get<ManhattanPicture>(pictureOutcome);
    highlightPicture(picture, read);
    clock.end("layout");

    // The hit file is completed and closed first: a hit file that cannot be written (a full disk) stops the
    // run before an image is made, and an image that cannot be written leaves a complete hit file.
    if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) return closeFailed;
    record.files.emplace_back("hits", settings.Outname);
    const LeadLoci leads =
        collectsHitRows(settings) ? findLeadLoci(read.hitRows, read.data, settings.leadwindow) : LeadLoci{};
    if (collectsHitRows(settings)) {
        if (std::optional<Fatal> failed = leadLociStage(read, leads, picture, err, record)) return failed;
        clock.end("lead loci");
    }
    // The regional plots are planned while the plot data is at hand, their inputs (r2 and genes) read aside while the
    // run's images are written, and drawn after them.
    const std::vector<Region> regions = planRunRegions(read);
    std::future<RegionInputs> regionInputs;
    if (!regions.empty())
        regionInputs = std::async(aside, [&] { return readRegionInputs(regions, read.regionRows, settings); });

    const std::string imagefile = imageFileName(settings);
    errno = 0;
    const bool saved = picture.documented
                           ? saveImage(renderPlot(*picture.layout, read.data, threads), settings.imagetype, imagefile, threads)
                           : saveFigure(picture.figure, settings.imagetype, imagefile, threads);
    if (saved) record.files.emplace_back("manhattan", imagefile);
    clock.end("manhattan image");
    std::optional<Fatal> qqFailed;
    page.commandLine = record.commandLine;
    PageRun* forPage = settings.htmlyes == 1 ? &page : nullptr;
    if (saved && settings.qqyes == 1) {
        qqFailed = writeQqPlot(qqMade.get(), settings, out, err, forPage, record);
        clock.end("qq image");
    }
    if (saved && !qqFailed && forPage != nullptr) {
        qqFailed = writeReportPage(page, read, leads, err, record);
        clock.end("page");
    }
    qqMade = std::future<QqPlot>();  // a QQ plot not written (no Manhattan image) is still reading the values: awaited
    read.data = PlotData{};
    if (!saved) return imageWriteFailure(imagefile);
    if (qqFailed || regions.empty()) return qqFailed;
    std::optional<Fatal> regionsFailed = drawRegions(
        regions, read.regionRows, regionInputs.get(), settings,
        [&](const Figure& figure, const std::string& path) {
            const bool written = saveFigure(figure, settings.imagetype, path, threads);
            if (written) record.files.emplace_back("region", path);
            return written;
        },
        err);
    clock.end("regional plots");
    return regionsFailed;
}

}  // namespace vennrick
