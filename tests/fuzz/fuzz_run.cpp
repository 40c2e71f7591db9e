// The whole run on small inputs: settings, reading, the kept-row gate, the plot geometry and the painting.
// Checks that the geometry hands the painter only coordinates that come from finite doubles, and that the
// rewritten positions and the points keep their documented counts and ranges. With -html yes the report page's
// data, and with -report json the run report, must be JSON whatever the table holds, and the page's data must
// hold no "<" that could end its script element.

#include <QFont>
#include <nlohmann/json.hpp>

#include "fuzz_support.h"
#include "analysis/lead_loci.h"
#include "classic/classic_labels.h"
#include "figure/offscreen.h"
#include "classic/plot_layout.h"
#include "figure/figure_renderer.h"
#include "figure/figure_labels.h"
#include "paper/paper_layout.h"
#include "classic/plot_renderer.h"
#include "classic/qq_layout.h"
#include "analysis/qq_stats.h"
#include "settings/settings.h"
#include "reading/table_reader.h"
#include "page/report_page.h"
#include "report/run_report.h"

using namespace vennrick;
using vennrick::fuzz::require;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static const auto application = startOffscreenPainting(*argc, *argv);
    return 0;
}

namespace {

// The loci take every hit once; the labels asked for are placed or counted (their rules are checked on random
// peaks by the unit tests) and go on the layout.
void checkLeadLoci(const TableRead& read, PlotLayout& layout, const PlotData& data) {
    const LeadLoci leads = findLeadLoci(read.hitRows, data, read.settings.leadwindow);
    uint64_t taken = 0;
    for (const Locus& locus : leads.loci) taken += locus.hits;
    require(taken == read.hitRows.records.size(), "every hit in one locus");
    const LabelPlan plan =
        labelPeaks(leads, read.hitRows, layout, data, read.settings.labels, labelFont(read.settings.font2));
    require(plan.boxes.size() + static_cast<size_t>(plan.leftOut) ==
                std::min(leads.loci.size(), static_cast<size_t>(read.settings.labels)),
            "every label asked for is placed or counted as left out");
    layout.peakLabels = plan.boxes;
    layout.leaderLines = plan.leaders;
}

// The report page's data and the run report, made as the run makes them from the rows as read.
void checkPageAndReport(const SwitchList& switches, const TableRead& read, const PlotData& asRead) {
    const PlotSettings& settings = read.settings;
    if (settings.htmlyes == 1 && asRead.maxX >= 2) {
        PageRun page;
        page.settings = &settings;
        page.summary = &read.summary;
        page.kept = asRead.maxX;
        page.plotJson = pagePlotData(asRead, read.strongest, settings);
        page.chromosomeNames = pageChromosomes(asRead);
        page.commandLine = switches;
        const std::string json = pageData(page);
        require(nlohmann::json::accept(json), "the page's data is JSON");
        require(json.find('<') == std::string::npos, "the page's data holds no '<'");
        const nlohmann::json parsed = nlohmann::json::parse(json);
        require(parsed.at("pointsShown").get<int64_t>() == static_cast<int64_t>(parsed.at("points").at("id").size()) &&
                    parsed.at("hitsShown").get<uint64_t>() <= read.summary.counts.hits,
                "the page counts the points it draws and the hits among them");
        require(pageHtml(json).find(json) != std::string::npos, "the page holds its data whole");
    }
    if (settings.reportJson) {
        RunRecord record;
        record.commandLine = switches;
        record.tableOpened = record.tableRead = true;
        record.compression = read.compression;
        record.given = record.used = settings;
        record.headerLine = read.headerLine;
        record.summary = read.summary;
        record.kept = asRead.maxX;
        if (asRead.maxX > 0) record.maxLog10p = asRead.maxY;
        require(nlohmann::json::accept(reportText(record, std::nullopt, 0, 1.0)), "the run report is JSON");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // small tables: the painting dominates every run
    FuzzedDataProvider in(data, size);
    static const char* const kChroms[] = {"1-23", "1-22;X", "X", "1", "0-2147483647"};
    const test::ScratchDir& dir = fuzz::scratch();
    SwitchList switches{"-file", dir.file("run-data"), "-out", dir.file("run-hits")};
    auto add = [&](const char* name, std::string value) { switches.insert(switches.end(), {name, std::move(value)}); };
    // Columns 1, 2, 3 usually; sometimes any positive 32-bit number.
    auto column = [&](int32_t usual) { return std::to_string(std::max(fuzz::smallOrAny(in, usual, usual), 1)); };
    add("-column", column(2));
    add("-idcolumn", column(1));
    const bool positions = in.ConsumeBool();
    if (positions) add("-poscolumn", column(3));
    if (in.ConsumeBool()) add("-posrange", std::to_string(in.ConsumeIntegral<int32_t>()) + ":" +
                                               std::to_string(in.ConsumeIntegral<int32_t>()));
    add("-chr", in.PickValueInArray(kChroms));
    add("-div", std::to_string(fuzz::smallOrAny(in, 0, 100)));
    add("-threshold", std::to_string(in.ConsumeFloatingPoint<float>()));
    add("-xnum", std::to_string(fuzz::smallOrAny(in, -1, 3)));
    add("-ynum", std::to_string(fuzz::smallOrAny(in, -1, 3)));
    add("-font1", std::to_string(fuzz::smallOrAny(in, -2, 40)));
    add("-font2", std::to_string(fuzz::smallOrAny(in, -2, 40)));
    if (in.ConsumeBool()) add("-logp", "yes");
    if (in.ConsumeBool()) add("-delim", "whitespace");
    if (positions && in.ConsumeBool()) {  // lead loci and their labels
        add("-leads", "yes");
        add("-labels", std::to_string(std::max(fuzz::smallOrAny(in, 0, 30), 0)));
        add("-leadwindow", std::to_string(std::max(fuzz::smallOrAny(in, 0, 1000), 0)));
        if (in.ConsumeBool()) add("-snpcolumn", column(4));
        if (in.ConsumeBool()) add("-labelcolumn", column(5));
    }
    if (in.ConsumeBool()) {  // a list of variants to highlight, IDs and places
        add("-highlight", dir.file("run-highlight"));
        if (!positions) add("-snpcolumn", column(3));
        test::writeFile(dir.file("run-highlight"), in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 64)) +
                                                       "\n1:1\n1:100\nchr2:5\nrs1\n");
    }
    if (in.ConsumeBool()) add("-html", "yes");
    if (in.ConsumeBool()) add("-report", "json");
    test::writeFile(dir.file("run-data"), in.ConsumeRemainingBytesAsString());

    std::ostringstream out, err;
    Outcome<PlotSettings> settingsOutcome = readSettings(switches, out);
    require(std::holds_alternative<PlotSettings>(settingsOutcome), "generated settings are valid");
    const PlotSettings& settings = std::get<PlotSettings>(settingsOutcome);
    Outcome<TableRead> readOutcome = readTable(settings, out, err, ReadOptions{});
    if (std::holds_alternative<Fatal>(readOutcome)) return 0;
    TableRead& read = std::get<TableRead>(readOutcome);
    closeHitFile(read.hits);
    PlotData& plotData = read.data;
    const PlotData asRead = plotData;
    for (size_t k = 0; k < read.highlighted.size(); ++k)
        require(read.highlighted[k].row >= 0 && read.highlighted[k].row < asRead.maxX &&
                    (k == 0 || read.highlighted[k].row > read.highlighted[k - 1].row) &&
                    read.highlighted[k].entry >= 0 && read.highlighted[k].entry < read.highlightEntries,
                "highlighted rows are kept rows, in row order, each naming an entry of the list");
    require(read.highlightMissing >= 0 && read.highlightMissing <= read.highlightEntries, "missing entries are counted once");

    checkPageAndReport(switches, read, asRead);

    Outcome<PlotLayout> layoutOutcome = rewritePositionsAndLayOut(plotData, settings);
    if (const Fatal* fatal = std::get_if<Fatal>(&layoutOutcome)) {
        require(asRead.maxX < 2 && fatal->message == "Illegal range selected\n", "only too few rows stop the plot");
        return 0;
    }
    require(asRead.maxX >= 2, "the gate stops fewer than two rows");
    PlotLayout& layout = std::get<PlotLayout>(layoutOutcome);
    require(layout.N == asRead.maxX && plotData.Value_list.size() == asRead.Value_list.size(), "N is the row count");
    require(plotData.Pos_list.size() == asRead.Pos_list.size(), "positions are rewritten in place");
    require(layout.ytick >= 1, "the tick step is at least 1");
    // By position, the last row lands on N: every row is scaled by the same last cumulative position.
    require(!layout.byPosition || plotData.Pos_list.back() == layout.N, "the last rewritten position is N");

    const int64_t expected = std::count_if(plotData.Value_list.begin(), plotData.Value_list.end(),
                                           [&](double v) { return std::isfinite(pixelY(v, layout.minY, layout.pixPerY)); });
    int64_t visited = 0;
    forEachPoint(layout, plotData, [&](int x, int y, PointStyle) {
        require(std::abs(x) <= kFarPixel && std::abs(y) <= kFarPixel, "point coordinates are clamped");
        ++visited;
    });
    require(visited == expected, "exactly the points with a finite place are drawn");
    for (const Tick& tick : layout.ticks) require(std::isfinite(tick.value), "tick values are finite");

    if (collectsHitRows(settings)) checkLeadLoci(read, layout, plotData);
    QImage image = renderPlot(layout, plotData, 1 + (size & 1));
    require(image.width() == 800 && image.height() == 533, "the canvas is 800 x 533");

    // The paper figure of the same rows on a small canvas: its labels apart, its dots on the canvas.
    PlotSettings paper = settings;
    paper.style = FigureStyle::paper;
    paper.imagesize = ImageSize{100 + static_cast<int32_t>(size % 300), 100 + static_cast<int32_t>(size * 7 % 200)};
    paper.dpi = kMinDpi + static_cast<int32_t>(size * 13 % 400);
    paper.suggestive = static_cast<double>(size % 9);
    PaperPlot plot = std::get<PaperPlot>(layoutPaper(asRead, paper, 1 + (size & 1)));
    if (collectsHitRows(settings)) {
        const LeadLoci leads = findLeadLoci(read.hitRows, asRead, settings.leadwindow);
        const size_t placed = labelFigure(plot.figure, leads, read.hitRows, settings.labels,
                                          [&](int64_t row) { return paperPointOfRow(plot, asRead, row); }, kPaperFont, 10);
        require(placed <= std::min(leads.loci.size(), static_cast<size_t>(settings.labels)), "no more labels than asked");
    }
    for (size_t a = 0; a < plot.labels.size(); ++a)
        for (size_t b = a + 1; b < plot.labels.size(); ++b) {
            const FigureRect &p = plot.labels[a].box, &q = plot.labels[b].box;
            require(plot.labels[a].row != plot.labels[b].row || p.left + p.width <= q.left || q.left + q.width <= p.left,
                    "labels of one row never overlap");
        }
    for (const PointLayer& layer : plot.figure.points)
        for (const PixelDot& d : layer.dots)
            require(d.x >= 0 && d.y >= 0 && d.x < paper.imagesize.width && d.y < paper.imagesize.height, "paper dots on the canvas");
    require(renderFigure(plot.figure).width() == paper.imagesize.width, "the paper canvas has the size asked for");

    // The QQ plot of the same values: every value counted once, lambda only from two usable values on, and
    // every point inside the plot area.
    const QqSample sample = sampleValues(plotData.Value_list);
    require(sample.usable + sample.excluded == layout.N, "every value is usable or excluded");
    const std::optional<double> lambda = inflationFactor(plotData.Value_list, sample);
    require(lambda.has_value() == (sample.usable >= 2) && (!lambda || *lambda >= 0), "lambda from two values on");
    const QqAxes axes = qqAxes(sample.maxValue, sample.usable);
    const Figure qq = layoutQq(sample.usable, axes, qqDots(plotData.Value_list, sample, axes), lambda,
                               layout.title.text, settings.font1, settings.font2);
    require(static_cast<int64_t>(qq.points.at(0).dots.size()) <= sample.usable, "at most one pixel per value");
    for (const PixelDot& d : qq.points[0].dots)
        require(d.x >= 70 && d.x <= 484 && d.y >= 59 && d.y <= 473, "QQ points lie in the plot area");
    require(renderFigure(qq).size() == QSize(533, 533), "the QQ canvas is 533 x 533");
    std::vector<int64_t> highlightedRows;
    for (const HighlightMatch& m : read.highlighted) highlightedRows.push_back(m.row);
    for (const PixelDot& d : qqHighlightDots(plotData.Value_list, sample, axes, highlightedRows))
        require(d.x >= 70 && d.x <= 484 && d.y >= 59 && d.y <= 473, "highlighted QQ points lie in the plot area");
    return 0;
}
