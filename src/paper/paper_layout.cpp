// The paper Manhattan figure: chromosome extents and places, labels, the axis, guide lines and points.
#include "paper/paper_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "figure/dot_grid.h"

#include "figure/text_metrics.h"

namespace vennrick {
namespace {

const char kXTitle[] = "Chromosome";

// The positions a chromosome's rows span: by position, the smallest and largest; by row order, the rows' ranks
// within the chromosome.
struct Extent {
    int64_t low = 0, high = 0;
};

// The first row of every run, and one past the last row at the end.
std::vector<int64_t> runFirstRows(const std::vector<IdRun>& runs) {
    std::vector<int64_t> first(runs.size() + 1, 0);
    for (size_t r = 0; r < runs.size(); ++r) first[r + 1] = first[r] + std::max<int64_t>(runs[r].count, 0);
    return first;
}

std::vector<Extent> positionExtents(const PlotData& data, const ChromosomeOrder& order,
                                    const std::vector<int64_t>& runFirst) {
    std::vector<Extent> extents(order.chromosomes.size(),
                                Extent{std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()});
    const int32_t* positions = data.Pos_list.data();
    for (size_t r = 0; r < data.ID_list.size(); ++r) {
        int32_t low = std::numeric_limits<int32_t>::max(), high = std::numeric_limits<int32_t>::min();
        for (int64_t i = runFirst[r], end = runFirst[r + 1]; i < end; ++i)
            low = std::min(low, positions[i]), high = std::max(high, positions[i]);
        Extent& e = extents[order.ofRun[r]];
        if (runFirst[r + 1] > runFirst[r]) e.low = std::min<int64_t>(e.low, low), e.high = std::max<int64_t>(e.high, high);
    }
    for (Extent& e : extents)
        if (e.low > e.high) e = Extent{};  // a chromosome without rows
    return extents;
}

// Ranks by row order: each run's first rank within its chromosome.
std::vector<int64_t> runRanks(const std::vector<IdRun>& runs, const ChromosomeOrder& order) {
    std::vector<int64_t> seen(order.chromosomes.size(), 0), rank(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        rank[r] = seen[order.ofRun[r]];
        seen[order.ofRun[r]] += std::max<int64_t>(runs[r].count, 0);
    }
    return rank;
}

// The largest finite value, when there is one.
double largestValue(const PlotData& data) {
    if (std::isfinite(data.maxY)) return data.maxY;
    double largest = -std::numeric_limits<double>::infinity();
    for (double v : data.Value_list)
        if (std::isfinite(v) && v > largest) largest = v;
    return largest;
}

// Where each chromosome's rows lie along the x axis, from `from` to `to` pixels: by extent, with a gap between
// chromosomes; all chromosomes of equal width, their rows at the middle, when no extent has any length.
struct Places {
    std::vector<double> left, right;  // pixels
    std::vector<double> xAtLow;       // pixel x of each chromosome's low end
    double perUnit = 0;               // pixels per position unit
    double gap = 0;                   // pixels between two chromosomes
};

Places placeChromosomes(const std::vector<Extent>& extents, double from, double to) {
    Places places;
    const size_t n = extents.size();
    const double width = std::max(to - from, 0.0);
    if (n > 1) places.gap = std::min(kPaperGapShare * width, kPaperGapsMostShare * width / static_cast<double>(n - 1));
    double total = 0;
    for (const Extent& e : extents) total += static_cast<double>(e.high - e.low);
    const double room = width - places.gap * static_cast<double>(n > 0 ? n - 1 : 0);
    places.perUnit = total > 0 ? room / total : 0;
    double x = from;
    for (const Extent& e : extents) {
        const double span = total > 0 ? static_cast<double>(e.high - e.low) * places.perUnit : room / static_cast<double>(n);
        places.left.push_back(x);
        places.right.push_back(x + span);
        places.xAtLow.push_back(total > 0 ? x : x + span / 2);
        x += span + places.gap;
    }
    return places;
}

// Label boxes of one row, by left edge; no two overlap.
struct LabelRow {
    std::vector<std::pair<double, double>> spans;  // left, right

    bool isFree(double left, double right) const {
        auto after = std::lower_bound(spans.begin(), spans.end(), std::pair{left, left});
        if (after != spans.end() && after->first < right) return false;
        return after == spans.begin() || std::prev(after)->second <= left;
    }
    void add(double left, double right) {
        spans.insert(std::lower_bound(spans.begin(), spans.end(), std::pair{left, right}), {left, right});
    }
};

constexpr size_t kLongestLabel = 100;  // bytes of the longest chromosome name drawn as a label

// A label centred under every chromosome that has room for it: first every label that fits within its own
// chromosome and half the gaps beside it (these never meet one another), then, in order, each other label on
// the first of the two rows where it meets no label, or none. `pad` pixels are kept between labels.
std::vector<PaperLabel> placeChromosomeLabels(const ChromosomeOrder& order, const Places& places, const TextMeasure& font,
                                    double pad, double canvasWidth) {
    const size_t n = order.chromosomes.size();
    std::vector<double> width(n, -1);  // measured box widths; -1 not yet measured
    auto boxWidth = [&](size_t c) {
        // A name too long for any figure is not measured (a broken table may hold megabytes in one field).
        const std::string& id = order.chromosomes[c].shown;
        if (width[c] < 0) width[c] = id.size() > kLongestLabel ? canvasWidth + 1 : textWidth(font, id) + pad;
        return width[c];
    };
    auto centre = [&](size_t c) { return (places.left[c] + places.right[c]) / 2; };
    std::array<LabelRow, 2> rows;
    std::vector<PaperLabel> labels;
    std::vector<bool> placed(n, false);
    auto place = [&](size_t c, int row) {
        const double w = boxWidth(c), left = centre(c) - w / 2;
        rows[static_cast<size_t>(row)].add(left, left + w);
        labels.push_back(PaperLabel{c, row, FigureRect{left, 0, w, 0}});
        placed[c] = true;
    };
    for (size_t c = 0; c < n; ++c) {
        const double room = places.right[c] - places.left[c] + places.gap;
        if (room > pad && boxWidth(c) <= room) place(c, 0);
    }
    for (size_t c = 0; c < n; ++c) {
        if (placed[c]) continue;
        const double x = centre(c);
        // A label is at least pad wide: where not even that is free, there is no need to measure it.
        if (!rows[0].isFree(x - pad / 2, x + pad / 2) && !rows[1].isFree(x - pad / 2, x + pad / 2)) continue;
        const double w = boxWidth(c), left = x - w / 2, right = x + w / 2;
        if (left < 0 || right > canvasWidth) continue;
        for (int row = 0; row < 2; ++row) {
            if (!rows[static_cast<size_t>(row)].isFree(left, right)) continue;
            place(c, row);
            break;
        }
    }
    std::sort(labels.begin(), labels.end(),
              [](const PaperLabel& a, const PaperLabel& b) { return a.chromosome < b.chromosome; });
    return labels;
}

// The dots of every row, in three layers (first colour, second colour, hits), each pixel once: the first colour for
// the 1st, 3rd, ... chromosome, the second for the others.
std::vector<std::vector<PixelDot>> placePoints(const PlotData& data, const PaperPlot& plot, double threshold,
                                               unsigned threads) {
    const PaperRows& rows = plot.rows;
    const std::vector<uint32_t>& ofRun = plot.order.ofRun;
    auto add = [&, top = plot.axis.top, capped = plot.capped, zero = plot.zero, perValue = (plot.zero - plot.top) / plot.axis.top,
                values = data.Value_list.data(), positions = data.Pos_list.data()](int64_t begin, int64_t end,
                                                                                    const DotSink sink) {
        // Every value the loop reads is a local copy, which the stores into the grid cannot change. The
        // arithmetic is paperPointOfRow's.
        const double unit = rows.perUnit, hit = threshold;
        const bool byPosition = rows.byPosition;
        const std::vector<int64_t>& runFirst = rows.runFirst;
        size_t r = static_cast<size_t>(std::upper_bound(runFirst.begin(), runFirst.end(), begin) - runFirst.begin()) - 1;
        for (int64_t i = begin; i < end; ++r) {
            const size_t c = ofRun[r];
            const double xAtLow = rows.xAtLow[c];
            const int64_t low = rows.low[c], runEnd = std::min(runFirst[r + 1], end);
            const int64_t rankShift = byPosition ? 0 : rows.rankOfRun[r] - runFirst[r];
            const int layer = static_cast<int>(c % 2);
            for (; i < runEnd; ++i) {
                const double v = values[i];
                if (!(v >= 0 && v <= top)) {  // below the axis, not a number, or above a cap
                    if (capped && v > top) sink.add(3, static_cast<int>(xAtLow + static_cast<double>((byPosition ? positions[i] : i + rankShift) - low) * unit), static_cast<int>(zero - top * perValue));
                    continue;
                }
                const int64_t u = byPosition ? positions[i] : i + rankShift;
                const double x = xAtLow + static_cast<double>(u - low) * unit;
                sink.add(v >= hit ? 2 : layer, static_cast<int>(x), static_cast<int>(zero - v * perValue));
            }
        }
    };
    return gatherDots(plot.figure.width, plot.figure.height, 4, data.maxX, threads, add);
}

// The ticks of a position axis under one chromosome: round steps of 1, 2 or 5 times a power of ten Mb, 3 to 10 of
// them across the extent, labelled where the labels keep apart.
void addPositionAxis(Figure& figure, const PaperPlot& plot, const Extent& extent, double bpPerUnit,
                     const PaperMeasures& m, double axisLineY) {
    const double lowMb = static_cast<double>(extent.low) * bpPerUnit / 1e6;
    const double highMb = static_cast<double>(extent.high) * bpPerUnit / 1e6;
    const double span = std::max(highMb - lowMb, 1e-6);
    const double base = std::pow(10.0, std::floor(std::log10(span / 10)));
    double step = base;
    for (double k : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
        step = k * base;
        if (span / step <= 8) break;
    }
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    const PaperRows& rows = plot.rows;
    auto xOf = [&](double mb) {
        return rows.xAtLow[0] + (mb * 1e6 / bpPerUnit - static_cast<double>(rows.low[0])) * rows.perUnit;
    };
    const double widest = std::max(textWidth(m.axisFont, tickText(highMb, decimals)), textWidth(m.axisFont, tickText(lowMb, decimals)));
    double lastRight = -HUGE_VAL;
    for (double k = std::ceil(lowMb / step - 1e-9); k * step <= highMb + step * 1e-9; k += 1) {
        const double mb = k * step, x = xOf(mb);
        figure.lines.push_back(FigureLine{x, axisLineY, x, axisLineY + m.tick, kPaperInk, m.axisWidth});
        if (x - widest / 2 < lastRight + m.pad || x + widest / 2 > figure.width) continue;
        figure.texts.push_back(paperText(FigureRect{x - widest / 2, axisLineY + m.tick + m.pad, widest, m.line},
                                         m.axisPoints, FigureAlign::centre, tickText(mb, decimals)));
        lastRight = x + widest / 2;
    }
}

}  // namespace

Outcome<PaperPlot> layoutPaper(const PlotData& data, const PlotSettings& settings, unsigned threads) {
    if (std::optional<Fatal> refused = checkKeptRows(data)) return *refused;
    PaperPlot plot;
    Figure& figure = plot.figure;
    figure.width = settings.imagesize.width;
    figure.height = settings.imagesize.height;
    figure.dpi = settings.dpi;
    figure.antialiased = true;
    // The -log10(p) axis reaches the largest value and both guide lines.
    const double threshold = static_cast<double>(settings.threshold);
    const GuideLines guides = guideLinesOf(settings);
    double largest = reachingGuides(largestValue(data), guides);
    if (settings.labels > 0) largest *= 1.12;  // room above the peaks for their labels
    plot.capped = settings.ymax > 0;
    plot.axis = plot.capped ? cappedAxis(settings.ymax) : paperAxis(largest);
    const PaperMeasures m = paperMeasures(plot.axis, settings);
    const double margin = m.margin, pad = m.pad, tick = m.tick, line = m.line, tickWidth = m.tickWidth;
    const double offset = (paperHitDot(settings) / 2 + 1) * m.perPoint;  // between the axes and the nearest points

    // Across: the y axis title, the tick labels, the ticks, then the chromosomes.
    const double tickLabelsLeft = margin + line + pad;
    plot.axisX = tickLabelsLeft + tickWidth + pad + tick;
    plot.right = std::max(figure.width - margin, plot.axisX + 1);
    plot.order = orderChromosomes(data.ID_list, settings.names.on);
    PaperRows& rows = plot.rows;
    rows.byPosition = settings.poscolumn != 0 && !data.Pos_list.empty();
    rows.runFirst = runFirstRows(data.ID_list);
    std::vector<Extent> extents;
    if (rows.byPosition) {
        extents = positionExtents(data, plot.order, rows.runFirst);
    } else {
        rows.rankOfRun = runRanks(data.ID_list, plot.order);
        for (const Chromosome& c : plot.order.chromosomes) extents.push_back(Extent{0, std::max<int64_t>(c.rows - 1, 0)});
    }
    const Places places = placeChromosomes(extents, plot.axisX + offset, plot.right);
    rows.xAtLow = places.xAtLow;
    rows.perUnit = places.perUnit;
    for (const Extent& e : extents) rows.low.push_back(e.low);
    plot.chromosomeLeft = places.left;
    plot.chromosomeRight = places.right;
    // One chromosome by position (one chosen, or a -posrange window): a position axis in Mb instead of the names.
    const bool positionAxis = rows.byPosition && plot.order.chromosomes.size() == 1;
    const double bpPerUnit = settings.window.posrangeallowed != 0 ? 1.0 : static_cast<double>(settings.divvalue);
    if (!positionAxis) plot.labels = placeChromosomeLabels(plot.order, places, m.axisFont, pad, figure.width);
    const int labelRows =
        std::any_of(plot.labels.begin(), plot.labels.end(), [](const PaperLabel& l) { return l.row == 1; }) ? 2 : 1;

    // Down: the title, the plot area, the ticks, the chromosome labels, the x axis title.
    const std::string title = elidedText(m.titleFont, paperTitle(settings), figure.width - 2 * margin);
    const double titleLine = title.empty() ? 0 : lineHeight(m.titleFont);
    plot.top = margin + (title.empty() ? 0 : titleLine + pad) + line / 2;
    const double axisY = figure.height - margin - line - pad - labelRows * line - pad - tick;
    plot.zero = std::max(axisY - offset, plot.top + 1);
    const double axisLineY = plot.zero + offset;
    plot.labelArea = PixelRect{static_cast<int>(std::ceil(plot.axisX + m.axisWidth / 2)) + 1,
                               static_cast<int>(std::ceil(plot.top - line / 2 + pad / 2)),
                               static_cast<int>(std::floor(plot.right)),
                               static_cast<int>(std::floor(axisLineY - m.axisWidth / 2)) - 1};
    plot.hitReach = static_cast<int>(std::ceil(paperHitDot(settings) * m.perPoint / 2)) + 1;

    // Lines: the axes with their ticks, then the guide lines.
    const double axisWidth = m.axisWidth;
    figure.lines.push_back(FigureLine{plot.axisX, plot.top, plot.axisX, axisLineY, kPaperInk, axisWidth});
    figure.lines.push_back(FigureLine{plot.axisX, axisLineY, plot.right, axisLineY, kPaperInk, axisWidth});
    const double pixelsPerStep = (plot.zero - plot.top) / static_cast<double>(plot.axis.intervals);
    const int64_t every = labelEvery(pixelsPerStep, line, plot.axis.intervals);
    double lastLabelled = HUGE_VAL;  // pixel y of the highest tick label
    for (int64_t k = 0; k <= plot.axis.intervals; ++k) {
        const double value = static_cast<double>(k) * plot.axis.step, y = paperY(plot, value);
        figure.lines.push_back(FigureLine{plot.axisX - tick, y, plot.axisX, y, kPaperInk, axisWidth});
        if (k % every == 0) {
            figure.texts.push_back(paperText(FigureRect{tickLabelsLeft, y - line / 2, tickWidth, line}, m.axisPoints,
                                             FigureAlign::right, tickText(value, plot.axis.decimals)));
            lastLabelled = y;
        }
    }
    // A cap between two steps: a tick at the top, labelled with the cap where it clears the label below.
    if (plot.capped && plot.axis.top > static_cast<double>(plot.axis.intervals) * plot.axis.step * (1 + 1e-9)) {
        figure.lines.push_back(FigureLine{plot.axisX - tick, plot.top, plot.axisX, plot.top, kPaperInk, axisWidth});
        if (lastLabelled - plot.top >= line)
            figure.texts.push_back(paperText(FigureRect{tickLabelsLeft, plot.top - line / 2, tickWidth, line},
                                             m.axisPoints, FigureAlign::right, capText(plot.axis.top)));
    }
    for (PaperLabel& label : plot.labels) {
        const double x = (places.left[label.chromosome] + places.right[label.chromosome]) / 2;
        figure.lines.push_back(FigureLine{x, axisLineY, x, axisLineY + tick, kPaperInk, axisWidth});
        label.box.top = axisLineY + tick + pad + label.row * line;
        label.box.height = line;
        figure.texts.push_back(
            paperText(label.box, m.axisPoints, FigureAlign::centre, plot.order.chromosomes[label.chromosome].shown));
    }
    if (positionAxis) addPositionAxis(figure, plot, extents[0], bpPerUnit, m, axisLineY);
    addGuideLines(figure, guides, plot.axis.top, plot.axisX, plot.right, m.guideWidth,
                  [&](double value) { return paperY(plot, value); });

    // Texts: the title and the axis titles.
    if (!title.empty())
        figure.texts.push_back(paperText(FigureRect{margin, margin, figure.width - 2 * margin, titleLine}, m.titlePoints,
                                         FigureAlign::centre, title));
    figure.texts.push_back(paperText(FigureRect{plot.axisX, figure.height - margin - line, plot.right - plot.axisX, line},
                                     m.axisPoints, FigureAlign::centre,
                                     positionAxis ? "Chromosome " + plot.order.chromosomes[0].shown + " (Mb)" : std::string(kXTitle)));
    const double plotHeight = axisLineY - plot.top;
    figure.texts.push_back(paperLogTitle(
        FigureRect{margin + line / 2 - plotHeight / 2, (plot.top + axisLineY) / 2 - line / 2, plotHeight, line},
        m.axisPoints, m.axisFont, "", 90));

    // Points.
    std::vector<std::vector<PixelDot>> dots = placePoints(data, plot, threshold, threads);
    const PaperColours& colours = settings.colours;
    figure.points.push_back(PointLayer{colours.first, paperDot(settings) * m.perPoint, std::move(dots[0]), true});
    figure.points.push_back(PointLayer{colours.second, paperDot(settings) * m.perPoint, std::move(dots[1]), true});
    figure.points.push_back(PointLayer{colours.hit, paperHitDot(settings) * m.perPoint, std::move(dots[2]), true});
    // Points above the cap: a triangle at the top edge for each pixel column that holds one.
    for (const PixelDot& d : dots[3])
        figure.polygons.push_back(capMarker(d.x + 0.5, d.y + 0.5, 1.6 * paperHitDot(settings) * m.perPoint, colours.hit));
    return plot;
}

std::optional<Pixel> paperPointOfRow(const PaperPlot& plot, const PlotData& data, int64_t i) {
    double v = data.Value_list[static_cast<size_t>(i)];
    if (plot.capped && v > plot.axis.top) v = plot.axis.top;  // drawn at the cap
    if (!(v >= 0 && v <= plot.axis.top)) return std::nullopt;
    const PaperRows& rows = plot.rows;
    const size_t r =
        static_cast<size_t>(std::upper_bound(rows.runFirst.begin(), rows.runFirst.end(), i) - rows.runFirst.begin()) - 1;
    const size_t c = plot.order.ofRun[r];
    const int64_t u = rows.byPosition ? data.Pos_list[static_cast<size_t>(i)] : i + (rows.rankOfRun[r] - rows.runFirst[r]);
    const double x = rows.xAtLow[c] + static_cast<double>(u - rows.low[c]) * rows.perUnit;
    const double perValue = (plot.zero - plot.top) / plot.axis.top;
    return Pixel{static_cast<int>(x), static_cast<int>(plot.zero - v * perValue)};
}

}  // namespace vennrick
