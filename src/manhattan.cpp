#include "manhattan.h"

#include <unistd.h>

#include <utility>

#include "figure_renderer.h"
#include "plot_layout.h"
#include "plot_renderer.h"
#include "qq_layout.h"
#include "qq_stats.h"
#include "settings.h"
#include "table_reader.h"

namespace vennrick {
namespace {

// With -qq yes: the QQ plot of the kept values as Outname + ".qq.jpg", then the lambda line. Values that take
// no part are counted on err. Two passes over the values: the sample, then the points' pixel rows, which also
// gathers the candidates for lambda's median.
std::optional<Fatal> writeQqPlot(const std::vector<double>& values, const PlotSettings& settings,
                                 const std::string& title, std::ostream& out, std::ostream& err) {
    const QqSample sample = sampleValues(values);
    if (sample.excluded > 0)
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

}  // namespace

std::optional<Fatal> manhattan(const SwitchList& Switches, std::ostream& out, std::ostream& err) {
    Outcome<PlotSettings> settingsOutcome = readSettings(Switches, out);
    if (auto* fatal = std::get_if<Fatal>(&settingsOutcome)) return *fatal;
    const PlotSettings& settings = std::get<PlotSettings>(settingsOutcome);

    if (std::optional<Fatal> refused = refuseOverwritingData(settings)) return refused;

    ReadOptions options;
    options.showProgress = isatty(STDERR_FILENO) == 1;
    Outcome<TableRead> readOutcome = readTable(settings, out, err, options);
    if (auto* fatal = std::get_if<Fatal>(&readOutcome)) return *fatal;
    TableRead& read = std::get<TableRead>(readOutcome);

    Outcome<PlotLayout> layoutOutcome = layoutPlot(read.data, settings);
    if (auto* fatal = std::get_if<Fatal>(&layoutOutcome)) {
        // What was written so far reaches the disk; a failure to write it is reported too.
        if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) fatal->detail = closeFailed->detail;
        return *fatal;
    }
    const PlotLayout& layout = std::get<PlotLayout>(layoutOutcome);

    // The hit file is completed and closed first: a hit file that cannot be written (a full disk) stops the
    // run before an image is made, and an image that cannot be written leaves a complete hit file.
    if (std::optional<Fatal> closeFailed = closeHitFile(read.hits)) return closeFailed;

    const std::string imagefile = settings.Outname + ".jpg";
    const bool saved = saveJpeg(renderPlot(layout, read.data), imagefile);
    std::optional<Fatal> qqFailed;
    if (saved && settings.qqyes == 1)
        qqFailed = writeQqPlot(read.data.Value_list, settings, layout.title.text, out, err);
    read.data = PlotData{};
    if (!saved) return Fatal{"", "cannot write the image file '" + imagefile + "'"};
    return qqFailed;
}

}  // namespace vennrick
